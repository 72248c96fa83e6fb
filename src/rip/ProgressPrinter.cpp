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

void Put(std::FILE* out, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out);
}

} // namespace

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
    QString name = p.name;
    if (name.size() > room)
        name = name.left(room - 1) + u'~';
    Put(out_, u'\r' + name + u' ' + StatusLine(p, kBarWidth, colour_) + QStringLiteral("\x1b[K"));
    std::fflush(out_);
    lineShown_ = true;
}

void ProgressPrinter::TrackDone(const Progress& p) {
    if (mode_ != Mode::Lines)
        return;
    Put(out_, QStringLiteral("[%1/%2] %3 (%4)\n")
                  .arg(p.tracksDone)
                  .arg(p.tracksTotal)
                  .arg(p.name)
                  .arg(SectorTime(p.sectorsDone)));
    std::fflush(out_);
}

void ProgressPrinter::Summary(const Progress& p) {
    if (mode_ == Mode::Quiet)
        return;
    ClearLine();
    Put(out_, QStringLiteral("%1 of %2 tracks, %3 of audio in %4 (%5x real time)\n")
                  .arg(p.tracksDone)
                  .arg(p.tracksTotal)
                  .arg(SectorTime(p.audioDone))
                  .arg(Clock(p.seconds, false))
                  .arg(Speed(p), 0, 'f', 1));
    std::fflush(out_);
}

void ProgressPrinter::Note(const QString& text) {
    if (mode_ != Mode::Quiet)
        Error(text);
}

void ProgressPrinter::Error(const QString& text) {
    ClearLine();
    Put(out_, text + u'\n');
    std::fflush(out_);
}

void ProgressPrinter::Finish() {
    ClearLine();
}

void ProgressPrinter::ClearLine() {
    if (!lineShown_)
        return;
    Put(out_, QStringLiteral("\r\x1b[K"));
    lineShown_ = false;
}

} // namespace ripcli
