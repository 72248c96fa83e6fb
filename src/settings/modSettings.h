#pragma once
// The program's settings, kept in Dorvane.ini beside the program file, or in
// the user's configuration folder when the program's folder cannot be
// written (an installed copy).

#include <QString>
#include <QStringList>

#include <array>

namespace modSettings {

// The MP3 choices the settings window offers, which the command line takes
// too: the qualities in the list's order (the index picks the encoder's
// preset, modLAME::PresetForQuality) and the MPEG-1 bitrates in kbit/s.
inline const QStringList kQualityNames = {QStringLiteral("Low"),   QStringLiteral("Normal"),
                                          QStringLiteral("High"),  QStringLiteral("Voice"),
                                          QStringLiteral("Phone"), QStringLiteral("Radio"),
                                          QStringLiteral("Tape"),  QStringLiteral("Hifi"),
                                          QStringLiteral("CD"),    QStringLiteral("Studio")};
inline constexpr std::array<int, 14> kBitrates = {32,  40,  48,  56,  64,  80,  96,
                                                  112, 128, 160, 192, 224, 256, 320};

inline const QString kSection = QStringLiteral("Settings");
inline const QString kDrive = QStringLiteral("Drive");
inline const QString kOutpath = QStringLiteral("Outpath");
inline const QString kIncludes = QStringLiteral("Includes");
// The address names are looked up at, when not MusicBrainz's own.
inline const QString kMusicBrainzUrl = QStringLiteral("MusicBrainzUrl");

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

} // namespace modSettings
