#include "rip/RipOptions.h"

#include "settings/modSettings.h"

#include <algorithm>
#include <array>
#include <set>

namespace ripcli {
namespace {

using modSettings::kBitrates;
using modSettings::kQualityNames;

struct OptionSpec {
    const char* longName;
    char shortName; // 0: none
    bool takesValue;
};

const std::array<OptionSpec, 18> kOptions = {{
    {"list", 'l', false},
    {"json", 0, false},
    {"tracks", 't', true},
    {"format", 'f', true},
    {"bitrate", 'b', true},
    {"quality", 'q', true},
    {"private", 0, false},
    {"crc", 0, false},
    {"copyright", 0, false},
    {"original", 0, false},
    {"output", 'o', true},
    {"titles", 0, false},
    {"prefix", 0, true},
    {"no-number", 0, false},
    {"jobs", 'j', true},
    {"quiet", 0, false},
    {"help", 'h', false},
    {"version", 0, false},
}};

const OptionSpec* FindLong(const QString& name) {
    for (const OptionSpec& o : kOptions)
        if (name == QLatin1String(o.longName))
            return &o;
    return nullptr;
}

const OptionSpec* FindShort(QChar c) {
    for (const OptionSpec& o : kOptions)
        if (o.shortName != 0 && c == QLatin1Char(o.shortName))
            return &o;
    return nullptr;
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
    bool optionsEnd = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnd || arg == u"-" || !arg.startsWith(u'-')) {
            o.sources << arg;
            continue;
        }
        if (arg == u"--") {
            optionsEnd = true;
            continue;
        }
        const OptionSpec* spec = nullptr;
        QString shown; // the option as the person wrote it, for messages
        std::optional<QString> value;
        if (arg.startsWith(u"--")) {
            const auto eq = arg.indexOf(u'=');
            shown = eq < 0 ? arg : arg.left(eq);
            spec = FindLong(shown.mid(2));
            if (eq >= 0)
                value = arg.mid(eq + 1);
        } else {
            shown = arg.left(2);
            spec = FindShort(arg.at(1));
            if (arg.size() > 2)
                value = arg.mid(2);
        }
        if (!spec) {
            parsed.error = shown + QStringLiteral(": unknown option");
            return parsed;
        }
        if (spec->takesValue && !value) {
            if (i + 1 >= args.size()) {
                parsed.error = shown + QStringLiteral(": needs a value");
                return parsed;
            }
            value = args[++i];
        } else if (!spec->takesValue && value) {
            parsed.error = arg + QStringLiteral(": takes no value");
            return parsed;
        }
        const QString why = Apply(o, QLatin1String(spec->longName), value.value_or(QString()));
        if (!why.isEmpty()) {
            parsed.error = shown + u' ' + Quoted(*value) + QStringLiteral(": ") + why;
            return parsed;
        }
    }
    if (o.json && !o.list && !o.help && !o.version)
        parsed.error = QStringLiteral("--json: goes with --list");
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
        "      --json             with --list: the table as JSON\n"
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
        "  -j, --jobs N           tracks encoded at once (default: one per core)\n"
        "      --quiet            print errors only\n"
        "  -h, --help             print this help and exit\n"
        "      --version          print the version and exit\n"
        "\n"
        "Exit status: 0 every track extracted; 1 a track failed; 2 a usage error or a\n"
        "source that cannot be used; 128 + the signal when interrupted.\n");
}

} // namespace ripcli
