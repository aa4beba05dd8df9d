#pragma once
// What the desktop program remembers between runs: the window's place and
// size, "Show all parts", whether saved pictures keep the photo's metadata, the mask dialog's rules, the
// folders the file dialogs start in, and the recently opened pictures and projects.
//
// Kept in an INI file in the user's configuration folder (XDG_CONFIG_HOME);
// tests give a file of their own.

#include "recolour/WalkerRules.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class QSettings;

class TAppSettings {
  public:
    static constexpr int kMaxRecentFiles = 10;

    // fileName empty: the user's own settings file.
    explicit TAppSettings(const QString& fileName = {});
    ~TAppSettings();
    TAppSettings(const TAppSettings&) = delete;
    TAppSettings& operator=(const TAppSettings&) = delete;

    QByteArray WindowGeometry() const;
    void SetWindowGeometry(const QByteArray& geometry);

    // On unless the user turned it off.
    bool ShowAllParts() const;
    void SetShowAllParts(bool on);

    // Saved pictures carry the photo's Exif, XMP and IPTC unless the user
    // turned it off.
    bool KeepMetadata() const;
    void SetKeepMetadata(bool on);

    // The mask dialog's rules; the dialog's defaults until the user changed them.
    TWalkerRules MaskRules() const;
    void SetMaskRules(const TWalkerRules& rules);

    // The folders the picture and project dialogs start in; empty when none yet.
    QString PictureFolder() const;
    void SetPictureFolder(const QString& folder);
    QString ProjectFolder() const;
    void SetProjectFolder(const QString& folder);

    // Pictures and projects, the latest first, at most kMaxRecentFiles.
    QStringList RecentFiles() const;
    void AddRecentFile(const QString& path);
    void RemoveRecentFile(const QString& path);
    void ClearRecentFiles();

  private:
    std::unique_ptr<QSettings> store_;
};
