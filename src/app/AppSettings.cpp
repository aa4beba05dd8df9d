#include "app/AppSettings.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace {

QString DefaultFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tintwell/tintwell.conf");
}

// A path as the recent-files list keeps it: absolute and clean, so that one
// file is listed once however it was reached.
QString ListedPath(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

TAppSettings::TAppSettings(const QString& fileName)
    : store_(
          std::make_unique<QSettings>(fileName.isEmpty() ? DefaultFile() : fileName, QSettings::IniFormat)) {}

TAppSettings::~TAppSettings() = default;

QByteArray TAppSettings::WindowGeometry() const {
    return store_->value(QStringLiteral("window/geometry")).toByteArray();
}

void TAppSettings::SetWindowGeometry(const QByteArray& geometry) {
    store_->setValue(QStringLiteral("window/geometry"), geometry);
}

bool TAppSettings::ShowAllParts() const {
    return store_->value(QStringLiteral("view/showAllParts"), true).toBool();
}

void TAppSettings::SetShowAllParts(bool on) {
    store_->setValue(QStringLiteral("view/showAllParts"), on);
}

bool TAppSettings::KeepMetadata() const {
    return store_->value(QStringLiteral("files/keepMetadata"), true).toBool();
}

void TAppSettings::SetKeepMetadata(bool on) {
    store_->setValue(QStringLiteral("files/keepMetadata"), on);
}

TWalkerRules TAppSettings::MaskRules() const {
    const TWalkerRules d = TWalkerRules::Default();
    const auto flag = [this](const char* key, bool fallback) {
        return store_->value(QStringLiteral("mask/") + QLatin1String(key), fallback).toBool();
    };
    // A damaged or hand-edited file must not put a track bar out of its range.
    const auto percent = [this](const char* key, int fallback) {
        bool ok = false;
        const int v = store_->value(QStringLiteral("mask/") + QLatin1String(key), fallback).toInt(&ok);
        return ok ? std::clamp(v, 0, 100) : fallback;
    };
    TWalkerRules rules;
    rules.UseHue = flag("useHue", d.UseHue);
    rules.UseSaturation = flag("useSaturation", d.UseSaturation);
    rules.UseValue = flag("useValue", d.UseValue);
    rules.HueDeviation = percent("hue", d.HueDeviation);
    rules.SaturationDeviation = percent("saturation", d.SaturationDeviation);
    rules.ValueDeviation = percent("value", d.ValueDeviation);
    rules.CompareToNeighbour = flag("compareToNeighbour", d.CompareToNeighbour);
    rules.NineValueAverage = flag("average9", d.NineValueAverage);
    rules.Anywhere = flag("anywhere", d.Anywhere) && !rules.CompareToNeighbour;
    bool ok = false;
    const int holes = store_->value(QStringLiteral("mask/fillHoles"), d.FillHoles).toInt(&ok);
    rules.FillHoles = ok ? std::clamp(holes, 0, TWalkerRules::kMaxFillHoles) : d.FillHoles;
    return rules;
}

void TAppSettings::SetMaskRules(const TWalkerRules& rules) {
    store_->setValue(QStringLiteral("mask/useHue"), rules.UseHue);
    store_->setValue(QStringLiteral("mask/useSaturation"), rules.UseSaturation);
    store_->setValue(QStringLiteral("mask/useValue"), rules.UseValue);
    store_->setValue(QStringLiteral("mask/hue"), rules.HueDeviation);
    store_->setValue(QStringLiteral("mask/saturation"), rules.SaturationDeviation);
    store_->setValue(QStringLiteral("mask/value"), rules.ValueDeviation);
    store_->setValue(QStringLiteral("mask/compareToNeighbour"), rules.CompareToNeighbour);
    store_->setValue(QStringLiteral("mask/average9"), rules.NineValueAverage);
    store_->setValue(QStringLiteral("mask/anywhere"), rules.Anywhere);
    store_->setValue(QStringLiteral("mask/fillHoles"), rules.FillHoles);
}

QString TAppSettings::PictureFolder() const {
    return store_->value(QStringLiteral("folders/pictures")).toString();
}

void TAppSettings::SetPictureFolder(const QString& folder) {
    store_->setValue(QStringLiteral("folders/pictures"), folder);
}

QString TAppSettings::ProjectFolder() const {
    return store_->value(QStringLiteral("folders/projects")).toString();
}

void TAppSettings::SetProjectFolder(const QString& folder) {
    store_->setValue(QStringLiteral("folders/projects"), folder);
}

QStringList TAppSettings::RecentFiles() const {
    QStringList files = store_->value(QStringLiteral("recent/files")).toStringList();
    files.removeAll(QString());
    return files.mid(0, kMaxRecentFiles);
}

void TAppSettings::AddRecentFile(const QString& path) {
    const QString listed = ListedPath(path);
    QStringList files = RecentFiles();
    files.removeAll(listed);
    files.prepend(listed);
    store_->setValue(QStringLiteral("recent/files"), files.mid(0, kMaxRecentFiles));
}

void TAppSettings::RemoveRecentFile(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.removeAll(ListedPath(path));
    store_->setValue(QStringLiteral("recent/files"), files);
}

void TAppSettings::ClearRecentFiles() {
    store_->remove(QStringLiteral("recent"));
}
