#pragma once
// TIFF files through libtiff, read from and written to memory.

#include "platform/Bitmap.h"

#include <QByteArray>
#include <QSize>

#include <functional>
#include <string>

namespace tw {

// Decodes the first picture of a TIFF file held in memory: RGB (8 or 16 bits),
// greyscale (1 to 16 bits) or palette (1 to 8 bits), in strips or tiles,
// samples together or in planes, in any compression libtiff decodes (none,
// LZW, Deflate, PackBits, JPEG, ...). Alpha is flattened over white as for
// PNG, 16-bit samples become round(v / 257), and the orientation tag is
// applied. CMYK, floating-point and other kinds are refused. fileName is only
// used in messages; every failure is a PictureError.
Bitmap DecodeTiff(const QByteArray& data, const std::string& fileName);
// The first picture's size as stored (before its orientation), read from the
// header alone; throws PictureError.
QSize ReadTiffSize(const QByteArray& data, const std::string& fileName);
// The first picture's ICC profile; empty when it has none or the file cannot be read.
QByteArray ReadTiffIccProfile(const QByteArray& data);

// Encodes 8-bit RGB, Deflate, the profile embedded when given; progress hears
// the fraction of rows written. Throws PictureError.
QByteArray EncodeTiff(const Bitmap& bitmap, const std::string& fileName, const QByteArray& iccProfile = {},
                      const std::function<void(double)>& progress = {});

} // namespace tw
