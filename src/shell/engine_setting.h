// The table engine's shared-access setting, where the engine's own settings
// live: "TableEngine.ini" in the user's configuration folder, section
// "SYSTEM\INIT", value "LOCAL SHARE". With "TRUE" the engine opens the tables
// so that other processes may use them at the same time.
//
// The start-up writes the value before the engine opens its first table, then
// the engine takes whatever the file holds (applyEngineSettings), so a value
// set by hand for an installation where the program must have its tables to
// itself ("FALSE") is honoured when the file cannot be written.
#pragma once

#include <QString>

namespace shell {

inline const QString kLocalShare = QStringLiteral("LOCAL SHARE");

QString defaultEngineSettingsPath();

// Sets LOCAL SHARE to TRUE, creating the file and its folder when missing.
// Raises platform::Error "Failed to set data for 'LOCAL SHARE'" when it cannot.
void writeLocalShare(const QString& path);

// Gives the engine the file's LOCAL SHARE: TRUE shared, FALSE exclusive
// (letter case aside); a missing file or value leaves the engine's default.
void applyEngineSettings(const QString& path);

}  // namespace shell
