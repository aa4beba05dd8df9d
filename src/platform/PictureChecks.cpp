#include "platform/PictureChecks.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace tw {
namespace {

const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);

struct PngChunk {
    qsizetype at;    // of its length field
    uint32_t length; // of its data
    const char* type;
    bool Is(const char* kind) const { return std::memcmp(type, kind, 4) == 0; }
    qsizetype Data() const { return at + 8; }
    qsizetype End() const { return at + 12 + static_cast<qsizetype>(length); }
};

// Visits the chunks from the one at `at` on, up to and including IEND, until
// visit returns false. Every chunk visited lies inside the file.
void WalkPngChunks(const QByteArray& bytes, qsizetype at, const std::function<bool(const PngChunk&)>& visit) {
    while (at < bytes.size()) {
        const qsizetype left = bytes.size() - at;
        if (left < 12) throw PictureDamage("the file is truncated or corrupt");
        const uint32_t length = Be32(bytes, at);
        if (length > 0x7FFFFFFFu || length > static_cast<uint64_t>(left - 12))
            throw PictureDamage("the file is truncated or corrupt (a chunk claims " + std::to_string(length) +
                                " bytes, " + std::to_string(left - 12) + " are left)");
        const PngChunk chunk{at, length, bytes.constData() + at + 4};
        if (!visit(chunk) || chunk.Is("IEND")) return;
        at = chunk.End();
    }
}

// --- Image data bounded by the picture -----------------------------------------------------------

// The bytes of filtered rows a PNG header's picture takes; 0 for a header the
// reader refuses anyway.
uint64_t RowBytesOfPicture(const QByteArray& png, const PngChunk& header) {
    if (!header.Is("IHDR") || header.length != 13) return 0;
    const qsizetype at = header.Data();
    const uint64_t width = Be32(png, at), height = Be32(png, at + 4);
    const int depth = static_cast<uint8_t>(png[at + 8]), colourType = static_cast<uint8_t>(png[at + 9]);
    const int interlace = static_cast<uint8_t>(png[at + 12]);
    int channels = 0;
    switch (colourType) {
    case 0:
    case 3:
        channels = 1;
        break;
    case 2:
        channels = 3;
        break;
    case 4:
        channels = 2;
        break;
    case 6:
        channels = 4;
        break;
    default:
        return 0;
    }
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) return 0;
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF || interlace > 1) return 0;
    const uint64_t bitsPerPixel = static_cast<uint64_t>(channels) * depth;
    const auto rows = [bitsPerPixel](uint64_t w, uint64_t h) {
        return w == 0 ? 0 : h * (1 + (w * bitsPerPixel + 7) / 8); // each row starts with its filter byte
    };
    if (interlace == 0) return rows(width, height);
    // The seven passes of the interlaced layout: first column and row, column and row step.
    static constexpr uint64_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                               {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    uint64_t total = 0;
    for (const auto& p : kPasses) {
        const uint64_t w = width > p[0] ? (width - p[0] + p[2] - 1) / p[2] : 0;
        const uint64_t h = height > p[1] ? (height - p[1] + p[3] - 1) / p[3] : 0;
        total += rows(w, h);
    }
    return total;
}

// zlib's inflater, ended on every path.
class Inflater {
  public:
    Inflater() { ok_ = inflateInit(&z_) == Z_OK; }
    ~Inflater() {
        if (ok_) inflateEnd(&z_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool Ok() const { return ok_; }
    // Inflates from `in` into `out`; consumed and produced say how much of each moved.
    int Step(const char* in, qsizetype inSize, unsigned char* out, size_t outSize, qsizetype& consumed,
             size_t& produced) {
        const auto feed = static_cast<uInt>(std::min<qsizetype>(inSize, 1 << 20));
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
        z_.avail_in = feed;
        z_.next_out = out;
        z_.avail_out = static_cast<uInt>(outSize);
        const int result = inflate(&z_, Z_NO_FLUSH);
        consumed = feed - z_.avail_in;
        produced = outSize - z_.avail_out;
        return result;
    }

  private:
    z_stream z_{};
    bool ok_ = false;
};

// Input a healthy stream still holds once the rows are complete: the end of the
// last block and the checksum, perhaps an empty block from a flush.
constexpr qsizetype kTailAllowance = 1024;

enum class ImageData { Whole, Surplus, Unknown };

// Visits the image data chunks, the run of IDAT chunks starting at `first`, until
// visit returns false.
void WalkImageData(const QByteArray& png, qsizetype first,
                   const std::function<bool(const PngChunk&)>& visit) {
    WalkPngChunks(png, first, [&visit](const PngChunk& chunk) { return chunk.Is("IDAT") && visit(chunk); });
}

// Inflates the image data no further than the rows need (and a little input
// beyond) to tell whether anything follows them.
ImageData Inspect(const QByteArray& png, qsizetype firstIdat, uint64_t need) {
    Inflater z;
    if (!z.Ok()) return ImageData::Unknown;
    std::vector<unsigned char> scratch(64 * 1024);
    uint64_t produced = 0;
    qsizetype tail = 0;                     // input read since the rows were complete
    ImageData verdict = ImageData::Unknown; // when the data stop short, the reader says so
    WalkImageData(png, firstIdat, [&](const PngChunk& chunk) {
        qsizetype at = chunk.Data();
        const qsizetype end = at + chunk.length;
        size_t out = 0;
        // Output that filled the scratch may leave more behind, even without input.
        while (at < end || out == scratch.size()) {
            qsizetype feed = end - at;
            if (produced == need) {
                if (tail >= kTailAllowance) {
                    verdict = ImageData::Surplus;
                    return false;
                }
                feed = std::min(feed, kTailAllowance - tail);
            }
            qsizetype consumed = 0;
            const int result =
                z.Step(png.constData() + at, feed, scratch.data(), scratch.size(), consumed, out);
            at += consumed;
            produced += out;
            if (produced == need) tail += consumed;
            if (produced > need || result == Z_STREAM_END) {
                verdict = produced > need ? ImageData::Surplus : ImageData::Whole;
                return false;
            }
            if (result == Z_BUF_ERROR) break; // on to the next chunk's input
            if (result != Z_OK) return false;
        }
        return true;
    });
    return verdict;
}

void AppendBe32(QByteArray& out, uint32_t v) {
    const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
    out.append(b, 4);
}

void AppendChunk(QByteArray& out, const char* type, const char* data, qsizetype length) {
    AppendBe32(out, static_cast<uint32_t>(length));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data, length);
    AppendBe32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(out.constData() + start),
                                                static_cast<uInt>(length + 4))));
}

bool ChecksumMatches(const QByteArray& png, const PngChunk& chunk) {
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.constData() + chunk.at + 4),
                            static_cast<uInt>(chunk.length + 4));
    return crc == Be32(png, chunk.Data() + chunk.length);
}

// The first `need` bytes of the inflated image data, stored again in a zlib stream
// of uncompressed blocks: as quick to write as to copy, and the reader finds the
// stream's end right after the rows.
QByteArray StoredRows(const QByteArray& png, qsizetype firstIdat, uint64_t need) {
    constexpr size_t kBlock = 65535; // the most an uncompressed block holds
    QByteArray stream("\x78\x01", 2);
    stream.reserve(static_cast<qsizetype>(std::min<uint64_t>(need + need / kBlock * 5 + 64, 1u << 30)));
    uLong adler = adler32(0, nullptr, 0);
    Inflater z;
    std::vector<unsigned char> block(kBlock);
    size_t filled = 0;
    uint64_t produced = 0;
    auto flush = [&](bool last) {
        const char header[5] = {static_cast<char>(last ? 1 : 0), static_cast<char>(filled & 0xFF),
                                static_cast<char>(filled >> 8), static_cast<char>(~filled & 0xFF),
                                static_cast<char>((~filled >> 8) & 0xFF)};
        stream.append(header, 5);
        stream.append(reinterpret_cast<const char*>(block.data()), static_cast<qsizetype>(filled));
        adler = adler32(adler, block.data(), static_cast<uInt>(filled));
        filled = 0;
    };
    WalkImageData(png, firstIdat, [&](const PngChunk& chunk) {
        if (!ChecksumMatches(png, chunk))
            throw PictureDamage("the file is damaged or truncated (the image data fail their checksum)");
        qsizetype at = chunk.Data();
        const qsizetype end = at + chunk.length;
        while (produced < need) {
            const size_t room = static_cast<size_t>(std::min<uint64_t>(kBlock - filled, need - produced));
            qsizetype consumed = 0;
            size_t out = 0;
            z.Step(png.constData() + at, end - at, block.data() + filled, room, consumed, out);
            at += consumed;
            filled += out;
            produced += out;
            if (filled == kBlock && produced < need) flush(false);
            if (consumed == 0 && out == 0) break; // this chunk is used up
        }
        return produced < need;
    });
    flush(true);
    AppendBe32(stream, static_cast<uint32_t>(adler));
    return stream;
}

// Inflates a zlib stream, giving up beyond limit bytes of output; out (when
// given) receives the output. false for a damaged stream or one too large.
bool InflateBounded(const char* data, qsizetype size, qsizetype limit, QByteArray* out) {
    Inflater z;
    if (!z.Ok()) return false;
    std::vector<unsigned char> scratch(64 * 1024);
    qsizetype produced = 0;
    for (qsizetype at = 0;;) {
        qsizetype consumed = 0;
        size_t made = 0;
        const int result = z.Step(data + at, size - at, scratch.data(), scratch.size(), consumed, made);
        at += consumed;
        produced += static_cast<qsizetype>(made);
        if (produced > limit) return false;
        if (out) out->append(reinterpret_cast<const char*>(scratch.data()), static_cast<qsizetype>(made));
        if (result == Z_STREAM_END) return true;
        if (result != Z_OK && !(result == Z_BUF_ERROR && made > 0)) return false;
        if (consumed == 0 && made == 0) return false;
    }
}

// Profiles and metadata blocks beyond this are not what they claim to be.
constexpr qsizetype kMaxInflatedBlock = 16 << 20;

// A text chunk's keyword and where its text (or compressed text) starts; an
// empty keyword for a malformed chunk.
struct TextChunk {
    std::string Keyword;
    qsizetype Text = 0;
    bool Compressed = false;
};

TextChunk ReadTextChunk(const QByteArray& png, const PngChunk& chunk) {
    TextChunk text;
    const char* data = png.constData() + chunk.Data();
    const auto end = static_cast<qsizetype>(chunk.length);
    const auto zero =
        static_cast<const char*>(std::memchr(data, 0, static_cast<size_t>(std::min<qsizetype>(end, 80))));
    if (!zero) return text;
    const qsizetype after = zero - data + 1;
    text.Keyword.assign(data, static_cast<size_t>(after - 1));
    if (chunk.Is("tEXt")) {
        text.Text = after;
    } else if (chunk.Is("zTXt")) {
        text.Text = after + 1; // the method byte
        text.Compressed = true;
    } else { // iTXt: compression flag and method, then language and translated keyword
        if (after + 2 > end) return {};
        text.Compressed = data[after] != 0;
        qsizetype at = after + 2;
        for (int skip = 0; skip < 2; ++skip) {
            const auto nul =
                static_cast<const char*>(std::memchr(data + at, 0, static_cast<size_t>(end - at)));
            if (!nul) return {};
            at = nul - data + 1;
        }
        text.Text = at;
    }
    if (text.Text > end) return {};
    return text;
}

bool IsMetadataKeyword(const std::string& keyword) {
    for (const char* known : {"XML:com.adobe.xmp", "Raw profile type exif", "Raw profile type APP1",
                              "Raw profile type iptc", "Raw profile type xmp"})
        if (keyword == known) return true;
    return false;
}

} // namespace

QByteArray PngIccProfile(const QByteArray& png) {
    if (!IsPngAt(png, 0)) return {};
    QByteArray profile;
    try {
        WalkPngChunks(png, kPngSignature.size(), [&](const PngChunk& chunk) {
            if (chunk.Is("IDAT")) return false; // the profile comes before the pixels
            if (!chunk.Is("iCCP")) return true;
            const char* data = png.constData() + chunk.Data();
            const auto zero = static_cast<const char*>(
                std::memchr(data, 0, static_cast<size_t>(std::min<qsizetype>(chunk.length, 80))));
            if (!zero) return false;
            const qsizetype at = zero - data + 2; // past the keyword's end and the method byte
            if (at >= static_cast<qsizetype>(chunk.length) ||
                !InflateBounded(data + at, chunk.length - at, kMaxInflatedBlock, &profile))
                profile.clear();
            return false;
        });
    } catch (const PictureDamage&) {
        profile.clear();
    }
    return profile;
}

QByteArray PngMetadataStream(const QByteArray& png) {
    if (!IsPngAt(png, 0)) return {};
    QByteArray stream = kPngSignature;
    bool any = false;
    WalkPngChunks(png, kPngSignature.size(), [&](const PngChunk& chunk) {
        bool keep = chunk.at == kPngSignature.size() || chunk.Is("eXIf");
        if (chunk.Is("tEXt") || chunk.Is("zTXt") || chunk.Is("iTXt")) {
            const TextChunk text = ReadTextChunk(png, chunk);
            keep = IsMetadataKeyword(text.Keyword) &&
                   (!text.Compressed || InflateBounded(png.constData() + chunk.Data() + text.Text,
                                                       chunk.length - text.Text, kMaxInflatedBlock, nullptr));
        }
        if (keep && chunk.at != kPngSignature.size()) any = true;
        if (keep) stream.append(png.constData() + chunk.at, chunk.End() - chunk.at);
        return true;
    });
    if (!any) return {};
    AppendChunk(stream, "IEND", nullptr, 0);
    return stream;
}

QByteArray WithPngIccProfile(const QByteArray& png, const QByteArray& profile) {
    if (!IsPngAt(png, 0) || profile.isEmpty()) return png;
    uLongf packedSize = compressBound(static_cast<uLong>(profile.size()));
    QByteArray packed(static_cast<qsizetype>(packedSize), '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(profile.constData()), static_cast<uLong>(profile.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        return png;
    packed.truncate(static_cast<qsizetype>(packedSize));
    const QByteArray data = QByteArray("ICC profile", 11) + QByteArray(2, '\0') + packed;
    QByteArray out = kPngSignature;
    WalkPngChunks(png, kPngSignature.size(), [&](const PngChunk& chunk) {
        if (!chunk.Is("iCCP")) out.append(png.constData() + chunk.at, chunk.End() - chunk.at);
        if (chunk.at == kPngSignature.size()) AppendChunk(out, "iCCP", data.constData(), data.size());
        return true;
    });
    return out;
}

bool IsPngAt(const QByteArray& bytes, qsizetype at) {
    return at >= 0 && at <= bytes.size() - kPngSignature.size() &&
           std::memcmp(bytes.constData() + at, kPngSignature.constData(), kPngSignature.size()) == 0;
}

QByteArray CheckedPngStream(const QByteArray& bytes, qsizetype from) {
    QByteArray stream = kPngSignature;
    WalkPngChunks(bytes, from + kPngSignature.size(), [&](const PngChunk& chunk) {
        if (!chunk.Is("tEXt") && !chunk.Is("zTXt") && !chunk.Is("iTXt"))
            stream.append(bytes.constData() + chunk.at, chunk.End() - chunk.at);
        return true;
    });
    return stream;
}

QByteArray WithoutSurplusImageData(const QByteArray& png) {
    uint64_t need = 0;
    qsizetype firstIdat = -1;
    WalkPngChunks(png, kPngSignature.size(), [&](const PngChunk& chunk) {
        if (chunk.at == kPngSignature.size()) need = RowBytesOfPicture(png, chunk);
        if (chunk.Is("IDAT")) firstIdat = chunk.at;
        return firstIdat < 0;
    });
    if (need == 0 || firstIdat < 0 || Inspect(png, firstIdat, need) != ImageData::Surplus) return png;

    // What comes after the image data cannot change the pixels.
    QByteArray bounded = png.left(firstIdat);
    const QByteArray stream = StoredRows(png, firstIdat, need);
    constexpr qsizetype kChunkData = 1 << 20;
    for (qsizetype at = 0; at < stream.size(); at += kChunkData)
        AppendChunk(bounded, "IDAT", stream.constData() + at, std::min(kChunkData, stream.size() - at));
    AppendChunk(bounded, "IEND", nullptr, 0);
    return bounded;
}

qsizetype CheckIconPngs(const QByteArray& bytes) {
    if (bytes.size() < 6) return 0; // the reader refuses it
    // Entries may share an image, or start inside another: a chunk already read
    // leads only to chunks already read.
    std::unordered_set<qsizetype> seen;
    qsizetype read = 0;
    const int count = static_cast<int>(Le16(bytes, 4));
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 16 * static_cast<qsizetype>(i);
        if (entry + 16 > bytes.size()) break;
        const qsizetype offset = Le32(bytes, entry + 12);
        if (!IsPngAt(bytes, offset) || seen.contains(offset + kPngSignature.size())) continue;
        WalkPngChunks(bytes, offset + kPngSignature.size(), [&](const PngChunk& chunk) {
            ++read;
            return seen.insert(chunk.at).second;
        });
    }
    return read;
}

QByteArray IconPngAt(const QByteArray& bytes, int entry) {
    const qsizetype at = 6 + 16 * static_cast<qsizetype>(entry);
    if (bytes.size() < 6 || entry < 0 || entry >= static_cast<int>(Le16(bytes, 4)) || at + 16 > bytes.size())
        return {};
    const qsizetype size = Le32(bytes, at + 8), offset = Le32(bytes, at + 12);
    if (!IsPngAt(bytes, offset)) return {};
    return bytes.mid(offset, std::min(size, bytes.size() - offset)); // what the icon reader would take
}

// --- Run-length coded BMP ------------------------------------------------------------------------

QSize CheckRunLengthPixels(const QByteArray& bmp) {
    constexpr uint32_t kRle8 = 1, kRle4 = 2;
    if (bmp.size() < 54) return {};
    const uint32_t headerSize = Le32(bmp, 14);
    // The only header kinds whose compression field the reader looks at.
    if (headerSize != 40 && headerSize != 64 && headerSize != 108 && headerSize != 124) return {};
    const auto width = static_cast<int32_t>(Le32(bmp, 18));
    const auto height = static_cast<int32_t>(Le32(bmp, 22));
    const uint32_t bits = Le16(bmp, 28), compression = Le32(bmp, 30), colours = Le32(bmp, 46);
    const bool fourBit = bits == 4 && compression == kRle4;
    if (!fourBit && !(bits == 8 && compression == kRle8)) return {};
    const uint32_t paletteSize = colours != 0 ? colours : 1u << bits;
    if (width <= 0 || height == 0 || height == INT32_MIN || paletteSize > 256) return {};

    // The reader starts after the palette, or where the file header says if that is further on.
    const auto paletteEnd = static_cast<qsizetype>(14 + headerSize + 4 * paletteSize);
    const auto dataOffset = static_cast<int32_t>(Le32(bmp, 10));
    qsizetype at = std::max<qsizetype>(paletteEnd, dataOffset);

    // Follow the codes exactly as the reader does, clipping runs where it clips them,
    // so that both read the same bytes as codes.
    const int w = width, h = height < 0 ? -height : height; // stored top down when negative
    const long long stride = (w + 3LL) / 4 * 4;
    long long x = 0, y = 0;
    const auto next = [&bmp, &at](int& value) {
        if (at >= bmp.size()) return false;
        value = static_cast<uint8_t>(bmp[at++]);
        return true;
    };
    // The reader's only bound on a run lies at the end of the first row.
    const auto clip = [&](int run) { return static_cast<int>(std::min<long long>(run, y * stride + w - x)); };
    const PictureDamage cutOff("the file is truncated or corrupt (the pixel codes stop before their end)");
    while (y < h) {
        int run = 0, code = 0;
        if (!next(run) || !next(code)) throw cutOff;
        if (run != 0) { // `run` pixels of one value (RLE4: two alternating ones)
            x += clip(run);
            continue;
        }
        if (code == 1) return QSize(w, h); // end of the picture
        if (code == 0) {                   // end of a row
            x = 0;
            ++y;
        } else if (code == 2) { // a jump right and up
            int dx = 0, dy = 0;
            if (!next(dx) || !next(dy)) throw cutOff;
            x = std::min<long long>(x + dx, w - 1);
            y = std::min<long long>(y + dy, h - 1);
        } else { // `code` pixels given one by one, padded to a 16-bit boundary
            const int count = clip(code);
            const qsizetype size = fourBit ? (count + 1) / 2 : count;
            const bool padded = fourBit ? ((count & 3) == 1 || (count & 3) == 2) : (count & 1) == 1;
            if (bmp.size() - at < size) throw cutOff;
            at += size + (padded ? 1 : 0);
            x += count;
        }
    }
    return QSize(w, h); // the last row ended
}

} // namespace tw
