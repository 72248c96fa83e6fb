#include "settings/modSettings.h"

#include "settings/IniFile.h"
#include "general/modGeneral.h"

namespace modSettings {
namespace {

// Values have always been read into a fixed buffer of this size, and the
// fields they end up in rely on it; half a surrogate pair is dropped too.
QString Cut(const QString& s) {
    if (s.size() <= kMaxValueLength)
        return s;
    const bool splitsPair = s.at(kMaxValueLength - 1).isHighSurrogate();
    return s.left(splitsPair ? kMaxValueLength - 1 : kMaxValueLength);
}

}  // namespace

QString SettingsFilePath() {
    QString folder = modGeneral::AppFolder();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    QString name = modGeneral::kAppTitle;
    name.replace(QLatin1Char(' '), QLatin1Char('_'));
    return folder + name + QStringLiteral(".ini");
}

QString ReadSetting(const QString& section, const QString& key, const QString& deflt) {
    return Cut(IniFile(SettingsFilePath()).Read(section, key, deflt));
}

bool WriteSetting(const QString& section, const QString& key, const QString& value) {
    return IniFile(SettingsFilePath()).Write(section, key, value);
}

}  // namespace modSettings
