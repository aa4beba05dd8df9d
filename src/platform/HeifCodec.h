#pragma once
// HEIC and AVIF files (HEIF containers) read through libheif; Tintwell does
// not write them.

#include "platform/Bitmap.h"

#include <QByteArray>
#include <QSize>

#include <string>

namespace tw {

// Decodes the primary picture with libheif's transformations (turns,
// mirrors, crops) applied, at 8 bits a channel; alpha is flattened over
// white as for PNG. Throws PictureError.
Bitmap DecodeHeif(const QByteArray& data, const std::string& fileName);
// The primary picture's size as decoding gives it; throws PictureError.
QSize ReadHeifSize(const QByteArray& data, const std::string& fileName);

// What the container keeps beside the primary picture: its ICC profile (one
// made from the primaries when the file gives those instead), its Exif block
// (a TIFF structure) and its XMP packet. Empty parts when there are none or
// the file cannot be read.
struct THeifBlocks {
    QByteArray IccProfile, Exif, Xmp;
};
THeifBlocks ReadHeifBlocks(const QByteArray& data);

} // namespace tw
