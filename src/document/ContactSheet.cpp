#include "document/ContactSheet.h"

#include "colour/HexColour.h"
#include "platform/Rounding.h"
#include "platform/TinyFont.h"

#include <algorithm>

namespace {

constexpr int kMargin = 10;
constexpr int kCellWidth = (kContactSheetWidth - (kContactSheetColumns + 1) * kMargin) / kContactSheetColumns;
constexpr int kScale = 2; // the font's pixels, twice over: legible at a glance
constexpr int kLine = tw::kTinyHeight * kScale + 6;
constexpr tw::ColorValue kInk = 0x202020, kFrame = 0xB0B0B0;

// The text cut to the width, with ".." where it was cut.
std::string Fitted(const std::string& text, int width) {
    if (tw::TinyTextWidth(text, kScale) <= width) return text;
    std::string cut = text;
    while (!cut.empty() && tw::TinyTextWidth(cut + "..", kScale) > width)
        cut.pop_back();
    return cut + "..";
}

} // namespace

tw::Bitmap ContactThumbnail(const tw::Bitmap& picture) {
    if (picture.IsEmpty()) return {};
    const int height =
        std::max(1, Round(static_cast<double>(picture.Height()) * kCellWidth / picture.Width()));
    tw::Bitmap thumbnail(kCellWidth, height);
    thumbnail.StretchHalftone(thumbnail.Rect(), picture, picture.Rect());
    return thumbnail;
}

tw::Bitmap ComposeContactSheet(const std::vector<TContactEntry>& entries) {
    const int columns = std::clamp(static_cast<int>(entries.size()), 1, kContactSheetColumns);
    const int rows = std::max(1, (static_cast<int>(entries.size()) + columns - 1) / columns);
    // Every row as high as its tallest picture.
    std::vector<int> rowHeight(static_cast<size_t>(rows), 0);
    for (size_t i = 0; i < entries.size(); ++i)
        rowHeight[i / static_cast<size_t>(columns)] =
            std::max(rowHeight[i / static_cast<size_t>(columns)], entries[i].Thumbnail.Height());
    int height = kMargin;
    for (const int h : rowHeight)
        height += h + 2 * kLine + kMargin;
    const int width = kMargin + columns * (kCellWidth + kMargin);
    tw::Bitmap sheet(width, height, tw::kWhite);
    int top = kMargin;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const size_t i = static_cast<size_t>(row * columns + column);
            if (i >= entries.size()) break;
            const TContactEntry& entry = entries[i];
            const int left = kMargin + column * (kCellWidth + kMargin);
            const tw::Bitmap& picture = entry.Thumbnail;
            sheet.CopyRect(left, top, picture, picture.Rect());
            int y = top + rowHeight[static_cast<size_t>(row)] + 4;
            tw::DrawTinyText(sheet, left, y, Fitted(entry.Name, kCellWidth), kInk, kScale);
            if (entry.Colour) {
                y += kLine;
                const int side = tw::kTinyHeight * kScale;
                sheet.FillRect(QRect(left, y, side, side), kFrame);
                sheet.FillRect(QRect(left + 1, y + 1, side - 2, side - 2), *entry.Colour);
                tw::DrawTinyText(sheet, left + side + 6, y, HexColour(*entry.Colour), kInk, kScale);
            }
        }
        top += rowHeight[static_cast<size_t>(row)] + 2 * kLine + kMargin;
    }
    return sheet;
}
