#pragma once
// How a part was grown, kept beside the part so that its border can be decided
// again at another size. Painted parts have none.

#include "colour/HSV.h"
#include "masking/BitmapWalkerThread.h"
#include "platform/Bitmap.h"

#include <QPoint>

#include <string>

struct TPartGrowth {
    QPoint Seed;               // working-size coordinates
    TColorValue SeedColor = 0; // the colour the walk compared with (its 3 x 3 average when the rules say so)
    TWalkerRules Rules;

    bool operator==(const TPartGrowth&) const = default;

    // What a walk from seed over the working picture compares with.
    static TPartGrowth FromWalk(const tw::Bitmap& workingPicture, QPoint seed, const TWalkerRules& rules);
};

// Whether a walk from seed over picture would start on a colour like the one
// growth recorded, by the walker's own test under growth's rules (the seed
// read as the walk reads it, 3 x 3 averaged when the rules say so; a
// neighbour walk is judged against the recorded colour too). Empty when it
// would, else "the seed lands on (r,g,b), not on a colour like (r,g,b)".
std::string SeedColorMismatch(const tw::Bitmap& picture, QPoint seed, const TPartGrowth& growth);
