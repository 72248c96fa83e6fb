#pragma once
// The program's settings, kept in Dorvane.ini beside the program file, or in
// the user's configuration folder when the program's folder cannot be
// written (an installed copy).

#include <QString>

namespace modSettings {

inline const QString kSection = QStringLiteral("Settings");
inline const QString kDrive = QStringLiteral("Drive");
inline const QString kOutpath = QStringLiteral("Outpath");
inline const QString kIncludes = QStringLiteral("Includes");

// Values never come back longer than this many characters.
inline constexpr qsizetype kMaxValueLength = 154;

// <application folder>/<title with blanks as "_">.ini when that folder can
// be written, else the same name in the user's configuration folder
// (~/.config/Dorvane/). Worked out on every call, so a changed application
// folder takes effect at once.
QString SettingsFilePath();

// The stored value, or deflt when there is none; either is cut to
// kMaxValueLength characters. An empty stored value reads as empty.
QString ReadSetting(const QString& section, const QString& key, const QString& deflt);

// Stores value; false when the file could not be written, with the system's
// reason in why (when given). The old file is then left as it was.
bool WriteSetting(const QString& section, const QString& key, const QString& value,
                  QString* why = nullptr);

}  // namespace modSettings
