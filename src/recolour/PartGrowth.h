#pragma once
// How a part was grown, kept beside the part so that its border can be decided
// again at another size and its seed carried to another picture. Painted parts
// have none. TPartGrower (masking/) makes it.

#include "colour/HSV.h"
#include "recolour/WalkerRules.h"

#include <QPoint>

struct TPartGrowth {
    QPoint Seed;               // working-size coordinates, inside the picture
    TColorValue SeedColor = 0; // the colour the walk compared with (its 3 x 3 average when the rules say so)
    TWalkerRules Rules;

    bool operator==(const TPartGrowth&) const = default;
};
