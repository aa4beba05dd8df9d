#pragma once
// JPEG decoding and encoding through libjpeg.

#include "platform/Bitmap.h"
#include "platform/PictureMetadata.h"

#include <QByteArray>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// Decodes a JPEG held in memory. fileName is only used in error messages.
// When minimumSize is given (both sides > 0), the decoder may use libjpeg's DCT
// scaling to produce the smallest picture whose sides are both still at least
// minimumSize; the caller reduces it the rest of the way.
// The EXIF orientation tag, when present, is applied so the picture comes out upright.
// Throws PictureError ("cannot read NAME: REASON") for anything that is not a
// readable JPEG or that exceeds the picture size limits.
Bitmap DecodeJpeg(const QByteArray& data, const std::string& fileName, QSize minimumSize = {});

// The picture's size as stored (before orientation), or throws PictureError.
QSize ReadJpegSize(const QByteArray& data, const std::string& fileName);

// How finely the colour planes of an encoded JPEG are sampled: halved both ways (4:2:0,
// libjpeg's default), or like the brightness (4:4:4).
enum class JpegChroma { Halved, Full };

// The picture's ICC profile (its APP2 segments joined); empty when it has
// none or the header cannot be read.
QByteArray ReadJpegIccProfile(const QByteArray& data);

// What a JPEG file carries besides its pixels, written after its header and
// before the first row: metadata segments and the ICC profile (in APP2
// segments, split as it needs). Nothing by default: a plain JFIF file.
struct TJpegExtras {
    std::vector<TJpegSegment> Segments;
    QByteArray IccProfile;
};

// Encodes a colour baseline JPEG at the given quality (libjpeg's defaults otherwise).
// Throws PictureError on failure.
QByteArray EncodeJpeg(const Bitmap& bitmap, const std::string& fileName, int quality = 100,
                      JpegChroma chroma = JpegChroma::Halved, const TJpegExtras& extras = {});

// Reads a JPEG's rows from the top, a band at a time, for pictures that need
// not be held whole. Only files whose stored rows are the picture's rows
// stream: colour, and upright as stored (no EXIF turn or mirror).
class JpegRowReader {
  public:
    // Reads the header and refuses what DecodeJpeg refuses before decoding
    // (PictureError). data must outlive the reader.
    JpegRowReader(const QByteArray& data, const std::string& fileName);
    ~JpegRowReader();
    JpegRowReader(const JpegRowReader&) = delete;
    JpegRowReader& operator=(const JpegRowReader&) = delete;

    bool Streams() const { return streams_; }
    int Width() const;
    int Height() const;
    // Decodes the next count rows as RGB32 words, strideWords words apart, the
    // pixels DecodeJpeg gives. Throws PictureError for a damaged file.
    void Read(uint32_t* rows, ptrdiff_t strideWords, int count);

  private:
    struct State;
    std::unique_ptr<State> s_;
    bool streams_ = false;
};

// Where encoded bytes go as they are made, a megabyte or so at a time.
using JpegSink = std::function<void(const char* data, size_t size)>;

// Encodes RGB32 rows handed over from the top, the bytes EncodeJpeg gives for
// the whole bitmap: kept for Finish, or handed to sink as they come. Throws
// PictureError, or what the sink throws.
class JpegRowWriter {
  public:
    JpegRowWriter(int width, int height, const std::string& fileName, int quality, JpegChroma chroma,
                  JpegSink sink = {}, const TJpegExtras& extras = {});
    ~JpegRowWriter();
    JpegRowWriter(const JpegRowWriter&) = delete;
    JpegRowWriter& operator=(const JpegRowWriter&) = delete;

    void Write(const uint32_t* rows, ptrdiff_t strideWords, int count);
    // The file's bytes (empty with a sink), once every row has been written.
    QByteArray Finish();

  private:
    [[noreturn]] void Fail() const;
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace tw

namespace tw {
// The picture's size as it will be shown, i.e. with the EXIF orientation applied
// (width and height swap for the rotated orientations). Reads the header only.
QSize ReadJpegDisplaySize(const QByteArray& data, const std::string& fileName);
} // namespace tw
