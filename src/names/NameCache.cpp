#include "names/NameCache.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdlib>

namespace names {

QString DefaultCacheFolder() {
    // The XDG base directory rules: a relative path in the variable is
    // ignored, as if it were unset.
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return QFile::decodeName(xdg) + QStringLiteral("/dorvane");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return QFile::decodeName(home) + QStringLiteral("/.cache/dorvane");
    return {};
}

std::optional<QByteArray> NameCache::Read(const QString& key, std::size_t maxBytes) const {
    if (folder_.isEmpty())
        return std::nullopt;
    const QString path = folder_ + u'/' + key;
    const QFileInfo info(path);
    if (!info.isFile() || info.size() < 0 || std::size_t(info.size()) > maxBytes)
        return std::nullopt;
    // A date a day or more ahead (a clock put right since) is not trusted
    // either: the file could otherwise stay fresh for ever.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime written = info.lastModified().toUTC();
    const qint64 age = written.secsTo(now);
    if (age > std::chrono::seconds(kCacheLife).count() || age < -24 * 3600)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(qint64(maxBytes) + 1);
    if (std::size_t(bytes.size()) > maxBytes)
        return std::nullopt;
    return bytes;
}

bool NameCache::Write(const QString& key, const QByteArray& bytes) const {
    if (folder_.isEmpty())
        return false;
    if (!QFileInfo(folder_).isDir()) {
        if (!QDir().mkpath(folder_))
            return false;
        // What was looked up is nobody else's business.
        QFile::setPermissions(folder_, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
    }
    QSaveFile file(folder_ + u'/' + key);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace names
