#pragma once
// The recoloured picture at the full picture's own size: every working-size
// part carried up with a border that follows the object (TCoverageCarrier) and
// blended over the full-size picture, in bands of rows on a pool of threads.
// Memory: the full-size input and output plus one part's working-size data and
// a coverage row per thread; no full-size bitmap per part.

#include "fullsize/CoverageCarrier.h"
#include "platform/Bitmap.h"
#include "recolour/PartGrowth.h"
#include "recolour/TintwellSettings.h"

#include <QRect>
#include <QSize>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// One part as the document keeps it.
struct TFullSizePart {
    const tw::Bitmap* Bitmap = nullptr; // working size; white is "not in the part"
    TTintwellSettings Settings;
    std::optional<TPartGrowth> Growth; // for grown parts, when known
};

struct TFullSizeOptions {
    int Threads = 0; // 0: one per processor core
    TBorderMethod Border = TBorderMethod::Guided;
    // Where a border pixel mixes the object with what lies beyond, recolour the
    // object's share: the pixel moved by what the transform does to the part's own
    // colour nearby, as far as that colour is known. Off: the transform of the
    // mixed pixel itself.
    bool Unmix = true;
    // The parts over this colour (an RGB32 word) instead of over the picture:
    // each part is blended over what lies below it as over a part below, so a
    // pixel comes out as coverage * recoloured + (1 - coverage) * background,
    // parts on parts likewise, and a pixel no part covers as the background.
    // The picture still decides the coverage and the recolouring. Not for
    // ComposeFullSizeRows.
    std::optional<uint32_t> Background;
    const std::atomic<bool>* Cancel = nullptr;
    // The fraction done, 0..1, called on the calling thread now and then.
    std::function<void(double)> OnProgress;
};

// One channel of coverage * over + (1 - coverage) * under with coverage c/255,
// rounded to nearest (the exact quotient is never a tie: 255 is odd).
inline uint32_t BlendChannel(uint32_t c, uint32_t over, uint32_t under) {
    return (c * over + (255 - c) * under + 127) / 255;
}

// Division rounded half up, for any sign of n (d > 0).
inline int32_t DivideRounded(int32_t n, int32_t d) {
    const int32_t twice = 2 * n + d;
    return twice >= 0 ? twice / (2 * d) : -((-twice + 2 * d - 1) / (2 * d));
}

// What a part makes of a mixed border pixel (RGB32 words) with coverage c/255
// over the picture itself: pixel moved by c times a shift. The shift is the
// one the transform gives the part's own colour nearby
// (transformedObject - object) with weight unmix/256, and the pixel's own
// (transformed - pixel) with the rest: unmixing recolours the object's share
// of the pixel as the object is recoloured, and where the object's colour is
// not known well the pixel is recoloured as it is. Each channel stays within
// the range of pixel and transformed and, when unmixing, of transformedObject
// and beyond (the picture's colour beyond the part nearby, when known: not 0):
// no colour comes out that is neither the picture's nor a recoloured one.
// c = 255 gives transformed, c = 0 the pixel.
inline uint32_t RecolourMixedPixel(uint32_t pixel, uint32_t transformed, uint32_t object,
                                   uint32_t transformedObject, uint32_t beyond, uint32_t c, int32_t unmix) {
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int32_t p = static_cast<int32_t>((pixel >> shift) & 0xFF);
        const int32_t t = static_cast<int32_t>((transformed >> shift) & 0xFF);
        const int32_t o = static_cast<int32_t>((object >> shift) & 0xFF);
        const int32_t to = static_cast<int32_t>((transformedObject >> shift) & 0xFF);
        const int32_t moved = unmix * (to - o) + (256 - unmix) * (t - p); // in 256ths
        int32_t v = p + DivideRounded(static_cast<int32_t>(c) * moved, 255 * 256);
        int32_t low = std::min(p, t), high = std::max(p, t);
        if (unmix > 0) {
            low = std::min(low, to), high = std::max(high, to);
            if (beyond) {
                const int32_t b = static_cast<int32_t>((beyond >> shift) & 0xFF);
                low = std::min(low, b), high = std::max(high, b);
            }
        }
        out |= static_cast<uint32_t>(std::clamp(v, low, high)) << shift;
    }
    return out;
}

// The picture with every part drawn over it, the first part on top, as the
// working-size save does, at fullPicture's size: per part and pixel
// coverage * recoloured + (1 - coverage) * what lies below, where recoloured is
// the transform of the pixel (in mixed border pixels the object's share
// recoloured, RecolourMixedPixel, when unmixing). Coverage 255 gives exactly
// the transform, 0 leaves the pixel, and a picture of the working size itself
// comes out as the working-size save.
// The parts have workingPicture's size, the one they were made on. Empty when
// cancelled; std::invalid_argument for parts of another size.
std::optional<tw::Bitmap> ComposeFullSize(const tw::Bitmap& fullPicture, const tw::Bitmap& workingPicture,
                                          const std::vector<TFullSizePart>& parts,
                                          const TFullSizeOptions& options = {});

// The same for callers that make their parts one at a time, so that memory does
// not grow with the number of parts: partAt(i, scratch) gives part i, its bitmap
// in scratch or elsewhere, alive until the next call. The last part is asked for
// first, each part once.
std::optional<tw::Bitmap>
ComposeFullSize(const tw::Bitmap& fullPicture, const tw::Bitmap& workingPicture, int partCount,
                const std::function<TFullSizePart(int index, tw::Bitmap& scratch)>& partAt,
                const TFullSizeOptions& options = {});

// Rectangle rect (within fullPicture) of what ComposeFullSize gives for the
// whole picture, bit for bit, with any number of threads: every full-size
// pixel's result depends on the working size's data and its own pixel only.
// Only the working-size data of each part and rect's pixels are worked out,
// so that a view can compose the tiles it shows, and an edit only the
// pixels it may change: FullSizeReach of a change of a part's working pixels,
// or the part's Bounds (TCoverageCarrier) for a change of its settings.
// Empty when cancelled; std::invalid_argument for parts of another size or a
// rectangle beyond the picture.
std::optional<tw::Bitmap> ComposeFullSizeRect(const tw::Bitmap& fullPicture, const tw::Bitmap& workingPicture,
                                              const std::vector<TFullSizePart>& parts, QRect rect,
                                              const TFullSizeOptions& options = {});
// The full-size pixels (of fullSize) whose result a change of a part's
// working pixels (of workingSize) within changed may alter; empty for an
// empty change.
inline QRect FullSizeReach(QSize fullSize, QSize workingSize, QRect changed) {
    return TCoverageCarrier::Reach(fullSize, workingSize, changed);
}

// The same result for a picture that is never held whole: its rows come from
// readRows and leave through writeRows, top to bottom, a band of rows at a
// time, while the next bands are read and composed on other threads. Reading
// starts at once and gets up to about 100 MB ahead while workingPicture()
// (called once, on the calling thread, and kept) is made; after that, only as
// far as the bands already written make room. writeRows is called on any of
// the threads, one call at a time, and OnProgress on the calling thread.
// Every part's working-size data is held at once (about PreparedPartBytes of
// it each); parts are asked for as above, on the calling thread. The Rules
// border is not available here, as it reads the rows around each row. false
// when cancelled;
// what readRows, partAt or writeRows throw is thrown again here once every
// thread has stopped.
using TReadRows = std::function<void(uint32_t* rows, ptrdiff_t strideWords, int count)>;
using TWriteRows = std::function<void(const uint32_t* rows, ptrdiff_t strideWords, int count)>;
bool ComposeFullSizeRows(QSize fullSize, const std::function<const tw::Bitmap&()>& workingPicture,
                         int partCount,
                         const std::function<TFullSizePart(int index, tw::Bitmap& scratch)>& partAt,
                         const TReadRows& readRows, const TWriteRows& writeRows,
                         const TFullSizeOptions& options = {});
// What ComposeFullSizeRows holds for each part of a picture of workingSize.
size_t PreparedPartBytes(QSize workingSize);
