#pragma once
// What a photo carries besides its pixels: its Exif, XMP and IPTC metadata and
// its ICC colour profile, read from the file's bytes and written into results.
//
// The metadata is read and written with exiv2, in PictureMetadata.cpp alone;
// the profile comes from each format's own decoder, so that a picture whose
// metadata cannot be read still keeps its colours. Results get the metadata
// with what the result changes changed: orientation 1 (pixels are stored
// upright), the result's pixel dimensions, no thumbnail, Tintwell as the
// software.

#include "platform/PictureFormat.h"

#include <QByteArray>
#include <QSize>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace tw {

// exiv2's containers for one picture; known to PictureMetadata.cpp only.
struct TMetadataStore;

struct TPictureMetadata {
    // The picture's ICC colour profile as its file stores it; empty: none.
    QByteArray IccProfile;
    // The Exif, XMP and IPTC read; null when the picture has none (or they
    // could not be read).
    std::shared_ptr<const TMetadataStore> Store;
    // Why the metadata could not be read ("the Exif data are corrupt"), for a
    // warning; empty when it could.
    std::string Problem;

    bool HasMetadata() const { return Store != nullptr; }
    // The Exif orientation, 1..8; 1 without one.
    int Orientation() const;
};

// The orientation an Exif block (a TIFF structure, without JPEG's "Exif"
// header) records; 1 when it records none or cannot be read.
int ExifOrientation(const unsigned char* tiff, size_t size);

// Reads the Exif, XMP and IPTC of a JPEG, PNG, TIFF or WebP file's bytes into
// metadata's Store, or says in Problem why they cannot be read. Never throws.
void ReadFileMetadata(const QByteArray& bytes, TPictureMetadata& metadata);
// The same from the blocks a container keeps apart: a TIFF-structured Exif
// block and an XMP packet (either may be empty).
void ReadMetadataBlocks(const QByteArray& exif, const QByteArray& xmp, TPictureMetadata& metadata);

// --- The metadata of a result of the given size ---------------------------------------

// A JPEG segment: its marker (APP1, APP13) and its data.
struct TJpegSegment {
    int Marker = 0;
    QByteArray Data;
};
// The APP1 Exif, APP1 XMP and APP13 IPTC segments of a JPEG result. A block
// too large for a segment is left out.
std::vector<TJpegSegment> JpegMetadataSegments(const TPictureMetadata& metadata, QSize size);
// A PNG or TIFF file's bytes with the metadata written into them (a PNG's
// Exif, XMP and IPTC in exiv2's text chunks); the bytes unchanged when there is
// none or exiv2 cannot write them.
QByteArray WithFileMetadata(const QByteArray& file, const TPictureMetadata& metadata, QSize size);
// The EXIF and XMP chunks of a WebP result. WebP has no place for IPTC: it
// goes into the XMP (Iptc4xmpCore and Dublin Core).
struct TWebpMetadata {
    QByteArray Exif, Xmp;
};
TWebpMetadata WebpMetadataChunks(const TPictureMetadata& metadata, QSize size);

} // namespace tw
