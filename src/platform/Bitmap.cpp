#include "platform/Bitmap.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace tw {
namespace {

QImage NewImage(int width, int height) {
    if (width < 0 || height < 0) throw std::invalid_argument("negative bitmap size");
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull() && width > 0 && height > 0)
        throw std::runtime_error("not enough memory for a " + std::to_string(width) + " x " +
                                 std::to_string(height) + " picture");
    return image;
}

} // namespace

Bitmap::Bitmap(int width, int height, ColorValue fill) : image_(NewImage(width, height)) { Fill(fill); }

Bitmap::Bitmap(const QImage& image) {
    if (image.isNull()) return;
    if (image.hasAlphaChannel()) {
        image_ = NewImage(image.width(), image.height());
        image_.fill(Qt::white);
        QPainter p(&image_);
        p.drawImage(0, 0, image);
    } else {
        image_ = image.convertToFormat(QImage::Format_RGB32);
        if (image_.isNull()) NewImage(image.width(), image.height()); // throws the memory error
    }
}

void Bitmap::SetSize(int width, int height) {
    if (width == Width() && height == Height()) return;
    Bitmap resized(width, height);
    resized.CopyRect(0, 0, *this, Rect());
    *this = std::move(resized);
}

void Bitmap::Fill(ColorValue c) {
    if (!image_.isNull()) image_.fill(Rgb32FromColor(c));
}

void Bitmap::FillRect(const QRect& r, ColorValue c) {
    const QRect clip = r.intersected(Rect());
    const uint32_t v = Rgb32FromColor(c);
    for (int y = clip.top(); y <= clip.bottom(); ++y)
        std::fill_n(Row(y) + clip.left(), clip.width(), v);
}

void Bitmap::CopyRect(int x, int y, const Bitmap& src, const QRect& srcRect) {
    // Clip the source to its bitmap, then the destination to ours, keeping them aligned.
    QRect s = srcRect.intersected(src.Rect());
    const int dx = x - srcRect.left(), dy = y - srcRect.top();
    QRect d = s.translated(dx, dy).intersected(Rect());
    s = d.translated(-dx, -dy);
    if (d.isEmpty()) return;
    // Row order matters only when copying within one bitmap downwards.
    const bool backwards = &src == this && d.top() > s.top();
    for (int i = 0; i < d.height(); ++i) {
        const int row = backwards ? d.height() - 1 - i : i;
        std::memmove(Row(d.top() + row) + d.left(), src.Row(s.top() + row) + s.left(),
                     sizeof(uint32_t) * static_cast<size_t>(d.width()));
    }
}

void Bitmap::StretchPlain(const QRect& dstRect, const Bitmap& src, const QRect& srcRect) {
    if (dstRect.isEmpty() || srcRect.isEmpty()) return;
    const QRect clip = dstRect.intersected(Rect());
    if (clip.isEmpty()) return;
    const int64_t sw = srcRect.width(), sh = srcRect.height();
    const int64_t dw = dstRect.width(), dh = dstRect.height();
    // Sample each destination pixel at its centre.
    std::vector<int> srcX(clip.width());
    for (int i = 0; i < clip.width(); ++i) {
        const int64_t rel = clip.left() + i - dstRect.left();
        srcX[i] = srcRect.left() + static_cast<int>(((2 * rel + 1) * sw) / (2 * dw));
    }
    for (int y = clip.top(); y <= clip.bottom(); ++y) {
        const int64_t rel = y - dstRect.top();
        const int sy = srcRect.top() + static_cast<int>(((2 * rel + 1) * sh) / (2 * dh));
        uint32_t* out = Row(y) + clip.left();
        if (sy < 0 || sy >= src.Height()) {
            std::fill_n(out, clip.width(), 0xFFFFFFFFu);
            continue;
        }
        const uint32_t* in = src.Row(sy);
        for (int i = 0; i < clip.width(); ++i) {
            const int sx = srcX[i];
            out[i] = (sx >= 0 && sx < src.Width()) ? in[sx] : 0xFFFFFFFFu;
        }
    }
}

void Bitmap::StretchHalftone(const QRect& dstRect, const Bitmap& src, const QRect& srcRect) {
    if (dstRect.isEmpty() || srcRect.isEmpty()) return;
    const QRect s = srcRect.intersected(src.Rect());
    if (s.isEmpty()) return;
    if (s.size() == dstRect.size()) {
        CopyRect(dstRect.left(), dstRect.top(), src, s);
        return;
    }
    const QImage part = src.image_.copy(s);
    const QImage scaled =
        part.scaled(dstRect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    if (scaled.isNull()) NewImage(dstRect.width(), dstRect.height());
    Bitmap tmp;
    tmp.image_ = scaled;
    CopyRect(dstRect.left(), dstRect.top(), tmp, tmp.Rect());
}

void Bitmap::DrawTransparent(int x, int y, const Bitmap& src) {
    const QRect d = QRect(x, y, src.Width(), src.Height()).intersected(Rect());
    const uint32_t white = Rgb32FromColor(kWhite);
    for (int row = d.top(); row <= d.bottom(); ++row) {
        const uint32_t* in = src.Row(row - y) + (d.left() - x);
        uint32_t* out = Row(row) + d.left();
        for (int i = 0; i < d.width(); ++i)
            if ((in[i] | 0xFF000000u) != white) out[i] = in[i] | 0xFF000000u;
    }
}

bool Bitmap::operator==(const Bitmap& other) const {
    if (Width() != other.Width() || Height() != other.Height()) return false;
    for (int y = 0; y < Height(); ++y)
        for (int x = 0; x < Width(); ++x)
            if (((Row(y)[x] ^ other.Row(y)[x]) & 0xFFFFFFu) != 0) return false;
    return true;
}

} // namespace tw
