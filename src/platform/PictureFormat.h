#pragma once

namespace tw {

// The kinds of picture file, named by their extensions. Heif (.heic, .heif,
// .avif) is read only.
enum class PictureFormat { Unknown, Bmp, Jpeg, Ico, Png, Emf, Wmf, Tiff, Webp, Heif };

} // namespace tw
