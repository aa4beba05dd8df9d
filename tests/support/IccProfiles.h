#pragma once
// ICC profiles made with lcms2 for the tests: no profile files are shipped.

#include <QByteArray>

namespace twtest {

// A wide-gamut RGB profile: D65 white, primaries (0.64, 0.33), (0.21, 0.71),
// (0.15, 0.06) and a pure 563/256 gamma.
QByteArray WideGamutProfile();
// lcms2's own sRGB profile.
QByteArray SrgbProfile();

} // namespace twtest
