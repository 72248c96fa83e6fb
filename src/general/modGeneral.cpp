#include "general/modGeneral.h"

#include "version.h"

#include "general/modFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace modGeneral {
namespace {
QString& overrideFolder() {
    static QString folder;
    return folder;
}
} // namespace

int VersionMajor() {
    return DORVANE_VERSION_MAJOR;
}
int VersionMinor() {
    return DORVANE_VERSION_MINOR;
}
int VersionRevision() {
    return DORVANE_VERSION_REVISION;
}

QString AppFolder() {
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // No application object yet (a logic test): ask the kernel.
    return QFileInfo(QStringLiteral("/proc/self/exe"))
        .canonicalFilePath()
        .section(QLatin1Char('/'), 0, -2);
}

QString PrivateModulePath(const QString& fileName) {
    const QString beside = AppFolder() + QLatin1Char('/') + fileName;
    const QString installed = QDir::cleanPath(AppFolder() + QStringLiteral("/../lib/dorvane"));
    const auto is = [](const QString& path, mode_t type) {
        struct stat st {};
        return ::stat(modFiles::PathBytes(path).constData(), &st) == 0 &&
               (st.st_mode & S_IFMT) == type;
    };
    if (is(beside, S_IFREG))
        return beside;
    return is(installed, S_IFDIR) ? installed + QLatin1Char('/') + fileName : beside;
}

void SetAppFolderForTesting(const QString& folder) {
    overrideFolder() = folder;
}

} // namespace modGeneral
