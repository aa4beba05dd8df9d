#pragma once
// How a part was grown, kept beside the part so that its border can be decided
// again at another size and its seeds carried to another picture. Painted parts
// have none. TPartGrower (masking/) makes it.

#include "colour/HSV.h"
#include "recolour/WalkerRules.h"

#include <QPoint>

#include <vector>

// A grow after a part's first: its region joined into the part ("Add to
// current part") or taken out of it ("Remove from current part").
struct TGrowthStep {
    QPoint Seed;               // working-size coordinates, inside the picture
    TColorValue SeedColor = 0; // as TPartGrowth's
    TWalkerRules Rules;
    bool Remove = false;

    bool operator==(const TGrowthStep&) const = default;
};

// The steps of a part's growth: the first grow, then the others in order.
struct TPartGrowth {
    QPoint Seed;               // working-size coordinates, inside the picture
    TColorValue SeedColor = 0; // the colour the walk compared with (its 3 x 3 average when the rules say so)
    TWalkerRules Rules;
    std::vector<TGrowthStep> Then = {};

    bool operator==(const TPartGrowth&) const = default;

    // The steps as the grows they are, the first one first (Remove false).
    std::vector<TGrowthStep> Steps() const {
        std::vector<TGrowthStep> steps{{Seed, SeedColor, Rules, false}};
        steps.insert(steps.end(), Then.begin(), Then.end());
        return steps;
    }
    // The growth of one step on its own.
    static TPartGrowth Of(const TGrowthStep& step) { return {step.Seed, step.SeedColor, step.Rules, {}}; }
};
