#include "rip/ProgressPrinter.h"

#include "rip/DiscListing.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ripcli {
namespace {

constexpr double kSectorsPerSecond = 75;
constexpr int kBarWidth = 20;

double Speed(const Progress& p) {
    return p.seconds > 0 ? static_cast<double>(p.audioDone) / kSectorsPerSecond / p.seconds : 0;
}

// Time left rounds up, so it reaches 0:00 only at the end; time taken rounds.
QString Clock(double seconds, bool up = true) {
    seconds = std::max(seconds, 0.0);
    const auto s = static_cast<long long>(up ? std::ceil(seconds) : std::round(seconds));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString Printable(const QString& text, bool lines) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // C0 and C1 controls and DEL would move the cursor, retitle the
        // terminal or worse: each is shown as its code instead.
        if ((u < 0x20 && !(lines && u == u'\n')) || u == 0x7f || (u >= 0x80 && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(static_cast<unsigned>(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void ProgressPrinter::Put(const QString& text) {
    // A reader that went away (a closed pipe) ends the lines, not the run.
    if (broken_)
        return;
    const QByteArray bytes = text.toUtf8();
    if (std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out_) !=
            static_cast<std::size_t>(bytes.size()) ||
        std::fflush(out_) != 0)
        broken_ = true;
}

ProgressPrinter::ProgressPrinter(std::FILE* out, Mode mode, bool colour, int columns)
    : out_(out), mode_(mode), colour_(colour && mode == Mode::Terminal),
      columns_(std::max(columns, 40)) {}

ProgressPrinter ProgressPrinter::ForStderr(bool quiet) {
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    int columns = 80;
    winsize size{};
    if (terminal && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        columns = size.ws_col;
    const char* noColor = std::getenv("NO_COLOR");
    const Mode mode = quiet ? Mode::Quiet : terminal ? Mode::Terminal : Mode::Lines;
    return ProgressPrinter(stderr, mode, !(noColor && *noColor), columns);
}

QString ProgressPrinter::StatusLine(const Progress& p, int barWidth, bool colour) {
    const double fraction =
        p.sectorsTotal > 0
            ? std::clamp(static_cast<double>(p.sectorsDone) / p.sectorsTotal, 0.0, 1.0)
            : 0;
    const int filled = static_cast<int>(fraction * barWidth);
    QString bar = QString(filled, u'#');
    if (colour)
        bar = QStringLiteral("\x1b[32m") + bar + QStringLiteral("\x1b[0m");
    bar += QString(barWidth - filled, u'-');
    const double speed = Speed(p);
    const QString left =
        speed > 0
            ? Clock(static_cast<double>(p.audioTotal - p.audioDone) / kSectorsPerSecond / speed) +
                  QStringLiteral(" left")
            : QStringLiteral("-:-- left");
    return QStringLiteral("[%1] %2% %3/%4 %5x %6")
        .arg(bar)
        .arg(static_cast<int>(fraction * 100), 3)
        .arg(p.tracksDone)
        .arg(p.tracksTotal)
        .arg(speed, 0, 'f', 1)
        .arg(left);
}

void ProgressPrinter::Update(const Progress& p) {
    if (mode_ != Mode::Terminal)
        return;
    // The name gets what the line leaves, so the line never wraps and \r
    // always returns to its start.
    const int rest = static_cast<int>(StatusLine(p, kBarWidth, false).size()) + 1;
    const qsizetype room = std::max(columns_ - 1 - rest, 8);
    QString name = Printable(p.name);
    if (name.size() > room)
        name = name.left(room - 1) + u'~';
    Put(u'\r' + name + u' ' + StatusLine(p, kBarWidth, colour_) + QStringLiteral("\x1b[K"));
    lineShown_ = true;
}

void ProgressPrinter::TrackDone(const Progress& p) {
    if (mode_ == Mode::Quiet)
        return;
    // On a terminal too, a finished track keeps its line; the redrawn line
    // comes back below it.
    ClearLine();
    Put(QStringLiteral("[%1/%2] %3 (%4)\n")
            .arg(p.tracksDone)
            .arg(p.tracksTotal)
            .arg(Printable(p.name))
            .arg(SectorTime(p.sectorsDone)));
}

void ProgressPrinter::Summary(const Progress& p) {
    if (mode_ == Mode::Quiet)
        return;
    ClearLine();
    const QString failed =
        p.tracksFailed > 0 ? QStringLiteral(" (%1 failed)").arg(p.tracksFailed) : QString();
    Put(QStringLiteral("%1 of %2 tracks%3, %4 of audio in %5 (%6x real time)\n")
            .arg(p.tracksDone)
            .arg(p.tracksTotal)
            .arg(failed)
            .arg(SectorTime(p.audioDone))
            .arg(Clock(p.seconds, false))
            .arg(Speed(p), 0, 'f', 1));
}

void ProgressPrinter::Note(const QString& text) {
    if (mode_ != Mode::Quiet)
        Error(text);
}

void ProgressPrinter::Error(const QString& text) {
    ClearLine();
    Put(Printable(text) + u'\n');
}

void ProgressPrinter::Finish() {
    ClearLine();
}

void ProgressPrinter::ClearLine() {
    if (!lineShown_)
        return;
    Put(QStringLiteral("\r\x1b[K"));
    lineShown_ = false;
}

} // namespace ripcli
