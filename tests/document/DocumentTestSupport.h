#pragma once
// Snapshots of a document for exact comparisons, and parts to work with.

#include "document/TintwellDocument.h"

#include <QImage>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace twtest {

struct TPartSnapshot {
    const TImagePart* Object = nullptr;
    QImage Bitmap;
    TTintwellSettings Settings;
    int32_t AnchorX = 0, AnchorY = 0;
    std::optional<TPartGrowth> Growth;
};

struct TDocumentSnapshot {
    QImage Picture;
    std::vector<TPartSnapshot> Parts;
    TSelectionState Selection;
};

TDocumentSnapshot Snapshot(const TTintwellDocument& doc);
// Bit for bit: picture, every part's bitmap, settings, anchor and growth; with
// identity, also which objects the parts are and the selection.
::testing::AssertionResult Same(const TDocumentSnapshot& a, const TDocumentSnapshot& b, bool identity = true);

// A grown-looking part: white outside the rectangle, the picture recoloured inside.
tw::Bitmap RectPart(const tw::Bitmap& picture, const QRect& rect, const TTintwellSettings& settings);

} // namespace twtest
