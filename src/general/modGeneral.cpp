#include "general/modGeneral.h"

#include "version.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace modGeneral {
namespace {
QString& overrideFolder() {
    static QString folder;
    return folder;
}
}  // namespace

int VersionMajor() { return DORVANE_VERSION_MAJOR; }
int VersionMinor() { return DORVANE_VERSION_MINOR; }
int VersionRevision() { return DORVANE_VERSION_REVISION; }

QString AppFolder() {
    if (!overrideFolder().isEmpty())
        return overrideFolder();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // No application object yet (a logic test): ask the kernel.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

void SetAppFolderForTesting(const QString& folder) { overrideFolder() = folder; }

}  // namespace modGeneral
