#include "platform/JpegCodec.h"

#include "platform/Orientation.h"
#include "platform/PictureError.h"
#include "platform/PictureFile.h"
#include "platform/PictureMetadata.h"

#include <QtGlobal>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it, and jerror.h needs jpeglib.h's
// configuration for its list of message codes.
#include <jpeglib.h>

#include <jerror.h>

#if !defined(JCS_ALPHA_EXTENSIONS)
#error "the JPEG decoder writes 32-bit pixels directly and needs libjpeg-turbo's colour space extensions"
#endif

namespace tw {
namespace {

// The byte order of a Format_RGB32 word in memory, as a libjpeg output colour space,
// so that scanlines can be decoded straight into the bitmap.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr J_COLOR_SPACE kRgb32Space = JCS_EXT_BGRA;
#else
constexpr J_COLOR_SPACE kRgb32Space = JCS_EXT_ARGB;
#endif

// Pathological progressive files can hold thousands of tiny scans and take minutes to decode;
// real ones have about ten.
constexpr int kMaxScans = 500;

// Error handling: libjpeg's error_exit must not return. We longjmp back to the setjmp in
// Guarded() rather than throw, because throwing through libjpeg's C frames is only safe if
// the library happens to be built with unwind tables. The price is that nothing between the
// setjmp and libjpeg may own an object with a destructor: every step run under Guarded()
// works on plain pointers and structs, and the C++ objects live in the calling function.
struct ErrorManager {
    jpeg_error_mgr pub; // first, so a jpeg_error_mgr* is also an ErrorManager*
    std::jmp_buf jump;
    int code = 0;                 // libjpeg's message code of the failure
    const char* reason = nullptr; // our own reason, when we stopped the decoder ourselves
    char detail[JMSG_LENGTH_MAX] = {};
};

ErrorManager& ErrorsOf(j_common_ptr cinfo) {
    return *reinterpret_cast<ErrorManager*>(cinfo->err);
}

[[noreturn]] void ExitOnError(j_common_ptr cinfo) {
    ErrorManager& err = ErrorsOf(cinfo);
    err.code = err.pub.msg_code;
    (*err.pub.format_message)(cinfo, err.detail);
    std::longjmp(err.jump, 1);
}

// Warnings about missing or damaged data would otherwise give a half-grey picture without a word.
bool IsDamageWarning(int code) {
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
        return true;
    default:
        return false;
    }
}

void EmitMessage(j_common_ptr cinfo, int level) {
    // Other warnings (extraneous bytes, unknown JFIF revisions) and trace output are harmless.
    if (level < 0 && IsDamageWarning(cinfo->err->msg_code)) ExitOnError(cinfo);
}

void OutputNothing(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ExitOnError;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputNothing;
}

// Runs one step of libjpeg work; false when libjpeg failed (the reason is in err).
// Kept out of line so that the setjmp lives in a frame of its own: the caller's variables
// are never cached in registers across the jump.
template <class Step> [[gnu::noinline]] bool Guarded(ErrorManager& err, const Step& step) {
    if (setjmp(err.jump) != 0) return false;
    step();
    return true;
}

struct Decompressor {
    jpeg_decompress_struct cinfo{};
    ErrorManager err;
    jpeg_progress_mgr progress{};

    Decompressor() { InstallErrorManager(err); }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); } // safe on a zeroed or half-made struct
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
};

void LimitScans(j_common_ptr cinfo) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        ErrorsOf(cinfo).reason = "the file has too many scans";
        (*cinfo->err->error_exit)(cinfo);
    }
}

// Compressed output grows in a malloc'd buffer owned here, so it is freed on every path.
// (jpeg_mem_dest would lose its enlarged buffer when libjpeg fails half-way.) With a sink,
// the buffer stays small and is handed to the sink whenever it fills.
struct MemoryDestination {
    jpeg_destination_mgr pub{}; // first, so cinfo->dest is also a MemoryDestination*
    unsigned char* data = nullptr;
    size_t capacity = 0;
    size_t size = 0;
    JpegSink sink;                  // empty: the bytes stay here
    std::exception_ptr sinkFailure; // what the sink threw, kept across libjpeg's C frames

    MemoryDestination() {
        pub.init_destination = Init;
        pub.empty_output_buffer = Grow;
        pub.term_destination = Term;
    }
    ~MemoryDestination() { std::free(data); }
    MemoryDestination(const MemoryDestination&) = delete;
    MemoryDestination& operator=(const MemoryDestination&) = delete;

    static MemoryDestination& Of(j_compress_ptr cinfo) {
        return *reinterpret_cast<MemoryDestination*>(cinfo->dest);
    }
    static void Init(j_compress_ptr cinfo) {
        MemoryDestination& d = Of(cinfo);
        if (d.data == nullptr) {
            d.capacity = d.sink ? 1024 * 1024 : 64 * 1024;
            d.data = static_cast<unsigned char*>(std::malloc(d.capacity));
            if (d.data == nullptr) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
        }
        d.pub.next_output_byte = d.data;
        d.pub.free_in_buffer = d.capacity;
    }
    // Hands the first count bytes to the sink; on failure leaves through libjpeg's error exit.
    static void Flush(j_compress_ptr cinfo, size_t count) {
        MemoryDestination& d = Of(cinfo);
        try {
            d.sink(reinterpret_cast<const char*>(d.data), count);
        } catch (...) {
            d.sinkFailure = std::current_exception();
            ERREXIT(cinfo, JERR_FILE_WRITE);
        }
    }
    // Called when the whole buffer is full.
    static boolean Grow(j_compress_ptr cinfo) {
        MemoryDestination& d = Of(cinfo);
        if (d.sink) {
            Flush(cinfo, d.capacity);
            d.pub.next_output_byte = d.data;
            d.pub.free_in_buffer = d.capacity;
            return TRUE;
        }
        const size_t bigger = d.capacity * 2;
        auto* grown = static_cast<unsigned char*>(std::realloc(d.data, bigger));
        if (grown == nullptr) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
        d.data = grown;
        d.pub.next_output_byte = d.data + d.capacity;
        d.pub.free_in_buffer = bigger - d.capacity;
        d.capacity = bigger;
        return TRUE;
    }
    static void Term(j_compress_ptr cinfo) {
        MemoryDestination& d = Of(cinfo);
        d.size = d.capacity - d.pub.free_in_buffer;
        if (d.sink && d.size > 0) Flush(cinfo, d.size);
    }
};

struct Compressor {
    jpeg_compress_struct cinfo{};
    ErrorManager err;

    Compressor() { InstallErrorManager(err); }
    ~Compressor() { jpeg_destroy_compress(&cinfo); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

std::string SizeText(long long width, long long height) {
    return "(" + std::to_string(width) + " x " + std::to_string(height) + ")";
}

// libjpeg's message in the words a user can act on.
std::string ReasonFor(const ErrorManager& err, long long width, long long height) {
    if (err.reason != nullptr) return err.reason;
    switch (err.code) {
    case JERR_NO_SOI:
        return "not a JPEG file";
    case JERR_INPUT_EMPTY:
        return "the file is empty";
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
        return "the picture is too large " + SizeText(width, height);
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
        return "not enough memory";
    case JERR_BAD_PRECISION:
    case JERR_SOF_UNSUPPORTED:
    case JERR_ARITH_NOTIMPL:
    case JERR_NOTIMPL:
    case JERR_NOT_COMPILED:
    case JERR_CONVERSION_NOTIMPL:
    case JERR_CCIR601_NOTIMPL:
    case JERR_FRACT_SAMPLE_NOTIMPL:
        return std::string("this kind of JPEG is not supported (") + err.detail + ")";
    default:
        return "the file is truncated or corrupt";
    }
}

[[noreturn]] void FailRead(const std::string& name, const std::string& reason) {
    throw PictureError("cannot read " + name + ": " + reason);
}

// Reads the header of data into d; throws PictureError when it is not a readable JPEG header.
void ReadHeader(Decompressor& d, const QByteArray& data, const std::string& name, bool withProfile = false) {
    if (data.isEmpty()) FailRead(name, "the file is empty");
    jpeg_decompress_struct* cinfo = &d.cinfo;
    cinfo->err = &d.err.pub;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const auto size = static_cast<unsigned long>(data.size());
    const bool ok = Guarded(d.err, [cinfo, bytes, size, withProfile] {
        jpeg_create_decompress(cinfo);
        jpeg_mem_src(cinfo, bytes, size);
        jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
        if (withProfile) jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
        jpeg_read_header(cinfo, TRUE);
    });
    if (!ok) FailRead(name, ReasonFor(d.err, cinfo->image_width, cinfo->image_height));
}

// --- Orientation and profile ------------------------------------------------------------------

// The orientation the EXIF segment records (read with exiv2); 1 without one.
int ReadOrientation(const jpeg_decompress_struct& cinfo) {
    static constexpr unsigned char kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < sizeof kExif) continue;
        if (std::memcmp(m->data, kExif, sizeof kExif) != 0) continue;
        return ExifOrientation(m->data + sizeof kExif, m->data_length - sizeof kExif);
    }
    return 1;
}

// --- Decoding ---------------------------------------------------------------------------------

bool IsCmyk(const jpeg_decompress_struct& cinfo) {
    return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

// Refuses, before memory is reserved for the pixels, a header whose picture is
// too large or that the file is too short to hold.
void CheckStoredSize(const Decompressor& d, const QByteArray& data, const std::string& name) {
    const jpeg_decompress_struct* cinfo = &d.cinfo;
    const long long storedWidth = cinfo->image_width, storedHeight = cinfo->image_height;
    if (storedWidth > kMaxPictureSide || storedHeight > kMaxPictureSide ||
        storedWidth * storedHeight > kMaxPicturePixels)
        FailRead(name, "the picture is too large " + SizeText(storedWidth, storedHeight));

    // Every 8 x 8 block of a Huffman-coded scan takes at least one bit, so a file
    // without one bit per block of even its smallest component is cut short or
    // lies about its size. Refuse it before memory is reserved for the pixels: a
    // few hundred bytes must not cost a gigabyte.
    if (!cinfo->arith_code) {
        long long fewestBlocks = std::numeric_limits<long long>::max();
        for (int c = 0; c < cinfo->num_components; ++c) {
            const jpeg_component_info& comp = cinfo->comp_info[c];
            fewestBlocks =
                std::min(fewestBlocks, static_cast<long long>(comp.width_in_blocks) * comp.height_in_blocks);
        }
        if (static_cast<long long>(data.size()) * 8 < fewestBlocks)
            FailRead(name, "the file is too short for its size " + SizeText(storedWidth, storedHeight) +
                               ", truncated or corrupt");
    }
}

// Plain data for the scanline loop, which runs under Guarded().
struct ScanTarget {
    uint32_t* pixels; // the upright bitmap's first word
    Placement place;
    uint32_t* rowWords; // one decoded row as RGB32 words, when it cannot go in place
    JSAMPLE* cmykRow;   // one decoded CMYK row, or null
    bool invertedCmyk;  // Adobe-style CMYK stores 255 for no ink
};

inline uint32_t Mul255(uint32_t a, uint32_t b) {
    return (a * b + 127) / 255;
}

void CmykToRgb32(const JSAMPLE* in, uint32_t* out, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        uint32_t c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        out[x] = 0xFF000000u | Mul255(c, k) << 16 | Mul255(m, k) << 8 | Mul255(y, k);
    }
}

void DecodeScanlines(j_decompress_ptr cinfo, const ScanTarget& t) {
    jpeg_start_decompress(cinfo);
    const JDIMENSION width = cinfo->output_width;
    const bool inPlace = t.place.StepX == 1 && t.cmykRow == nullptr;
    while (cinfo->output_scanline < cinfo->output_height) {
        const ptrdiff_t y = cinfo->output_scanline;
        uint32_t* target = t.pixels + t.place.Origin + y * t.place.StepY;
        JSAMPROW row = inPlace                ? reinterpret_cast<JSAMPROW>(target)
                       : t.cmykRow != nullptr ? t.cmykRow
                                              : reinterpret_cast<JSAMPROW>(t.rowWords);
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) ERREXIT(cinfo, JERR_INPUT_EOF);
        if (inPlace) continue;
        if (t.cmykRow != nullptr) CmykToRgb32(t.cmykRow, t.rowWords, width, t.invertedCmyk);
        for (JDIMENSION x = 0; x < width; ++x)
            target[x * t.place.StepX] = t.rowWords[x];
    }
    jpeg_finish_decompress(cinfo);
}

} // namespace

Bitmap DecodeJpeg(const QByteArray& data, const std::string& fileName, QSize minimumSize) {
    const std::string name = DisplayName(fileName);
    Decompressor d;
    ReadHeader(d, data, name);
    jpeg_decompress_struct* cinfo = &d.cinfo;

    CheckStoredSize(d, data, name);
    const long long storedWidth = cinfo->image_width, storedHeight = cinfo->image_height;

    const int orientation = ReadOrientation(*cinfo);
    const bool cmyk = IsCmyk(*cinfo);
    cinfo->out_color_space = cmyk ? JCS_CMYK : kRgb32Space;
    d.progress.progress_monitor = LimitScans;
    cinfo->progress = &d.progress;

    // The largest DCT reduction that still leaves at least minimumSize as displayed.
    int needWidth = 0, needHeight = 0;
    if (minimumSize.width() > 0 && minimumSize.height() > 0) {
        const QSize need = SwapsSides(orientation) ? minimumSize.transposed() : minimumSize;
        needWidth = need.width();
        needHeight = need.height();
    }
    const bool sized = Guarded(d.err, [cinfo, needWidth, needHeight] {
        for (unsigned denom : {8u, 4u, 2u, 1u}) {
            if (denom > 1 && needWidth == 0) continue;
            cinfo->scale_num = 1;
            cinfo->scale_denom = denom;
            jpeg_calc_output_dimensions(cinfo);
            if (cinfo->output_width >= static_cast<JDIMENSION>(needWidth) &&
                cinfo->output_height >= static_cast<JDIMENSION>(needHeight))
                return;
        }
    });
    if (!sized) FailRead(name, ReasonFor(d.err, storedWidth, storedHeight));

    const int width = static_cast<int>(cinfo->output_width);
    const int height = static_cast<int>(cinfo->output_height);
    Bitmap bitmap;
    std::vector<uint32_t> rowWords;
    std::vector<JSAMPLE> cmykRow;
    try {
        bitmap = SwapsSides(orientation) ? Bitmap(height, width) : Bitmap(width, height);
        rowWords.resize(static_cast<size_t>(width));
        if (cmyk) cmykRow.resize(static_cast<size_t>(width) * 4);
    } catch (const std::bad_alloc&) {
        FailRead(name, "not enough memory for a picture " + SizeText(width, height));
    } catch (const std::runtime_error& e) {
        FailRead(name, e.what());
    }

    ScanTarget target{};
    target.pixels = bitmap.Row(0);
    target.place = PlacementFor(orientation, width, height, bitmap.Image().bytesPerLine() / 4);
    target.rowWords = rowWords.data();
    target.cmykRow = cmyk ? cmykRow.data() : nullptr;
    // Adobe's CMYK (and YCCK, which libjpeg turns into CMYK) is stored inverted.
    target.invertedCmyk = cinfo->saw_Adobe_marker != 0;
    if (!Guarded(d.err, [cinfo, &target] { DecodeScanlines(cinfo, target); }))
        FailRead(name, ReasonFor(d.err, storedWidth, storedHeight));
    return bitmap;
}

struct JpegRowReader::State {
    Decompressor d;
    std::string name;
    bool started = false;
    int rowsRead = 0;
};

JpegRowReader::JpegRowReader(const QByteArray& data, const std::string& fileName)
    : s_(std::make_unique<State>()) {
    s_->name = DisplayName(fileName);
    ReadHeader(s_->d, data, s_->name);
    CheckStoredSize(s_->d, data, s_->name);
    jpeg_decompress_struct* cinfo = &s_->d.cinfo;
    const bool cmyk = IsCmyk(*cinfo);
    streams_ = !cmyk && ReadOrientation(*cinfo) == 1;
    cinfo->out_color_space = kRgb32Space;
    s_->d.progress.progress_monitor = LimitScans;
    cinfo->progress = &s_->d.progress;
}

JpegRowReader::~JpegRowReader() = default;

int JpegRowReader::Width() const {
    return static_cast<int>(s_->d.cinfo.image_width);
}

int JpegRowReader::Height() const {
    return static_cast<int>(s_->d.cinfo.image_height);
}

void JpegRowReader::Read(uint32_t* rows, ptrdiff_t strideWords, int count) {
    if (!streams_) throw std::logic_error("this JPEG's rows are not the picture's rows");
    if (count < 0 || s_->rowsRead + count > Height())
        throw std::logic_error("reading beyond a JPEG's last row");
    s_->rowsRead += count;
    jpeg_decompress_struct* cinfo = &s_->d.cinfo;
    const bool start = !s_->started;
    s_->started = true;
    const bool ok = Guarded(s_->d.err, [cinfo, start, rows, strideWords, count] {
        if (start) jpeg_start_decompress(cinfo);
        for (int i = 0; i < count; ++i) {
            JSAMPROW row = reinterpret_cast<JSAMPROW>(rows + i * strideWords);
            if (jpeg_read_scanlines(cinfo, &row, 1) != 1) ERREXIT(cinfo, JERR_INPUT_EOF);
        }
        if (cinfo->output_scanline == cinfo->output_height) jpeg_finish_decompress(cinfo);
    });
    if (!ok) FailRead(s_->name, ReasonFor(s_->d.err, Width(), Height()));
}

QSize ReadJpegSize(const QByteArray& data, const std::string& fileName) {
    Decompressor d;
    ReadHeader(d, data, DisplayName(fileName));
    return QSize(static_cast<int>(d.cinfo.image_width), static_cast<int>(d.cinfo.image_height));
}

QSize ReadJpegDisplaySize(const QByteArray& data, const std::string& fileName) {
    Decompressor d;
    ReadHeader(d, data, DisplayName(fileName));
    const QSize stored(static_cast<int>(d.cinfo.image_width), static_cast<int>(d.cinfo.image_height));
    return SwapsSides(ReadOrientation(d.cinfo)) ? stored.transposed() : stored;
}

QByteArray ReadJpegIccProfile(const QByteArray& data) {
    Decompressor d;
    try {
        ReadHeader(d, data, "picture.jpg", true);
    } catch (const PictureError&) {
        return {};
    }
    jpeg_decompress_struct* cinfo = &d.cinfo;
    JOCTET* icc = nullptr;
    unsigned int size = 0;
    const bool ok = Guarded(d.err, [cinfo, &icc, &size] { jpeg_read_icc_profile(cinfo, &icc, &size); });
    QByteArray profile;
    if (ok && icc != nullptr && size > 0)
        profile = QByteArray(reinterpret_cast<const char*>(icc), static_cast<qsizetype>(size));
    std::free(icc);
    return profile;
}

struct JpegRowWriter::State {
    MemoryDestination destination;
    Compressor c;
    std::string name;
    int width = 0, height = 0;
};

namespace {

[[noreturn]] void FailWrite(const std::string& name, const std::string& reason) {
    throw PictureError("cannot write " + name + ": " + reason);
}

} // namespace

JpegRowWriter::JpegRowWriter(int width, int height, const std::string& fileName, int quality,
                             JpegChroma chroma, JpegSink sink, const TJpegExtras& extras)
    : s_(std::make_unique<State>()) {
    s_->name = DisplayName(fileName);
    s_->destination.sink = std::move(sink);
    s_->width = width;
    s_->height = height;
    if (width <= 0 || height <= 0) FailWrite(s_->name, "the picture is empty");
    jpeg_compress_struct* cinfo = &s_->c.cinfo;
    cinfo->err = &s_->c.err.pub;
    MemoryDestination* destination = &s_->destination;
    // The rows go in as the bitmap holds them: libjpeg-turbo converts 32-bit
    // pixels to its colour planes as fast as packed RGB, with the same tables.
    const TJpegExtras* written = &extras;
    const bool ok = Guarded(s_->c.err, [cinfo, destination, width, height, quality, chroma, written] {
        jpeg_create_compress(cinfo);
        cinfo->dest = &destination->pub;
        cinfo->image_width = static_cast<JDIMENSION>(width);
        cinfo->image_height = static_cast<JDIMENSION>(height);
        cinfo->input_components = 4;
        cinfo->in_color_space = kRgb32Space;
        jpeg_set_defaults(cinfo); // baseline, Huffman tables from the standard
        jpeg_set_quality(cinfo, quality, TRUE);
        if (chroma == JpegChroma::Full) {
            for (int c = 0; c < cinfo->num_components; ++c)
                cinfo->comp_info[c].h_samp_factor = cinfo->comp_info[c].v_samp_factor = 1;
        }
        jpeg_start_compress(cinfo, TRUE);
        // Between the header and the first row: the metadata, then the profile.
        for (const TJpegSegment& segment : written->Segments)
            jpeg_write_marker(cinfo, segment.Marker,
                              reinterpret_cast<const JOCTET*>(segment.Data.constData()),
                              static_cast<unsigned int>(segment.Data.size()));
        if (!written->IccProfile.isEmpty())
            jpeg_write_icc_profile(cinfo, reinterpret_cast<const JOCTET*>(written->IccProfile.constData()),
                                   static_cast<unsigned int>(written->IccProfile.size()));
    });
    if (!ok) Fail();
}

JpegRowWriter::~JpegRowWriter() = default;

void JpegRowWriter::Fail() const {
    if (s_->destination.sinkFailure) std::rethrow_exception(s_->destination.sinkFailure);
    const ErrorManager& err = s_->c.err;
    if (err.code == JERR_IMAGE_TOO_BIG || err.code == JERR_WIDTH_OVERFLOW || err.code == JERR_OUT_OF_MEMORY)
        FailWrite(s_->name, ReasonFor(err, s_->width, s_->height));
    FailWrite(s_->name, std::string("the JPEG encoder failed (") + err.detail + ")");
}

void JpegRowWriter::Write(const uint32_t* rows, ptrdiff_t strideWords, int count) {
    jpeg_compress_struct* cinfo = &s_->c.cinfo;
    const bool ok = Guarded(s_->c.err, [cinfo, rows, strideWords, count] {
        constexpr int kChunk = 16;
        JSAMPROW pointers[kChunk];
        for (int done = 0; done < count;) {
            const int n = std::min(kChunk, count - done);
            for (int i = 0; i < n; ++i)
                pointers[i] =
                    reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(rows + (done + i) * strideWords));
            if (cinfo->next_scanline + static_cast<JDIMENSION>(n) > cinfo->image_height)
                ERREXIT(cinfo, JERR_TOO_LITTLE_DATA);
            jpeg_write_scanlines(cinfo, pointers, static_cast<JDIMENSION>(n));
            done += n;
        }
    });
    if (!ok) Fail();
}

QByteArray JpegRowWriter::Finish() {
    jpeg_compress_struct* cinfo = &s_->c.cinfo;
    if (cinfo->next_scanline != cinfo->image_height)
        throw std::logic_error("a JPEG finished before its last row");
    if (!Guarded(s_->c.err, [cinfo] { jpeg_finish_compress(cinfo); })) Fail();
    if (s_->destination.sink) return {};
    try {
        return QByteArray(reinterpret_cast<const char*>(s_->destination.data),
                          static_cast<qsizetype>(s_->destination.size));
    } catch (const std::bad_alloc&) {
        FailWrite(s_->name, "not enough memory");
    }
}

QByteArray EncodeJpeg(const Bitmap& bitmap, const std::string& fileName, int quality, JpegChroma chroma,
                      const TJpegExtras& extras) {
    if (bitmap.IsEmpty()) FailWrite(DisplayName(fileName), "the picture is empty");
    JpegRowWriter writer(bitmap.Width(), bitmap.Height(), fileName, quality, chroma, {}, extras);
    writer.Write(bitmap.Row(0), bitmap.Image().bytesPerLine() / 4, bitmap.Height());
    return writer.Finish();
}

} // namespace tw
