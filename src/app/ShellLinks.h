#pragma once
// The maker's addresses, and starting the programs Tintwell hands work to: the
// default web browser and the updater. Nothing comes back from either, and a
// failure to start them is not reported.

#include <QString>

namespace tw {

inline const QString kMakerWebSite = QStringLiteral("https://tintwell.example.org");
inline const QString kMakerOnlineHelp = QStringLiteral("https://tintwell.example.org/help");
inline const QString kMakerEmail = QStringLiteral("tintwell@example.org");

// Opens a web address in the default browser.
void OpenWebPage(const QString& url);

// Starts "update.EXE" from the program's folder, without arguments. When it
// is not there, nothing happens.
void StartUpdater(const QString& programDir);

} // namespace tw
