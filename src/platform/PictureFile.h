#pragma once
// Reading and writing picture files by their extension.
//
// Loading knows .bmp, .jpg, .jpeg, .ico and .png; saving knows .jpg/.jpeg
// (quality 100), .bmp (24-bit), .ico, .emf, .wmf and .png. Every failure is a
// PictureError naming the file and the reason. Writes are atomic: the data go
// to a temporary file in the target folder that replaces the target only when
// complete, so a failed save never damages the file that was there.

#include "platform/Bitmap.h"
#include "platform/JpegCodec.h"
#include "platform/PictureError.h"

#include <QByteArray>
#include <QSize>

#include <memory>
#include <optional>
#include <string>

namespace tw {

enum class PictureFormat { Unknown, Bmp, Jpeg, Ico, Png, Emf, Wmf };

// The extension of a file name: from the last dot of the name part, dot included,
// lower-cased; empty when the name part has no dot.
std::string ExtensionOf(const std::string& fileName);
// The name part of a path, for messages: control characters and bytes that
// are not UTF-8 come out escaped, so a message stays one line.
std::string DisplayName(const std::string& path);

PictureFormat LoadFormatFor(const std::string& fileName);
PictureFormat SaveFormatFor(const std::string& fileName);

// The working size: pictures higher than 600 are scaled to 600 high; then
// pictures wider than 800 are scaled to 800 wide instead (from the original
// size), each side rounded half to even but never below 1. Smaller pictures
// keep their size.
QSize WorkingSize(QSize pictureSize);

// Loads a picture at its own size. Icons and transparent pictures come out drawn
// over white. minimumSize lets the JPEG decoder skip detail that a later reduction
// to that size would throw away anyway.
Bitmap LoadPicture(const std::string& path, QSize minimumSize = {});
// Refuses, without reading it, a file LoadPicture would refuse before
// decoding: missing, not a regular file, too large, an unknown type, unreadable.
void CheckPictureFile(const std::string& path);
// Decodes picture bytes as the format that fileName's extension names.
Bitmap DecodePicture(const QByteArray& bytes, const std::string& fileName, QSize minimumSize = {});
// Loads a picture and reduces it to the working size with smooth stretching.
Bitmap LoadWorkingPicture(const std::string& path);
// A picture at its own size and at the working size, from one read of the file.
struct PictureAtBothSizes {
    Bitmap Full;
    Bitmap Working; // the very pixels LoadWorkingPicture gives
};
PictureAtBothSizes LoadPictureAtBothSizes(const std::string& path);
// A JPEG larger than the working size whose rows can be read a band at a time
// (JpegRowReader) rather than held whole: the file's bytes and its size.
// Nothing for other pictures.
struct StreamablePicture {
    std::string Path;
    QByteArray Bytes;
    QSize FullSize;
    // The working picture LoadPictureAtBothSizes gives.
    Bitmap Working() const;
};
std::optional<StreamablePicture> OpenStreamablePicture(const std::string& path);
class AtomicFileWriter;

// A JPEG save of a picture of this size whose rows are handed over a band at a
// time: the same file as SavePicture of the whole bitmap, written as it is
// encoded, in place only once committed. Throws PictureError as SavePicture.
class SavedJpegFile {
  public:
    SavedJpegFile(QSize size, const std::string& path);
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
QByteArray EncodePicture(const Bitmap& bitmap, PictureFormat format, const std::string& fileName);
// Writes the bitmap in the format its extension names. Returns false, writing
// nothing, when the extension names no known format.
bool SavePicture(const Bitmap& bitmap, const std::string& path);
// Replaces path's content with bytes, atomically.
void WriteFileAtomically(const std::string& path, const QByteArray& bytes);

} // namespace tw
