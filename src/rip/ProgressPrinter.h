#pragma once
// What a run tells a person on standard error while it works: on a terminal,
// one line redrawn in place; into a pipe or a log, one plain line per
// finished track; with --quiet, nothing but errors.

#include <QString>

#include <cstdint>
#include <cstdio>

namespace ripcli {

struct Progress {
    QString name;                 // the current track's file, without its folder
    std::int32_t sectorsDone = 0; // of the current track
    std::int32_t sectorsTotal = 0;
    int tracksDone = 0;   // of this source, complete
    int tracksFailed = 0; // of this source
    int tracksTotal = 0;
    std::int64_t audioDone = 0;  // sectors encoded by every job so far, ahead included
    std::int64_t audioTotal = 0; // sectors of every track of the source
    double seconds = 0;          // since the source started
};

// text with every control character shown as its code ("\x1b"), so that a
// title cannot move the cursor or retitle the terminal; with lines, line
// ends stay.
QString Printable(const QString& text, bool lines = false);

class ProgressPrinter {
  public:
    enum class Mode { Terminal, Lines, Quiet };

    // colour only counts on a terminal.
    ProgressPrinter(std::FILE* out, Mode mode, bool colour, int columns = 80);

    // The mode and colour for stderr and the environment: a terminal unless
    // quiet, colour unless NO_COLOR is set.
    static ProgressPrinter ForStderr(bool quiet);

    void Update(const Progress& p);
    void TrackDone(const Progress& p);
    // The last line of a source: its tracks, their audio, the time taken.
    void Summary(const Progress& p);
    // A line of its own, unless quiet.
    void Note(const QString& text);
    // An error: on its own line, whatever the mode.
    void Error(const QString& text);
    // Ends the redrawn line, if any.
    void Finish();

    // The redrawn line without control codes (for its width).
    static QString StatusLine(const Progress& p, int barWidth, bool colour);

  private:
    void ClearLine();
    void Put(const QString& text);

    std::FILE* out_;
    Mode mode_;
    bool colour_;
    int columns_;
    bool lineShown_ = false;
    bool broken_ = false; // a write failed: the reader is gone
};

} // namespace ripcli
