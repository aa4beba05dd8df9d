#pragma once
// WebP files through libwebp (and its mux and demux parts for the profile and
// the metadata chunks).

#include "platform/Bitmap.h"

#include <QByteArray>
#include <QSize>

#include <functional>
#include <string>

namespace tw {

// WebP pictures have at most this many pixels on a side.
inline constexpr int kMaxWebpSide = 16383;

// Decodes a still WebP picture, lossy or lossless; alpha is flattened over
// white as for PNG. Animations are refused. Throws PictureError.
Bitmap DecodeWebp(const QByteArray& data, const std::string& fileName);
// The picture's size, from the header alone; throws PictureError.
QSize ReadWebpSize(const QByteArray& data, const std::string& fileName);
// A chunk of an extended WebP file ("ICCP", "EXIF", "XMP "); empty without one.
QByteArray ReadWebpChunk(const QByteArray& data, const char* fourCc);

// What goes into a WebP file besides the pixels; empty parts are left out.
struct TWebpExtras {
    QByteArray IccProfile, Exif, Xmp;
};
// Encodes losslessly, or lossy at quality 1..100; progress hears the fraction
// done. Pictures beyond kMaxWebpSide are refused. Throws PictureError.
QByteArray EncodeWebp(const Bitmap& bitmap, const std::string& fileName, int quality = 0,
                      const TWebpExtras& extras = {}, const std::function<void(double)>& progress = {});

} // namespace tw
