// Contact sheets: at most four variants to a row and 800 pixels across, each
// with its name and colour under it.

#include "document/ContactSheet.h"

#include "colour/HexColour.h"

#include <gtest/gtest.h>

namespace {

int InkIn(const tw::Bitmap& sheet, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += sheet.Pixel(x, y) == 0x202020;
    return n;
}

} // namespace

TEST(ContactSheet, FourToARowWithNameAndColourUnderEach) {
    const tw::Bitmap photo(400, 300, 0x3366AA);
    std::vector<TContactEntry> entries;
    for (const char* name : {"navy", "cement", "green", "red", "ochre"})
        entries.push_back({name, 0x442A1F, ContactThumbnail(photo)});
    entries.back().Colour.reset();
    const tw::Bitmap sheet = ComposeContactSheet(entries);
    EXPECT_LE(sheet.Width(), kContactSheetWidth);
    const tw::Bitmap& thumb = entries[0].Thumbnail;
    EXPECT_NEAR(thumb.Height() * 4, thumb.Width() * 3, 4) << "the picture's shape kept";
    // The fifth starts a second row, under the first.
    EXPECT_EQ(sheet.Pixel(12, 12), 0x3366AAu);
    const int secondRow = sheet.Height() / 2 + 12;
    EXPECT_EQ(sheet.Pixel(12, secondRow), 0x3366AAu);
    EXPECT_EQ(sheet.Pixel(sheet.Width() / 2 - 100, secondRow), tw::kWhite) << "nothing beside the fifth";
    // Under each picture its name, and under that the swatch and #rrggbb, but for the one without a colour.
    const QRect firstLabels(10, 10 + thumb.Height() + 4, thumb.Width(), 40);
    EXPECT_GT(InkIn(sheet, firstLabels), 50);
    EXPECT_EQ(sheet.Pixel(12, 10 + thumb.Height() + 26), 0x442A1Fu) << "the swatch";
    EXPECT_EQ(HexColour(0x442A1F), "#1f2a44");
    EXPECT_EQ(sheet.Pixel(12, sheet.Height() / 2 + 10 + thumb.Height() + 26), tw::kWhite) << "no swatch";
}
