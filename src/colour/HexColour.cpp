#include "colour/HexColour.h"

std::string HexColour(TColorValue colour) {
    const TRGBValues c = ColorToRGBValues(colour & 0xFFFFFF);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "#";
    for (const int v : {c.R, c.G, c.B}) {
        text += kDigits[(v >> 4) & 15];
        text += kDigits[v & 15];
    }
    return text;
}

std::optional<TColorValue> ParseHexColour(std::string_view text) {
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    if (text.size() != 6) return std::nullopt;
    int value[6];
    for (size_t i = 0; i < 6; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            value[i] = c - '0';
        else if (c >= 'a' && c <= 'f')
            value[i] = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value[i] = c - 'A' + 10;
        else
            return std::nullopt;
    }
    return RGBToColor(value[0] * 16 + value[1], value[2] * 16 + value[3], value[4] * 16 + value[5]);
}
