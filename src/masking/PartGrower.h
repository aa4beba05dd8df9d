#pragma once
// The one way to grow a part from a seed, and what depends on how the walker
// judges colours.

#include "platform/Bitmap.h"
#include "recolour/PartGrowth.h"
#include "recolour/WalkerRules.h"

#include <QPoint>

#include <string>

class TPartGrower {
  public:
    // What a walk from seed over picture compares with: the seed clamped into
    // the picture (a click on the last zoomed column can round one pixel past
    // the edge), its colour read there plainly or 3 x 3 averaged as the rules say.
    static TPartGrowth GrowthAt(const tw::Bitmap& picture, QPoint seed, const TWalkerRules& rules);
};

// Whether a walk from seed over picture would start on a colour like the one
// growth recorded, by the walker's own test under growth's rules (the seed
// read as the walk reads it, 3 x 3 averaged when the rules say so; a
// neighbour walk is judged against the recorded colour too). Empty when it
// would, else "the seed lands on (r,g,b), not on a colour like (r,g,b)".
std::string SeedColorMismatch(const tw::Bitmap& picture, QPoint seed, const TPartGrowth& growth);
