#pragma once
// The commonest bitmap file, 24 bits per pixel without compression, read and
// written directly: at camera size the general codec's line-by-line work and
// its intermediate buffers cost more than the pixels themselves.

#include "platform/Bitmap.h"

#include <QByteArray>

#include <optional>

namespace tw {

// The picture when bytes hold a complete file of that kind (a 40-byte header,
// 24 bits, no compression, one plane, no palette); nothing otherwise, for the
// general reader to deal with. The size is not checked against our limits.
std::optional<Bitmap> DecodePlainBmp(const QByteArray& bytes);

// The file the general writer makes of a picture, byte for byte: 24 bits,
// rows bottom-up, each padded to four bytes.
QByteArray EncodePlainBmp(const Bitmap& bitmap);

} // namespace tw
