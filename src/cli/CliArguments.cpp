#include "cli/CliArguments.h"

#include "cli/CliError.h"
#include "colour/HexColour.h"

#include <charconv>
#include <limits>

namespace cli {

std::string ArgReader::Next() {
    const std::string& arg = args_.at(next_++);
    isFlag_ = arg.size() > 1 && arg[0] == '-';
    hasInlineValue_ = false;
    flag_ = arg;
    const auto eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
        flag_ = arg.substr(0, eq);
        inlineValue_ = arg.substr(eq + 1);
        hasInlineValue_ = true;
    }
    return flag_;
}

std::string ArgReader::Value() {
    if (hasInlineValue_) {
        hasInlineValue_ = false;
        return inlineValue_;
    }
    if (AtEnd()) FailUsage(flag_ + " needs a value");
    return args_[next_++];
}

void ArgReader::NoValue() {
    if (hasInlineValue_) FailUsage(flag_ + " takes no value");
}

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

bool ParseWholeNumber(const std::string& text, int64_t& value) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (first == last) return false;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (end != last) return false;
    if (ec == std::errc::result_out_of_range) {
        value = text[0] == '-' ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
        return true;
    }
    return ec == std::errc();
}

int32_t ParseNumber(const std::string& flag, const std::string& text, int32_t min, int32_t max,
                    const std::string& expected) {
    int64_t value = 0;
    if (!ParseWholeNumber(text, value)) FailUsage(flag + " expects " + expected + ", not " + Quoted(text));
    if (value < min || value > max)
        FailInput(flag + " " + text + " is out of range (" + std::to_string(min) + " to " +
                  std::to_string(max) + ")");
    return static_cast<int32_t>(value);
}

namespace {

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        items.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return items;
        start = comma + 1;
    }
}

} // namespace

QPoint ParsePoint(const std::string& flag, const std::string& text) {
    const auto items = SplitCommas(text);
    int64_t x = 0, y = 0;
    if (items.size() != 2 || !ParseWholeNumber(items[0], x) || !ParseWholeNumber(items[1], y))
        FailUsage(flag + " expects X,Y (two whole numbers), not " + Quoted(text));
    constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
    if (x < -kLimit || x > kLimit || y < -kLimit || y > kLimit)
        FailInput(flag + " " + text + " is out of range");
    return QPoint(static_cast<int>(x), static_cast<int>(y));
}

TColorValue ParseColor(const std::string& flag, const std::string& text) {
    const auto items = SplitCommas(text);
    int64_t c[3] = {};
    if (items.size() != 3 || !ParseWholeNumber(items[0], c[0]) || !ParseWholeNumber(items[1], c[1]) ||
        !ParseWholeNumber(items[2], c[2]))
        FailUsage(flag + " expects R,G,B (three whole numbers), not " + Quoted(text));
    for (int64_t v : c)
        if (v < 0 || v > 255) FailInput(flag + " " + text + " is out of range (each channel 0 to 255)");
    return RGBToColor(static_cast<int32_t>(c[0]), static_cast<int32_t>(c[1]), static_cast<int32_t>(c[2]));
}

TGivenColour ParseGivenColour(const std::string& flag, const std::string& text) {
    // "#RRGGBB" is a colour stated in sRGB; R,G,B the picture's own values.
    if (!text.empty() && text.front() == '#') {
        if (const std::optional<TColorValue> colour = ParseHexColour(text)) return {*colour, true};
        FailUsage(flag + " expects R,G,B or #RRGGBB, not " + Quoted(text));
    }
    if (SplitCommas(text).size() != 3) FailUsage(flag + " expects R,G,B or #RRGGBB, not " + Quoted(text));
    return {ParseColor(flag, text), false};
}

bool IsSettingsFlag(const std::string& flag) {
    return flag == "--change" || flag == "--shift" || flag == "--keep" || flag == "--match" ||
           flag == "--match-from" || flag == "--saturation-tint" || flag == "--value-tint" ||
           flag == "--avoid-singularities";
}

namespace {

// A hue mode after --match overrides it, and the --match-from that went with it.
void LeaveMatch(TTintwellSettings& s) {
    if (s.MatchColour) s.From.reset();
    s.MatchColour = false;
}

} // namespace

void ApplySettingsFlag(const std::string& flag, ArgReader& args, TTintwellSettings& s) {
    // The last hue mode given counts, as the mode buttons would.
    if (flag == "--change" || flag == "--shift") {
        s.Hue = ParseNumber(flag, args.Value(), 0, 360);
        s.ShiftHue = flag == "--shift";
        s.KeepHue = false;
        LeaveMatch(s);
    } else if (flag == "--keep") {
        args.NoValue();
        s.KeepHue = true;
        s.ShiftHue = false;
        LeaveMatch(s);
    } else if (flag == "--match") {
        s.Goal = ParseGivenColour(flag, args.Value());
        s.MatchColour = true;
    } else if (flag == "--match-from") {
        s.From = ParseGivenColour(flag, args.Value());
    } else if (flag == "--saturation-tint") {
        s.SaturationTint = ParseNumber(flag, args.Value(), -400, 400);
    } else if (flag == "--value-tint") {
        s.ValueTint = ParseNumber(flag, args.Value(), -400, 400);
    } else if (flag == "--avoid-singularities") {
        args.NoValue();
        s.AvoidSingularities = true;
    }
}

void FinishSettings(TTintwellSettings& s) {
    if (!s.MatchColour) {
        if (s.From) FailUsage("--match-from goes with --match");
        return;
    }
    // Match colour sets every coordinate: a tint on top of it would be a second, conflicting say.
    if (s.SaturationTint != 0) FailUsage("--saturation-tint does not go with --match");
    if (s.ValueTint != 0) FailUsage("--value-tint does not go with --match");
    if (s.AvoidSingularities) FailUsage("--avoid-singularities does not go with --match");
    s = TTintwellSettings::Match(s.Goal, s.From);
}

bool IsRuleFlag(const std::string& flag) {
    return flag == "--hue" || flag == "--saturation" || flag == "--value" || flag == "--neighbour" ||
           flag == "--average9" || flag == "--anywhere" || flag == "--fill-holes";
}

void ApplyRuleFlag(const std::string& flag, ArgReader& args, TWalkerRules& r) {
    const auto deviation = [&](bool& use, int32_t& percent) {
        const std::string text = args.Value();
        use = text != "off";
        if (use) percent = ParseNumber(flag, text, 0, 100, "a percentage or \"off\"");
    };
    if (flag == "--hue") {
        deviation(r.UseHue, r.HueDeviation);
    } else if (flag == "--saturation") {
        deviation(r.UseSaturation, r.SaturationDeviation);
    } else if (flag == "--value") {
        deviation(r.UseValue, r.ValueDeviation);
    } else if (flag == "--neighbour") {
        args.NoValue();
        r.CompareToNeighbour = true;
    } else if (flag == "--average9") {
        args.NoValue();
        r.NineValueAverage = true;
    } else if (flag == "--anywhere") {
        args.NoValue();
        r.Anywhere = true;
    } else if (flag == "--fill-holes") {
        r.FillHoles = ParseNumber(flag, args.Value(), 0, TWalkerRules::kMaxFillHoles, "a number of pixels");
    }
}

void FinishRules(const TWalkerRules& r) {
    // Pixels away from the region can only be judged against the seed.
    if (r.Anywhere && r.CompareToNeighbour)
        FailUsage("--anywhere does not go with --neighbour: the whole picture is compared to the seed");
}

bool TakeResultOption(const std::string& flag, ArgReader& args, bool& stripMetadata, int& quality) {
    if (flag == "--strip-metadata") {
        args.NoValue();
        stripMetadata = true;
    } else if (flag == "--quality") {
        quality = ParseNumber(flag, args.Value(), 1, 100);
    } else {
        return false;
    }
    return true;
}

std::string FormatSettings(const TTintwellSettings& s) {
    std::string text = s.KeepHue    ? "--keep"
                       : s.ShiftHue ? "--shift " + std::to_string(s.Hue)
                                    : "--change " + std::to_string(s.Hue);
    text += " --saturation-tint " + std::to_string(s.SaturationTint);
    text += " --value-tint " + std::to_string(s.ValueTint);
    if (s.AvoidSingularities) text += " --avoid-singularities";
    return text;
}

} // namespace cli
