#include "settings/modSettings.h"

#include "general/modFiles.h"
#include "general/modGeneral.h"
#include "settings/IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

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

QString FileName() {
    QString name = modGeneral::kAppTitle;
    name.replace(QLatin1Char(' '), QLatin1Char('_'));
    return name + QStringLiteral(".ini");
}

// Whether a file can be made in folder. Trying is the only sure test: the
// permission bits do not tell root, nor about a read-only file system.
bool CanCreateIn(const QString& folder) {
    QByteArray pattern = modFiles::PathBytes(folder) + "/.dorvane-probe-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(pattern.constData());
    return true;
}

} // namespace

QString SettingsFilePath() {
    QString folder = modGeneral::AppFolder();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (CanCreateIn(folder))
        return folder + FileName();
    // The same folder QStandardPaths::AppConfigLocation names for this program,
    // whether or not the application object has its name yet.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + modGeneral::kAppTitle + QLatin1Char('/') + FileName();
}

QString ReadSetting(const QString& section, const QString& key, const QString& deflt) {
    return Cut(IniFile(SettingsFilePath()).Read(section, key, deflt));
}

bool WriteSetting(const QString& section, const QString& key, const QString& value, QString* why) {
    const QString path = SettingsFilePath();
    // The configuration folder may not exist yet on a fresh account.
    QDir().mkpath(QFileInfo(path).absolutePath());
    return IniFile(path).Write(section, key, value, why);
}

} // namespace modSettings
