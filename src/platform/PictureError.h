#pragma once

#include <stdexcept>
#include <string>

namespace tw {

// A picture file could not be read or written. The message names the file and
// the reason, ready to show to the user: "cannot read photo.jpg: not a JPEG file".
class PictureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Decoded pictures are refused beyond these limits, before anything big is allocated.
inline constexpr long long kMaxPicturePixels = 256LL * 1024 * 1024;
inline constexpr int kMaxPictureSide = 65535;

} // namespace tw
