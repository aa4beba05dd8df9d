#include "platform/PlainBmp.h"

#include "platform/LargeMemory.h"
#include "platform/PictureChecks.h"
#include "platform/PictureError.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tw {
namespace {

constexpr qsizetype kHeaderBytes = 14 + 40;

void Put16(char* at, uint32_t v) {
    at[0] = static_cast<char>(v & 0xFF);
    at[1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(char* at, uint32_t v) {
    Put16(at, v & 0xFFFF);
    Put16(at + 2, v >> 16);
}

} // namespace

std::optional<Bitmap> DecodePlainBmp(const QByteArray& bytes) {
    if (bytes.size() < kHeaderBytes || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    if (Le32(bytes, 14) != 40 || Le16(bytes, 26) != 1 || Le16(bytes, 28) != 24 || Le32(bytes, 30) != 0 ||
        Le32(bytes, 46) != 0)
        return std::nullopt;
    const auto width = static_cast<int32_t>(Le32(bytes, 18));
    const auto signedHeight = static_cast<int32_t>(Le32(bytes, 22));
    const uint32_t offset = Le32(bytes, 10);
    if (width <= 0 || signedHeight == 0 || signedHeight == INT32_MIN || width > kMaxPictureSide ||
        std::abs(signedHeight) > kMaxPictureSide || offset < kHeaderBytes)
        return std::nullopt;
    const int height = std::abs(signedHeight);
    const qsizetype stride = (static_cast<qsizetype>(width) * 3 + 3) / 4 * 4;
    if (static_cast<qsizetype>(offset) + stride * height > bytes.size()) return std::nullopt;
    Bitmap picture(width, height);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData()) + offset;
    for (int y = 0; y < height; ++y) {
        // A positive height stores the bottom row first.
        const unsigned char* in = data + stride * (signedHeight > 0 ? height - 1 - y : y);
        uint32_t* out = picture.Row(y);
        for (int x = 0; x < width; ++x, in += 3)
            out[x] = 0xFF000000u | uint32_t{in[2]} << 16 | uint32_t{in[1]} << 8 | in[0];
    }
    picture.Image().setDotsPerMeterX(static_cast<int32_t>(Le32(bytes, 38)));
    picture.Image().setDotsPerMeterY(static_cast<int32_t>(Le32(bytes, 42)));
    return picture;
}

QByteArray EncodePlainBmp(const Bitmap& bitmap) {
    const int width = bitmap.Width(), height = bitmap.Height();
    const qsizetype stride = (static_cast<qsizetype>(width) * 3 + 3) / 4 * 4;
    const qsizetype pixelBytes = stride * height;
    QByteArray bytes(kHeaderBytes + pixelBytes, Qt::Uninitialized);
    AdviseLargePages(bytes.data(), static_cast<size_t>(bytes.size()));
    char* h = bytes.data();
    std::memset(h, 0, kHeaderBytes);
    h[0] = 'B', h[1] = 'M';
    Put32(h + 2, static_cast<uint32_t>(bytes.size()));
    Put32(h + 10, kHeaderBytes);
    Put32(h + 14, 40);
    Put32(h + 18, static_cast<uint32_t>(width));
    Put32(h + 22, static_cast<uint32_t>(height));
    Put16(h + 26, 1);
    Put16(h + 28, 24);
    Put32(h + 34, static_cast<uint32_t>(pixelBytes));
    Put32(h + 38, static_cast<uint32_t>(bitmap.Image().dotsPerMeterX()));
    Put32(h + 42, static_cast<uint32_t>(bitmap.Image().dotsPerMeterY()));
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<unsigned char*>(h + kHeaderBytes + stride * (height - 1 - y));
        const uint32_t* in = bitmap.Row(y);
        for (int x = 0; x < width; ++x, out += 3) {
            out[0] = static_cast<unsigned char>(in[x]);
            out[1] = static_cast<unsigned char>(in[x] >> 8);
            out[2] = static_cast<unsigned char>(in[x] >> 16);
        }
        std::memset(out, 0, static_cast<size_t>(stride - width * 3));
    }
    return bytes;
}

} // namespace tw
