#pragma once
// The entry points the fuzz targets and the corpus replay test share, so a
// corpus file is fed to the product code in exactly the same way in both.

#include <cstddef>
#include <cstdint>
#include <string>

namespace twfuzz {

// The first byte picks the extension (.bmp, .jpg, .ico, .png); the rest are the
// file's bytes. Decodes them; a PictureError is the expected way to refuse.
// Returns the extension used.
std::string DecodeAsPicture(const uint8_t* data, size_t size);

// The photo formats and their metadata: the first byte picks the extension
// (.tif, .webp, .heic, .avif, .jpg, .png: value mod 6); the rest are the
// file's bytes, decoded with their metadata read (exiv2) and the metadata
// written into a small result of each kind. A PictureError is the expected
// way to refuse. Returns the extension used.
std::string DecodeAsPhoto(const uint8_t* data, size_t size);

// Writes the bytes as recipe.json into dir and reads them as a recipe. The
// reader's CliError is the expected way to refuse. Returns true when the
// recipe was accepted.
bool ReadAsRecipe(const std::string& dir, const uint8_t* data, size_t size);

} // namespace twfuzz
