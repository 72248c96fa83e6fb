#pragma once
// What the name tests share: the test's server on 127.0.0.1, and answers in
// MusicBrainz's shape.

#include "LocalServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>
#include <vector>

namespace namestest {

using namespace Qt::StringLiterals;
using testsupport::Http;
using testsupport::LocalServer;
using testsupport::Reply;

// A JSON object from its members (QJsonObject's own list wants QString keys).
inline QJsonObject Obj(std::initializer_list<std::pair<const char*, QJsonValue>> members) {
    QJsonObject object;
    for (const auto& [key, value] : members)
        object.insert(QLatin1String(key), value);
    return object;
}

// A MusicBrainz id made from a number, for releases, recordings and artists.
inline QString Mbid(int n) {
    return QString::asprintf("%08x-1111-4222-8333-%012x", n, n);
}

// Names and their join phrases, one after the other: {"A", " feat. ", "B"}.
inline QJsonArray Credit(std::initializer_list<const char*> namesAndJoins) {
    const std::vector<const char*> list(namesAndJoins);
    QJsonArray credit;
    for (std::size_t i = 0; i < list.size(); i += 2) {
        const QString name = QString::fromUtf8(list[i]);
        const QJsonObject artist = Obj({{"id", Mbid(int(qHash(name) & 0xffff))}, {"name", name}});
        credit.append(
            Obj({{"name", name},
                 {"joinphrase", QString::fromUtf8(i + 1 < list.size() ? list[i + 1] : "")},
                 {"artist", artist}}));
    }
    return credit;
}

struct TrackSpec {
    QString title;
    int lengthMs;
    QJsonArray credit = {}; // empty: the release's holds
};

// A medium of a release; its recordings are numbered from firstId.
inline QJsonObject Medium(int position, const QStringList& discIds,
                          const std::vector<TrackSpec>& tracks, int firstId = 100) {
    QJsonArray list, discs;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const int id = firstId + int(i);
        const QJsonObject recording =
            Obj({{"id", Mbid(id)}, {"title", tracks[i].title}, {"length", tracks[i].lengthMs}});
        list.append(Obj({{"id", Mbid(id + 5000)},
                         {"position", int(i + 1)},
                         {"title", tracks[i].title},
                         {"length", tracks[i].lengthMs},
                         {"artist-credit", tracks[i].credit},
                         {"recording", recording}}));
    }
    for (const QString& d : discIds)
        discs.append(Obj({{"id", d}, {"sectors", 41400}, {"offset-count", 3}}));
    return Obj({{"position", position},
                {"format", u"CD"_s},
                {"track-count", int(tracks.size())},
                {"discs", discs},
                {"tracks", list}});
}

inline QJsonObject Release(int id, const QString& title, const QJsonArray& media,
                           const QJsonArray& credit = Credit({"Band"})) {
    const QJsonObject label = Obj({{"id", Mbid(77)}, {"name", u"Virgin"_s}});
    return Obj(
        {{"id", Mbid(id)},
         {"title", title},
         {"date", u"1998-03-27"_s},
         {"country", u"GB"_s},
         {"barcode", u"724384260620"_s},
         {"artist-credit", credit},
         {"label-info", QJsonArray{Obj({{"catalog-number", u"CDV 2843"_s}, {"label", label}})}},
         {"cover-art-archive", Obj({{"artwork", true}, {"front", true}, {"count", 1}})},
         {"media", media}});
}

// The answer to /ws/2/discid/<id>: the disc, and the releases that hold it;
// without an id, a lookup by table's release list.
inline std::string Answer(const QJsonArray& releases, const QString& discId = {}) {
    const QJsonObject answer = discId.isEmpty() ? Obj({{"release-count", int(releases.size())},
                                                       {"release-offset", 0},
                                                       {"releases", releases}})
                                                : Obj({{"id", discId},
                                                       {"sectors", 41400},
                                                       {"offset-count", 3},
                                                       {"offsets", QJsonArray{150, 13650, 30150}},
                                                       {"releases", releases}});
    return QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace namestest
