#pragma once
// Checks and repairs of picture data, made before Qt's readers see them. Those
// readers trust what a file declares: a chunk length, a stream that goes on
// after the picture, a run-length code that never comes. Each of these costs
// time or memory out of all proportion, or leaves pixels unset.

#include <QByteArray>
#include <QSize>

#include <cstdint>
#include <stdexcept>

namespace tw {

// The data are damaged. what() gives the reason alone, without the file's name.
class PictureDamage : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Numbers stored in picture data, read from `at` (the caller checks the bounds).
inline uint32_t Le16(const QByteArray& b, qsizetype at) {
    return static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8);
}
inline uint32_t Le32(const QByteArray& b, qsizetype at) {
    return Le16(b, at) | Le16(b, at + 2) << 16;
}
inline uint32_t Be32(const QByteArray& b, qsizetype at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) << 24 | static_cast<uint8_t>(b[at + 1]) << 16 |
           static_cast<uint8_t>(b[at + 2]) << 8 | static_cast<uint8_t>(b[at + 3]);
}

bool IsPngAt(const QByteArray& bytes, qsizetype at);

// The PNG stream starting at `from`, for the PNG reader, which reserves a buffer
// of the size a chunk declares before its data arrive: every chunk must lie
// inside the file. Text chunks are left out: we never use them, and the
// compressed kinds inflate without bound. Throws PictureDamage.
QByteArray CheckedPngStream(const QByteArray& bytes, qsizetype from);

// The PNG reader inflates the image data to the end of their stream, however
// far it goes past the picture's last row. When the data go on past the rows,
// the stream comes back with image data that hold the rows and nothing more, so
// the work is bounded by the picture's size; otherwise it comes back unchanged.
// Throws PictureDamage for image data whose checksum is wrong.
QByteArray WithoutSurplusImageData(const QByteArray& png);

// The ICC profile of a PNG's iCCP chunk, inflated; empty when there is none,
// or it is damaged or larger than any profile should be.
QByteArray PngIccProfile(const QByteArray& png);
// For the metadata reader: the PNG's header with only the chunks that hold
// Exif, XMP and IPTC (eXIf, and text chunks under the keywords for them) and
// an end; compressed ones only when they inflate to a sensible size, so that
// no reader inflates without bound. Empty when the PNG has none of them.
// Throws PictureDamage for a damaged chunk structure.
QByteArray PngMetadataStream(const QByteArray& png);
// The PNG with profile in an iCCP chunk right after its header (and no other
// iCCP chunk).
QByteArray WithPngIccProfile(const QByteArray& png, const QByteArray& profile);

// Checks every distinct PNG image in an icon file once, however many directory
// entries point at it, and returns how many chunk headers that read: each at
// most once, so the work grows with the file. Throws PictureDamage.
qsizetype CheckIconPngs(const QByteArray& bytes);

// The PNG image of an icon's directory entry (as many of the bytes it claims as
// the file holds); empty when the entry holds no PNG image.
QByteArray IconPngAt(const QByteArray& bytes, int entry);

// For a run-length coded BMP that the reader takes (RLE8 or RLE4 with its bit
// count): the picture's size, after checking that the pixel codes reach their
// end before the file does. The reader leaves the pixels that the codes skip
// unset, so the caller must hand it a picture already filled with the first
// palette entry. An invalid size for every other kind of BMP. Throws
// PictureDamage for a cut-off stream.
QSize CheckRunLengthPixels(const QByteArray& bmp);

} // namespace tw
