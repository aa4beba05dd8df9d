#include "platform/Bitmap.h"

#include "platform/LargeMemory.h"
#include "platform/StretchRows.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
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
    // Not yet written: the caller fills it.
    if (!image.isNull()) AdviseLargePages(image.bits(), static_cast<size_t>(image.sizeInBytes()));
    return image;
}

} // namespace

Bitmap::Bitmap(int width, int height, ColorValue fill) : image_(NewImage(width, height)) {
    Fill(fill);
}

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

namespace {

// Area-averaging resampling: every destination pixel is the mean of the source
// area it covers, weighted by overlap. Reducing, that smooths; enlarging, it
// keeps pixels crisp with blended seams. Separable, in fixed point.
struct Taps {
    std::vector<int> first;   // first source index per destination index
    std::vector<int> count;   // number of taps
    std::vector<int> weights; // concatenated, each destination's weights sum to 1 << 14
    std::vector<int> offset;
};

Taps MakeTaps(int srcSize, int dstSize) {
    Taps t;
    t.first.resize(dstSize);
    t.count.resize(dstSize);
    t.offset.resize(dstSize);
    const double scale = static_cast<double>(srcSize) / dstSize;
    for (int j = 0; j < dstSize; ++j) {
        const double a = j * scale, b = (j + 1) * scale;
        const int lo = static_cast<int>(a);
        const int hi = std::min(srcSize, static_cast<int>(std::ceil(b)));
        t.first[j] = lo;
        t.offset[j] = static_cast<int>(t.weights.size());
        int sum = 0;
        const size_t start = t.weights.size();
        for (int i = lo; i < std::max(hi, lo + 1); ++i) {
            const double overlap = std::min<double>(b, i + 1) - std::max<double>(a, i);
            const int w = static_cast<int>(overlap / scale * 16384 + 0.5);
            t.weights.push_back(w);
            sum += w;
        }
        // Give the rounding remainder to the largest tap so the weights sum exactly.
        auto largest =
            std::max_element(t.weights.begin() + static_cast<std::ptrdiff_t>(start), t.weights.end());
        *largest += 16384 - sum;
        t.count[j] = static_cast<int>(t.weights.size() - start);
    }
    return t;
}

} // namespace

void Bitmap::StretchHalftone(const QRect& dstRect, const Bitmap& src, const QRect& srcRect) {
    if (dstRect.isEmpty() || srcRect.isEmpty()) return;
    const QRect s = srcRect.intersected(src.Rect());
    if (s.isEmpty()) return;
    if (s.size() == dstRect.size()) {
        CopyRect(dstRect.left(), dstRect.top(), src, s);
        return;
    }
    StretchHalftoneRows(*this, dstRect, s.size(),
                        [&](int y, int x0, int) { return src.Row(s.top() + y) + s.left() + x0; });
}

void StretchHalftoneRows(Bitmap& target, const QRect& dstRect, QSize srcSize, const TSourceRow& rowAt) {
    // Only destination rows and columns inside the target are computed.
    const QRect clip = dstRect.intersected(target.Rect());
    if (clip.isEmpty() || srcSize.isEmpty()) return;
    const int dw = dstRect.width(), dh = dstRect.height();
    const Taps tx = MakeTaps(srcSize.width(), dw), ty = MakeTaps(srcSize.height(), dh);
    const int colFrom = clip.left() - dstRect.left(), colTo = clip.right() - dstRect.left();
    const int rowFrom = clip.top() - dstRect.top(), rowTo = clip.bottom() - dstRect.top();
    const int srcRowFrom = ty.first[rowFrom];
    const int srcRowTo = ty.first[rowTo] + ty.count[rowTo] - 1;
    const int srcColFrom = tx.first[colFrom];
    const int srcColTo = tx.first[colTo] + tx.count[colTo] - 1;
    const int cols = colTo - colFrom + 1;
    // Horizontal pass: source rows -> destination columns, 3 channels, 8 extra bits.
    std::vector<uint16_t> mid(static_cast<size_t>(srcRowTo - srcRowFrom + 1) * cols * 3);
    for (int sy = srcRowFrom; sy <= srcRowTo; ++sy) {
        const uint32_t* in = rowAt(sy, srcColFrom, srcColTo);
        uint16_t* out = mid.data() + static_cast<size_t>(sy - srcRowFrom) * cols * 3;
        for (int j = colFrom; j <= colTo; ++j) {
            uint32_t r = 0, g = 0, b = 0;
            const int* w = tx.weights.data() + tx.offset[j];
            const uint32_t* p = in + (tx.first[j] - srcColFrom);
            for (int k = 0; k < tx.count[j]; ++k) {
                r += w[k] * ((p[k] >> 16) & 0xFF);
                g += w[k] * ((p[k] >> 8) & 0xFF);
                b += w[k] * (p[k] & 0xFF);
            }
            *out++ = static_cast<uint16_t>(r >> 6);
            *out++ = static_cast<uint16_t>(g >> 6);
            *out++ = static_cast<uint16_t>(b >> 6);
        }
    }
    // Vertical pass straight into our rows.
    constexpr uint32_t kHalf = 1u << 21;
    for (int i = rowFrom; i <= rowTo; ++i) {
        uint32_t* out = target.Row(dstRect.top() + i) + clip.left();
        const int* w = ty.weights.data() + ty.offset[i];
        const uint16_t* base = mid.data() + static_cast<size_t>(ty.first[i] - srcRowFrom) * cols * 3;
        for (int j = 0; j < cols; ++j) {
            uint32_t r = kHalf, g = kHalf, b = kHalf;
            const uint16_t* p = base + j * 3;
            for (int k = 0; k < ty.count[i]; ++k, p += static_cast<size_t>(cols) * 3) {
                r += static_cast<uint32_t>(w[k]) * p[0];
                g += static_cast<uint32_t>(w[k]) * p[1];
                b += static_cast<uint32_t>(w[k]) * p[2];
            }
            out[j] = 0xFF000000u | (std::min(r >> 22, 255u) << 16) | (std::min(g >> 22, 255u) << 8) |
                     std::min(b >> 22, 255u);
        }
    }
}

void Bitmap::DrawTransparent(int x, int y, const Bitmap& src) {
    DrawTransparentIn(Rect(), x, y, src);
}

void Bitmap::DrawTransparentIn(const QRect& area, int x, int y, const Bitmap& src) {
    const QRect d = QRect(x, y, src.Width(), src.Height()).intersected(area).intersected(Rect());
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
