#pragma once
// "Match colour": a part's reference colour is taken to a goal colour in CIE
// L*a*b*, and every other pixel keeps how it differs from the reference — its
// lightness offset (folds, weave, shading) and its a*b* deviation, turned with
// the hue and scaled with the chroma. Offsets that would run past black or
// white are compressed smoothly, and colours outside sRGB are brought in by
// lowering their chroma, never by clipping a channel, so highlights and
// shadows keep their detail. It works from grey, black and white too.
//
// The map is tabulated on a 33 x 33 x 33 grid of RGB values and interpolated
// between the four grid points of the tetrahedron around a colour, in integers:
// the same result on every machine and for any number of threads, and fast
// enough for the full-size pictures.

#include "colour/HSV.h"
#include "colour/Lab.h"
#include "platform/Bitmap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TColourMatch {
  public:
    // The grid points per axis.
    static constexpr int kGrid = 33;

    // from: the reference colour; goal: where it is to go (both in the
    // picture's own values).
    TColourMatch(TColorValue from, TColorValue goal);

    // The shared table for this pair, made once while it is in use.
    static std::shared_ptr<const TColourMatch> For(TColorValue from, TColorValue goal);

    // The map computed exactly, in doubles: what the table holds at its grid points.
    TColorValue Exact(TColorValue color) const;
    // The tabulated map on a raw RGB32 word; never white (white means "not in the part").
    uint32_t TransformRgb32(uint32_t rgb32) const {
        const size_t r = (rgb32 >> 16) & 0xFF, g = (rgb32 >> 8) & 0xFF, b = rgb32 & 0xFF;
        // The grid cell below v * 32 / 255 and the fraction into it.
        const float f[3] = {kFraction[r], kFraction[g], kFraction[b]};
        const TNode* c000 = &nodes_[static_cast<size_t>((kCell[r] * kGrid + kCell[g]) * kGrid + kCell[b])];
        // The tetrahedron that holds the point: its edges go along the axes in
        // the order of the fractions, largest first.
        const TOrder& o = kOrder[(f[0] >= f[1] ? 1 : 0) | (f[1] >= f[2] ? 2 : 0) | (f[0] >= f[2] ? 4 : 0)];
        const TNode* ca = c000 + o.Stride[0];
        const TNode* cb = ca + o.Stride[1];
        const TNode* c111 = c000 + kStrideAll;
        const float w0 = f[o.Axis[0]], w1 = f[o.Axis[1]], w2 = f[o.Axis[2]];
        // The four corners weighted, for the three channels at once; single
        // precision in a fixed order, the same everywhere.
        const TLanes v =
            c000->Value * (1 - w0) + ca->Value * (w0 - w1) + cb->Value * (w1 - w2) + c111->Value * w2;
        uint32_t out = 0xFF000000u;
        for (int k = 0; k < 3; ++k)
            out |= static_cast<uint32_t>(static_cast<int>(v[k] + 0.5f)) << (16 - 8 * k);
        return out == 0xFFFFFFFFu ? 0xFFFEFFFFu : out;
    }
    TColorValue TransformColor(TColorValue color) const {
        return tw::ColorFromRgb32(TransformRgb32(tw::Rgb32FromColor(color)));
    }

    TColorValue From() const { return from_; }
    TColorValue Goal() const { return goal_; }

  private:
    // Which axes the edges of a tetrahedron follow (0 red, 1 green, 2 blue)
    // and how far each first two steps go in the table.
    struct TOrder {
        int Axis[3];
        ptrdiff_t Stride[2];
    };
    // A grid point's colour: R, G, B (0..255, not rounded) and a spare lane.
    using TLanes = float __attribute__((vector_size(16)));
    struct TNode {
        TLanes Value;
    };
    static constexpr ptrdiff_t kStrideAll = kGrid * kGrid + kGrid + 1;
    TLab Map(const TLab& lab) const;

    static const std::array<int, 256> kCell;
    static const std::array<float, 256> kFraction;
    static const std::array<TOrder, 8> kOrder;

    TColorValue from_, goal_;
    TLab reference_, target_;
    double cos_ = 1, sin_ = 0, scale_ = 1;
    std::vector<TNode> nodes_; // kGrid^3, R fastest-changing last
};

// A part's reference colour: the per-coordinate median, in L*a*b*, of the
// picture's pixels the part holds (anything not white in the part bitmap).
// White when the part holds none.
TColorValue PartReferenceColour(const tw::Bitmap& picture, const tw::Bitmap& part);
