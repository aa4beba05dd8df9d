#pragma once
// Reading and writing picture files by their extension.
//
// Loading knows .bmp, .jpg, .jpeg, .ico, .png, .tif, .tiff, .webp, .heic,
// .heif and .avif; saving knows .jpg/.jpeg (quality 100), .bmp (24-bit), .ico,
// .emf, .wmf, .png, .tif/.tiff (8-bit, Deflate) and .webp (lossless unless a
// quality is given). JPEG, PNG, TIFF and WebP results carry the source's
// metadata and colour profile (PictureMetadata.h). Every failure is a
// PictureError naming the file and the reason. Writes are atomic: the data go
// to a temporary file in the target folder that replaces the target only when
// complete, so a failed save never damages the file that was there.

#include "platform/Bitmap.h"
#include "platform/JpegCodec.h"
#include "platform/PictureError.h"
#include "platform/PictureFormat.h"
#include "platform/PictureMetadata.h"

#include <QByteArray>
#include <QSize>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tw {

// The extension of a file name: from the last dot of the name part, dot included,
// lower-cased; empty when the name part has no dot.
std::string ExtensionOf(const std::string& fileName);
// The name part of a path, for messages: control characters and bytes that
// are not UTF-8 come out escaped, so a message stays one line.
std::string DisplayName(const std::string& path);

PictureFormat LoadFormatFor(const std::string& fileName);
// The format a result is written in; Unknown for those only read (.heic, .heif, .avif).
PictureFormat SaveFormatFor(const std::string& fileName);
// Whether pictures in the format carry metadata and a colour profile into results.
bool KeepsMetadata(PictureFormat format);

// The working size: pictures higher than 600 are scaled to 600 high; then
// pictures wider than 800 are scaled to 800 wide instead (from the original
// size), each side rounded half to even but never below 1. Smaller pictures
// keep their size.
QSize WorkingSize(QSize pictureSize);

// Loads a picture at its own size, upright (the orientation its file records
// applied). Icons and transparent pictures come out drawn over white.
// minimumSize lets the JPEG decoder skip detail that a later reduction to that
// size would throw away anyway. metadata, when given, receives what the file
// carries besides the pixels.
Bitmap LoadPicture(const std::string& path, QSize minimumSize = {}, TPictureMetadata* metadata = nullptr);
// Refuses, without reading it, a file LoadPicture would refuse before
// decoding: missing, not a regular file, too large, an unknown type, unreadable.
void CheckPictureFile(const std::string& path);
// The picture's size as its file stores it (before its orientation), read
// from the header where the format allows; throws PictureError as LoadPicture.
QSize PictureFileSize(const std::string& path);
// Decodes picture bytes as the format that fileName's extension names.
Bitmap DecodePicture(const QByteArray& bytes, const std::string& fileName, QSize minimumSize = {},
                     TPictureMetadata* metadata = nullptr);
// What picture bytes carry besides the pixels: the colour profile and, read
// with exiv2, the Exif, XMP and IPTC (or the problem that keeps them from
// being read). Never throws for the metadata's sake.
TPictureMetadata ReadPictureMetadata(const QByteArray& bytes, PictureFormat format);
// Loads a picture and reduces it to the working size with smooth stretching.
Bitmap LoadWorkingPicture(const std::string& path, TPictureMetadata* metadata = nullptr);
// A picture at its own size and at the working size, from one read of the file.
struct PictureAtBothSizes {
    Bitmap Full;
    Bitmap Working; // the very pixels LoadWorkingPicture gives
    TPictureMetadata Metadata;
};
PictureAtBothSizes LoadPictureAtBothSizes(const std::string& path);
// A JPEG larger than the working size whose rows can be read a band at a time
// (JpegRowReader) rather than held whole: the file's bytes and its size.
// Nothing for other pictures.
struct StreamablePicture {
    std::string Path;
    QByteArray Bytes;
    QSize FullSize;
    TPictureMetadata Metadata;
    // The working picture LoadPictureAtBothSizes gives.
    Bitmap Working() const;
};
std::optional<StreamablePicture> OpenStreamablePicture(const std::string& path);
class AtomicFileWriter;

// How a result is written.
struct TSaveOptions {
    // The source's metadata and colour profile, carried into JPEG, PNG, TIFF
    // and WebP results.
    TPictureMetadata Metadata;
    // No Exif, XMP or IPTC in the result; the colour profile stays, as the
    // colours depend on it.
    bool StripMetadata = false;
    // WebP: lossy at this quality (1..100); 0: lossless.
    int Quality = 0;
    // The fraction encoded, where the encoder says (TIFF, WebP).
    std::function<void(double)> OnProgress;
};

// A JPEG save of a picture of this size whose rows are handed over a band at a
// time: the same file as SavePicture of the whole bitmap, written as it is
// encoded, in place only once committed; the metadata goes in before the first
// row. Throws PictureError as SavePicture.
class SavedJpegFile {
  public:
    SavedJpegFile(QSize size, const std::string& path, const TSaveOptions& options = {});
    ~SavedJpegFile();
    void Write(const uint32_t* rows, ptrdiff_t strideWords, int count);
    void Commit();

  private:
    std::string path_;
    std::unique_ptr<AtomicFileWriter> file_;
    std::unique_ptr<JpegRowWriter> jpeg_;
};

// Reduces a picture to the working size (a plain copy when it is small enough).
Bitmap ReduceToWorkingSize(const Bitmap& picture);

// Encodes the bitmap in the given format (not Unknown).
QByteArray EncodePicture(const Bitmap& bitmap, PictureFormat format, const std::string& fileName,
                         const TSaveOptions& options = {});
// Writes the bitmap in the format its extension names. Returns false, writing
// nothing, when the extension names no known format.
bool SavePicture(const Bitmap& bitmap, const std::string& path, const TSaveOptions& options = {});
// Refuses (PictureError "cannot write ...") a picture of this size that the
// format cannot hold: WebP's sides end at 16383 pixels.
void CheckFitsFormat(QSize size, const std::string& path);
// Replaces path's content with bytes, atomically.
void WriteFileAtomically(const std::string& path, const QByteArray& bytes);

} // namespace tw
