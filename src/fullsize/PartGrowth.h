#pragma once
// How a part was grown, kept beside the part so that its border can be decided
// again at another size. Painted parts have none.

#include "colour/HSV.h"
#include "masking/BitmapWalkerThread.h"
#include "platform/Bitmap.h"

#include <QPoint>

struct TPartGrowth {
    QPoint Seed;               // working-size coordinates
    TColorValue SeedColor = 0; // the colour the walk compared with (its 3 x 3 average when the rules say so)
    TWalkerRules Rules;

    bool operator==(const TPartGrowth&) const = default;

    // What a walk from seed over the working picture compares with.
    static TPartGrowth FromWalk(const tw::Bitmap& workingPicture, QPoint seed, const TWalkerRules& rules);
};
