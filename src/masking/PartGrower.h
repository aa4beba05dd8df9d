#pragma once
// The one way to grow a part from a seed: the mask dialog's walk on its own
// thread, the document's and the batch tool's here and now. And what depends
// on how the walker judges colours.

#include "masking/BitmapWalkerThread.h"
#include "platform/Bitmap.h"
#include "recolour/PartGrowth.h"
#include "recolour/TintwellSettings.h"
#include "recolour/WalkerRules.h"

#include <QPoint>

#include <cstdint>
#include <functional>
#include <string>

namespace tw {
class Thread;
}

// A part grown to its end: white outside, the picture's pixels recoloured
// inside; and how it was grown.
struct TGrownPart {
    tw::Bitmap Mask;
    TPartGrowth Growth;
};

class TPartGrower {
  public:
    // Where nobody watches the walk, a report only empties the paint batch.
    static constexpr int32_t kUnwatchedProgressInterval = 1000;

    // A walk from seed over picture under rules, recolouring what it takes
    // with settings and reporting every progressInterval accepted pixels. The
    // seed is clamped and its colour sampled here, once (Growth()). picture
    // must stay alive and unchanged while the grower or a walk it started reads it.
    TPartGrower(const tw::Bitmap& picture, QPoint seed, const TWalkerRules& rules,
                const TTintwellSettings& settings, int32_t progressInterval = kUnwatchedProgressInterval);

    const TPartGrowth& Growth() const { return growth_; }

    // Grows the part to its end right here, on the GUI thread, the walker's
    // synchronised calls inline (the document and the batch tool: handing them
    // over to another thread costs more than the walk). What the walk throws is
    // thrown again: a part cut short is never returned.
    TGrownPart Grow() const;

    // Starts the walk on its own thread at idle priority, painting into mask (the
    // picture's size, white). onProgress runs on the GUI thread at every report
    // and once at the end, onEnd once the walk has ended, stopped or failed;
    // then the walker frees itself. mask must stay alive until onEnd. The
    // walker is returned to stop it (Terminate) and to know it in onEnd.
    TBitmapWalkerThread* Start(tw::Bitmap& mask, std::function<void(TBitmapWalkerThread*)> onProgress,
                               std::function<void(tw::Thread*)> onEnd) const;

    // The mask dialog's preview at zoom is brought up to date every 1000 / zoom
    // accepted pixels (rounded, at least one): about as many screen pixels at any zoom.
    static int32_t ProgressIntervalForZoom(double zoom);
    // The seed inside the picture: the nearest pixel of it.
    static QPoint ClampSeed(const tw::Bitmap& picture, QPoint seed);
    // What a walk from seed over picture compares with: the seed clamped, its
    // colour read there plainly or 3 x 3 averaged as the rules say.
    static TPartGrowth GrowthAt(const tw::Bitmap& picture, QPoint seed, const TWalkerRules& rules);

  private:
    const tw::Bitmap& picture_;
    TTintwellSettings settings_;
    int32_t progressInterval_;
    TPartGrowth growth_;
};

// The part growth makes on picture, recoloured with settings: its first grow,
// then each step's region joined into the part or taken out, every grow from
// its own seed under its own rules. What a walk throws is thrown again.
TGrownPart GrowSteps(const tw::Bitmap& picture, const TPartGrowth& growth, const TTintwellSettings& settings);

// Whether a walk from seed over picture would start on a colour like the one
// growth recorded, by the walker's own test under growth's rules (the seed
// read as the walk reads it, 3 x 3 averaged when the rules say so; a
// neighbour walk is judged against the recorded colour too). Empty when it
// would, else "the seed lands on (r,g,b), not on a colour like (r,g,b)".
std::string SeedColorMismatch(const tw::Bitmap& picture, QPoint seed, const TPartGrowth& growth);
