#pragma once
// The strict reading shared by recipes and project files: every key known,
// every value of the right type and within range, or an error that names the
// file and the key ("job.json: parts[1].rules: unknown key \"hu\"").

#include "recolour/TintwellSettings.h"
#include "recolour/WalkerRules.h"

#include <QJsonObject>
#include <QJsonValue>

#include <initializer_list>
#include <stdexcept>
#include <string>

// A file that is not what it should be; the message is one line for the user.
class TJsonFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TStrictJson {
  public:
    // fileLabel: how the file is named in messages.
    explicit TStrictJson(std::string fileLabel) : file_(std::move(fileLabel)) {}

    // The file's JSON object: unreadable, too large, malformed (with line and column) or not an object fails.
    static QJsonObject ReadObject(const std::string& path, int64_t maxBytes, const std::string& tooLarge);

    [[noreturn]] void Fail(const std::string& where, const std::string& what) const;
    static std::string Join(const std::string& where, const std::string& key);

    void CheckKeys(const QJsonObject& object, const std::string& where,
                   std::initializer_list<const char*> known) const;
    QJsonObject Object(const QJsonValue& v, const std::string& where) const;
    bool Boolean(const QJsonValue& v, const std::string& where) const;
    // A non-empty string.
    std::string Text(const QJsonValue& v, const std::string& where) const;
    int32_t Number(const QJsonValue& v, const std::string& where, int32_t min, int32_t max) const;
    // [x, y] with whole numbers.
    QPoint Point(const QJsonValue& v, const std::string& where) const;

    // A colour: "#rrggbb" (stated in sRGB) or [r, g, b] (the picture's own values).
    TGivenColour Colour(const QJsonValue& v, const std::string& where) const;
    static QJsonValue ColourJson(const TGivenColour& colour);

    // Missing keys take the defaults.
    TWalkerRules Rules(const QJsonValue& value, const std::string& where) const;
    TTintwellSettings Settings(const QJsonValue& value, const std::string& where) const;
    // Written so that Rules and Settings read them back unchanged.
    static QJsonObject RulesJson(const TWalkerRules& rules);
    static QJsonObject SettingsJson(const TTintwellSettings& settings);

  private:
    std::string file_;
};
