#pragma once
// JPEG decoding and encoding through libjpeg.

#include "platform/Bitmap.h"

#include <QByteArray>
#include <QSize>

#include <string>

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

// Encodes a colour baseline JPEG at the given quality (libjpeg's defaults otherwise).
// Throws PictureError on failure.
QByteArray EncodeJpeg(const Bitmap& bitmap, const std::string& fileName, int quality = 100,
                      JpegChroma chroma = JpegChroma::Halved);

} // namespace tw

namespace tw {
// The picture's size as it will be shown, i.e. with the EXIF orientation applied
// (width and height swap for the rotated orientations). Reads the header only.
QSize ReadJpegDisplaySize(const QByteArray& data, const std::string& fileName);
} // namespace tw
