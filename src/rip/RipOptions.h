#pragma once
// The command line's options, read from its arguments.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace ripcli {

enum class Format { Wav, Mp3, Flac };

struct RipOptions {
    bool list = false;
    bool json = false;
    std::vector<int> tracks; // disc numbers, ascending; empty: every audio track
    Format format = Format::Wav;
    QString bitrateText = QStringLiteral("160");
    int qualityIndex = 1; // "Normal" in the window's list
    bool privateFlag = false;
    bool crc = false;
    bool copyright = false;
    bool original = false;
    std::optional<QString> output;
    bool titles = false;
    std::optional<QString> prefix;
    bool noNumber = false;
    QString nameTemplate; // empty: the window's form
    bool overwrite = false;
    bool skipExisting = false;
    int jobs = 0; // 0: one per core
    bool quiet = false;
    // --verify: read the tracks and check them, writing nothing.
    bool verify = false;
    // Where AccurateRip's answer comes from: a file or a folder laid out like
    // the database, or the database at another address.
    std::optional<QString> accuraterip;
    std::optional<QString> accurateripUrl;
    bool noLog = false;
    // --lookup: names, tags and the front cover from MusicBrainz; --release
    // picks one of the disc's releases by its id; the services' addresses
    // replace Dorvane.ini's MusicBrainzUrl= and CoverArtUrl=.
    bool lookup = false;
    bool noCover = false;
    std::optional<QString> release;
    std::optional<QString> musicBrainzUrl;
    std::optional<QString> coverArtUrl;
    bool help = false;
    bool version = false;
    QStringList sources;
};

struct ParsedArguments {
    RipOptions options;
    // "what: why" of the first usage error; empty when the arguments are good.
    QString error;
};

// args without the program's name.
ParsedArguments ParseArguments(const QStringList& args);

// "1,3-5" as disc numbers in ascending order, each once; nothing when the
// text is not such a list of numbers from 1 to 99.
std::optional<std::vector<int>> ParseTrackList(const QString& text);

// "wav", "mp3" or "flac".
QString Extension(Format format);

QString UsageText();

} // namespace ripcli
