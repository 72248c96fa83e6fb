#include "rip/RipOptions.h"

#include "general/modFiles.h"
#include "settings/modSettings.h"

#include <QRegularExpression>

#include <getopt.h>

#include <algorithm>
#include <set>

namespace ripcli {
namespace {

using modSettings::kBitrates;
using modSettings::kQualityNames;

// The long options; those with a short form give it as their value, the
// others a code past any character.
enum LongOnly : int {
    kJson = 256,
    kPrivate,
    kCrc,
    kCopyright,
    kOriginal,
    kTitles,
    kPrefix,
    kNoNumber,
    kQuiet,
    kOverwrite,
    kSkipExisting,
    kName,
    kVerify,
    kAccurateRip,
    kAccurateRipUrl,
    kNoLog,
    kLookup,
    kNoCover,
    kRelease,
    kMusicBrainzUrl,
    kCoverArtUrl,
};

const option kLongOptions[] = {
    {"list", no_argument, nullptr, 'l'},
    {"json", no_argument, nullptr, kJson},
    {"tracks", required_argument, nullptr, 't'},
    {"format", required_argument, nullptr, 'f'},
    {"bitrate", required_argument, nullptr, 'b'},
    {"quality", required_argument, nullptr, 'q'},
    {"private", no_argument, nullptr, kPrivate},
    {"crc", no_argument, nullptr, kCrc},
    {"copyright", no_argument, nullptr, kCopyright},
    {"original", no_argument, nullptr, kOriginal},
    {"output", required_argument, nullptr, 'o'},
    {"titles", no_argument, nullptr, kTitles},
    {"prefix", required_argument, nullptr, kPrefix},
    {"no-number", no_argument, nullptr, kNoNumber},
    {"name", required_argument, nullptr, kName},
    {"jobs", required_argument, nullptr, 'j'},
    {"overwrite", no_argument, nullptr, kOverwrite},
    {"skip-existing", no_argument, nullptr, kSkipExisting},
    {"verify", no_argument, nullptr, kVerify},
    {"accuraterip", required_argument, nullptr, kAccurateRip},
    {"accuraterip-url", required_argument, nullptr, kAccurateRipUrl},
    {"no-log", no_argument, nullptr, kNoLog},
    {"lookup", no_argument, nullptr, kLookup},
    {"no-cover", no_argument, nullptr, kNoCover},
    {"release", required_argument, nullptr, kRelease},
    {"musicbrainz-url", required_argument, nullptr, kMusicBrainzUrl},
    {"coverart-url", required_argument, nullptr, kCoverArtUrl},
    {"quiet", no_argument, nullptr, kQuiet},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};
// "-" hands sources over where they stand, in order; ":" has getopt_long
// tell a missing value apart from an unknown option.
constexpr char kShortOptions[] = "-:lt:f:b:q:o:j:hV";

// The services are asked over HTTPS, or HTTP for a mirror or a test.
bool WebAddress(const QString& value) {
    for (const QString& scheme : {QStringLiteral("http://"), QStringLiteral("https://")})
        if (value.startsWith(scheme, Qt::CaseInsensitive) && value.size() > scheme.size())
            return true;
    return false;
}

QString Quoted(const QString& text) {
    return u'"' + text + u'"';
}

// Applies one option; the "why" of a bad value, empty when it is good.
QString Apply(RipOptions& o, const QString& name, const QString& value) {
    if (name == u"list") {
        o.list = true;
    } else if (name == u"json") {
        o.json = true;
    } else if (name == u"tracks") {
        const auto tracks = ParseTrackList(value);
        if (!tracks)
            return QStringLiteral("not a list of track numbers from 1 to 99, such as 1,3-5");
        o.tracks = *tracks;
    } else if (name == u"format") {
        const QString f = value.toLower();
        if (f == u"wav")
            o.format = Format::Wav;
        else if (f == u"mp3")
            o.format = Format::Mp3;
        else if (f == u"flac")
            o.format = Format::Flac;
        else
            return QStringLiteral("the formats are wav, mp3 and flac");
    } else if (name == u"bitrate") {
        bool ok = false;
        const int rate = value.toInt(&ok);
        if (!ok || std::find(kBitrates.begin(), kBitrates.end(), rate) == kBitrates.end())
            return QStringLiteral(
                "the bitrates are 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256 "
                "and 320 kbit/s");
        o.bitrateText = QString::number(rate);
    } else if (name == u"quality") {
        o.qualityIndex = -1;
        for (qsizetype i = 0; i < kQualityNames.size(); ++i)
            if (value.compare(kQualityNames[i], Qt::CaseInsensitive) == 0)
                o.qualityIndex = static_cast<int>(i);
        if (o.qualityIndex < 0)
            return QStringLiteral(
                "the qualities are Low, Normal, High, Voice, Phone, Radio, Tape, Hifi, CD "
                "and Studio");
    } else if (name == u"private") {
        o.privateFlag = true;
    } else if (name == u"crc") {
        o.crc = true;
    } else if (name == u"copyright") {
        o.copyright = true;
    } else if (name == u"original") {
        o.original = true;
    } else if (name == u"output") {
        if (value.isEmpty())
            return QStringLiteral("no folder named");
        o.output = value;
    } else if (name == u"titles") {
        o.titles = true;
    } else if (name == u"prefix") {
        o.prefix = value;
    } else if (name == u"no-number") {
        o.noNumber = true;
    } else if (name == u"jobs") {
        bool ok = false;
        o.jobs = value.toInt(&ok);
        if (!ok || o.jobs < 1 || o.jobs > 1024)
            return QStringLiteral("not a number of jobs from 1 to 1024");
    } else if (name == u"name") {
        if (value.isEmpty())
            return QStringLiteral("no template given");
        o.nameTemplate = value;
    } else if (name == u"overwrite") {
        o.overwrite = true;
    } else if (name == u"skip-existing") {
        o.skipExisting = true;
    } else if (name == u"verify") {
        o.verify = true;
    } else if (name == u"accuraterip") {
        if (value.isEmpty())
            return QStringLiteral("no file or folder named");
        o.accuraterip = value;
    } else if (name == u"accuraterip-url") {
        // The database speaks plain HTTP, and so does our client.
        if (!value.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) || value.size() <= 7)
            return QStringLiteral("not an http:// address");
        o.accurateripUrl = value;
    } else if (name == u"no-log") {
        o.noLog = true;
    } else if (name == u"lookup") {
        o.lookup = true;
    } else if (name == u"no-cover") {
        o.noCover = true;
    } else if (name == u"release") {
        // A MusicBrainz id: 36 characters of hex digits and dashes.
        static const QRegularExpression mbid(QStringLiteral(
            "^[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$"));
        if (!mbid.match(value).hasMatch())
            return QStringLiteral("not a MusicBrainz release id");
        o.release = value.toLower();
    } else if (name == u"musicbrainz-url" || name == u"coverart-url") {
        if (!WebAddress(value))
            return QStringLiteral("not an http:// or https:// address");
        (name == u"musicbrainz-url" ? o.musicBrainzUrl : o.coverArtUrl) = value;
    } else if (name == u"quiet") {
        o.quiet = true;
    } else if (name == u"help") {
        o.help = true;
    } else if (name == u"version") {
        o.version = true;
    }
    return {};
}

} // namespace

std::optional<std::vector<int>> ParseTrackList(const QString& text) {
    const auto number = [](const QString& piece, int& out) {
        bool ok = false;
        out = piece.trimmed().toInt(&ok);
        return ok && out >= 1 && out <= 99;
    };
    std::set<int> tracks;
    for (const QString& item : text.split(u',')) {
        const auto dash = item.indexOf(u'-');
        int first = 0;
        int last = 0;
        if (dash < 0) {
            if (!number(item, first))
                return std::nullopt;
            last = first;
        } else if (!number(item.left(dash), first) || !number(item.mid(dash + 1), last) ||
                   last < first) {
            return std::nullopt;
        }
        for (int t = first; t <= last; ++t)
            tracks.insert(t);
    }
    return std::vector<int>(tracks.begin(), tracks.end());
}

ParsedArguments ParseArguments(const QStringList& args) {
    ParsedArguments parsed;
    RipOptions& o = parsed.options;
    // getopt_long reads C strings and may reorder them: it gets copies.
    std::vector<QByteArray> bytes{QByteArrayLiteral("dorvane-rip")};
    for (const QString& arg : args)
        bytes.push_back(modFiles::PathBytes(arg));
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(bytes.size());
    const auto text = [](const char* s) { return modFiles::PathFromBytes(QByteArray(s)); };

    optind = 0; // start afresh: a second parse in one process reads its own arguments
    opterr = 0;
    for (;;) {
        int index = -1;
        const int c = ::getopt_long(argc, argv.data(), kShortOptions, kLongOptions, &index);
        if (c == -1)
            break;
        if (c == 1) { // a source, in its place among the options
            o.sources << text(optarg);
            continue;
        }
        // The option as the person wrote it, for messages.
        const QString written = text(argv[optind - 1]);
        if (c == '?' || c == ':') {
            const QString shown = optopt != 0 && !written.startsWith(u"--")
                                      ? QStringLiteral("-") + QChar(optopt)
                                      : written.section(u'=', 0, 0);
            if (c == ':')
                parsed.error = shown + QStringLiteral(": needs a value");
            else if (optopt != 0 && written.startsWith(u"--"))
                parsed.error = written + QStringLiteral(": takes no value");
            else
                parsed.error = shown + QStringLiteral(": unknown option");
            return parsed;
        }
        const option* spec = nullptr;
        for (const option& l : kLongOptions)
            if (l.name && (index >= 0 ? &l == &kLongOptions[index] : l.val == c))
                spec = &l;
        const QString value = optarg ? text(optarg) : QString();
        const QString why = Apply(o, QLatin1String(spec->name), value);
        if (!why.isEmpty()) {
            const QString shown = index >= 0 ? QStringLiteral("--") + QLatin1String(spec->name)
                                             : QStringLiteral("-") + QChar(c);
            parsed.error = shown + u' ' + Quoted(value) + QStringLiteral(": ") + why;
            return parsed;
        }
    }
    // After "--" every argument is a source.
    for (int i = optind; i < argc; ++i)
        o.sources << text(argv[static_cast<std::size_t>(i)]);
    if (o.verify && o.list)
        parsed.error = QStringLiteral("--verify: cannot go with --list");
    else if (o.accuraterip && o.accurateripUrl)
        parsed.error = QStringLiteral("--accuraterip: cannot go with --accuraterip-url");
    else if (o.overwrite && o.skipExisting)
        parsed.error = QStringLiteral("--overwrite: cannot go with --skip-existing");
    else if (o.lookup && o.verify)
        parsed.error = QStringLiteral("--lookup: cannot go with --verify");
    else if (o.release && !o.lookup)
        parsed.error = QStringLiteral("--release: goes with --lookup");
    return parsed;
}

QString Extension(Format format) {
    switch (format) {
    case Format::Mp3:
        return QStringLiteral("mp3");
    case Format::Flac:
        return QStringLiteral("flac");
    case Format::Wav:
        break;
    }
    return QStringLiteral("wav");
}

QString UsageText() {
    return QStringLiteral(
        "Usage: dorvane-rip [OPTIONS] [SOURCE...]\n"
        "Extracts the tracks of audio CDs and disc images (CUE, TOC, NRG) to files.\n"
        "SOURCE is a disc image or a drive's device path; with none, the drive saved\n"
        "by Dorvane's Settings.\n"
        "\n"
        "  -l, --list             print the table of contents and exit\n"
        "      --verify           read the tracks and check them against AccurateRip,\n"
        "                         writing no file: their checksums and verdicts\n"
        "      --json             print what was listed, checked or extracted as JSON,\n"
        "                         one line per SOURCE\n"
        "      --accuraterip PATH AccurateRip's answer from a file, or from a folder\n"
        "                         laid out like the database (a/b/c/dBAR-....bin)\n"
        "      --accuraterip-url URL\n"
        "                         ask the database at this http:// address\n"
        "      --no-log           write no rip log beside the tracks\n"
        "      --lookup           names, tags and the front cover (cover.jpg) from\n"
        "                         MusicBrainz; with --list, the releases found\n"
        "      --release MBID     the release to take when several hold the disc\n"
        "                         (default: the first; the others are listed)\n"
        "      --no-cover         save no front cover\n"
        "      --musicbrainz-url URL\n"
        "                         ask MusicBrainz at this address (a mirror)\n"
        "      --coverart-url URL ask the Cover Art Archive at this address\n"
        "  -t, --tracks LIST      the tracks to extract, such as 1,3-5 (default: every\n"
        "                         audio track)\n"
        "  -f, --format FORMAT    wav, mp3 or flac (default: wav)\n"
        "  -b, --bitrate KBITS    MP3 bitrate (default: 160)\n"
        "  -q, --quality NAME     MP3 quality: Low, Normal, High, Voice, Phone, Radio,\n"
        "                         Tape, Hifi, CD or Studio (default: Normal)\n"
        "      --private, --crc, --copyright, --original\n"
        "                         set that flag in every MP3 frame\n"
        "  -o, --output DIR       the output folder (default: the one saved by Settings,\n"
        "                         else the current folder); with several SOURCEs, each\n"
        "                         goes into a subfolder named after it\n"
        "      --titles           name tracks from the titles the disc carries\n"
        "      --prefix TEXT      the prefix after the track number (default: CD1)\n"
        "      --no-number        names without number and prefix\n"
        "      --name TEMPLATE    file names from a template of %n (the number, 01),\n"
        "                         %t (the title), %p (the performer), %a (the album)\n"
        "                         and %x (the prefix); such as \"%n %t\"\n"
        "      --overwrite        replace files that are already there\n"
        "      --skip-existing    leave tracks whose file is already there alone\n"
        "  -j, --jobs N           tracks encoded at once (default: one per core)\n"
        "      --quiet            print errors only\n"
        "  -h, --help             print this help and exit\n"
        "  -V, --version          print the version and exit\n"
        "\n"
        "Files already in the output folder are not replaced unless --overwrite is\n"
        "given. Each extraction writes a rip log, <prefix or image name>.log, with\n"
        "the tracks' checksums; AccurateRip is asked with --verify, --accuraterip,\n"
        "--accuraterip-url or AccurateRipUrl= in Dorvane.ini. A failed --lookup\n"
        "is said in one line and the tracks keep the names they would have had.\n"
        "\n"
        "Exit status: 0 every track extracted (with --verify: every track accurate);\n"
        "1 a track failed, or a file is already there (with --verify: a track not\n"
        "accurate, or not in the database); 2 a usage error or a source that cannot\n"
        "be used; killed by the signal (128 + its number to the shell) when\n"
        "interrupted.\n");
}

} // namespace ripcli
