// libFuzzer target: photo files (TIFF, WebP, HEIC, AVIF, and JPEG and PNG for
// their metadata) through tw::DecodePicture with the metadata read, and the
// metadata written into results. Anything but a PictureError escapes and is
// reported.

#include "FuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    twfuzz::DecodeAsPhoto(data, size);
    return 0;
}
