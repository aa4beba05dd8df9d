#pragma once
// Reading the command line: flags with their values, strict numbers, and the
// settings and rule flags shared by several commands.

#include "colour/HSV.h"
#include "recolour/TintwellSettings.h"
#include "recolour/WalkerRules.h"

#include <QPoint>

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// Walks the arguments of one command. A flag's value is either the next
// argument or the part after "=" ("--hue=10").
class ArgReader {
  public:
    explicit ArgReader(std::vector<std::string> args) : args_(std::move(args)) {}

    bool AtEnd() const { return next_ >= args_.size(); }
    // The next argument; for "--flag=value" only the flag, keeping the value for Value().
    std::string Next();
    // Whether the argument just read is a flag rather than a plain word.
    bool IsFlag() const { return isFlag_; }
    // The value of the flag just read.
    std::string Value();
    // Refuses a "=value" on a flag that takes none.
    void NoValue();

  private:
    std::vector<std::string> args_;
    size_t next_ = 0;
    std::string flag_;
    std::string inlineValue_;
    bool hasInlineValue_ = false;
    bool isFlag_ = false;
};

// Whether the whole text is a number written plainly (optional minus, digits);
// values beyond 64 bits come back clamped, which every range check refuses.
bool ParseWholeNumber(const std::string& text, int64_t& value);
// A whole number written plainly (optional minus, digits). Bad syntax is a
// usage error naming the flag; a number outside min..max is bad input.
int32_t ParseNumber(const std::string& flag, const std::string& text, int32_t min, int32_t max,
                    const std::string& expected = "a whole number");
// "X,Y"; the position is checked against the picture later.
QPoint ParsePoint(const std::string& flag, const std::string& text);
// "R,G,B" with every channel 0..255, as a colour value.
TColorValue ParseColor(const std::string& flag, const std::string& text);

// Settings flags: --change H, --shift H, --keep, --match COLOUR,
// --match-from COLOUR, --saturation-tint N, --value-tint N, --avoid-singularities.
bool IsSettingsFlag(const std::string& flag);
void ApplySettingsFlag(const std::string& flag, ArgReader& args, TTintwellSettings& settings);
// Once a part's flags are read: Match colour with a tint, or --match-from
// without --match, is a usage error; the last hue mode given counts.
void FinishSettings(TTintwellSettings& settings);
// R,G,B (the picture's own values) or #RRGGBB (stated in sRGB).
TGivenColour ParseGivenColour(const std::string& flag, const std::string& text);
// Rule flags: --hue, --saturation, --value (P or "off"), --neighbour, --average9,
// --anywhere, --fill-holes N.
bool IsRuleFlag(const std::string& flag);
void ApplyRuleFlag(const std::string& flag, ArgReader& args, TWalkerRules& rules);
// Once a part's flags are read: --anywhere with --neighbour is a usage error.
void FinishRules(const TWalkerRules& rules);

// How a result is written: --strip-metadata, --quality N (1..100). false for any other flag.
bool TakeResultOption(const std::string& flag, ArgReader& args, bool& stripMetadata, int& quality);

// The settings written as the flags that give them back.
std::string FormatSettings(const TTintwellSettings& settings);

} // namespace cli
