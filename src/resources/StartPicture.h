#pragma once

#include "platform/Bitmap.h"

namespace tw {

// The 400 x 400 picture Tintwell starts with, embedded in the program.
Bitmap StartPicture();

} // namespace tw
