#pragma once
// The service's answers kept in the user's cache folder, so that a second rip
// of the same disc needs no network: one file per lookup or cover, replaced
// whole (never seen half written), and trusted for 30 days. A file that is
// older, unreadable or too large is passed over as if it were not there;
// whether its bytes make sense is for the caller to check.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstddef>
#include <optional>

namespace names {

constexpr std::chrono::hours kCacheLife{24 * 30};

// Dorvane's folder in the user's cache: $XDG_CACHE_HOME/dorvane when that
// variable holds an absolute path, else $HOME/.cache/dorvane; empty when
// neither can be had.
QString DefaultCacheFolder();

class NameCache {
  public:
    // folder: where the files go (made when first written to); empty keeps
    // nothing and finds nothing.
    explicit NameCache(QString folder) : folder_(std::move(folder)) {}

    // The bytes kept under key ("discid-....json"), when the file is younger
    // than kCacheLife and holds at most maxBytes.
    std::optional<QByteArray> Read(const QString& key, std::size_t maxBytes) const;
    // Keeps bytes under key, replacing an older file in one step. False when
    // the folder cannot be written; the lookup goes on without a cache.
    bool Write(const QString& key, const QByteArray& bytes) const;

  private:
    QString folder_;
};

} // namespace names
