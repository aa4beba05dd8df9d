#pragma once
// Writers for the two metafile formats: each holds the picture as one
// stretched device-independent bitmap drawn at (0, 0).

#include "platform/Bitmap.h"

#include <QByteArray>

namespace tw {

// Enhanced metafile: header record, one stretch-DIB record, end-of-file record.
QByteArray EncodeEmf(const Bitmap& bitmap);
// Plain (placeable) metafile: placeable header, metafile header, one stretch-DIB record, end record.
QByteArray EncodeWmf(const Bitmap& bitmap);

} // namespace tw
