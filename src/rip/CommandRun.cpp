#include "rip/CommandRun.h"

#include "cd/DiscInfo.h"
#include "cd/ImageDrives.h"
#include "cd/modAKRip32.h"
#include "engine/RipEngine.h"
#include "engine/StopSignals.h"
#include "engine/TrackRun.h"
#include "extract/modRip.h"
#include "general/modFiles.h"
#include "output/FlacEncoder.h"
#include "output/Mp3Encoder.h"
#include "output/WavEncoder.h"
#include "output/clsFileIo.h"
#include "output/modLAME.h"
#include "rip/DiscListing.h"
#include "rip/ProgressPrinter.h"
#include "rip/TrackPlan.h"
#include "settings/modSettings.h"

#include <QDir>

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

namespace ripcli {
namespace {

QString Errno(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// "dorvane-rip: <what>: <why>"
QString Line(const QString& what, const QString& why) {
    return QStringLiteral("dorvane-rip: ") + what + QStringLiteral(": ") + why;
}

void PrintOut(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

// What one run shares across its sources.
struct RunContext {
    const RipOptions& options;
    ProgressPrinter& printer;
    const modLAME::LameLibrary* lame = nullptr;
    lame_enc::BE_CONFIG mp3Config{};
    bool severalSources = false;
};

// The open drive, closed again on every path out.
struct OpenedDrive {
    ~OpenedDrive() {
        if (modAKRip32::Drive().CDHandle != 0) {
            modAKRip32::CloseCD();
            modAKRip32::Drive().CDHandle = 0;
        }
    }
};

// Opens the source as the program's drive; why it cannot be, or empty text.
QString OpenSource(const QString& source) {
    int position = -1;
    if (source.isEmpty()) {
        const QString saved =
            modSettings::ReadSetting(modSettings::kSection, modSettings::kDrive, {});
        const QStringList drives = modAKRip32::DriveListTexts();
        if (saved.isEmpty()) {
            if (drives.isEmpty())
                return QStringLiteral(
                    "no CD drive found; name a disc image or a drive's device path");
            position = 0;
        } else {
            position = modAKRip32::DriveIndexFor(drives, saved);
            if (position < 0)
                return QStringLiteral(
                    "the drive Settings saved is not there; name a disc image or a drive's "
                    "device path");
        }
    } else {
        const QByteArray path = modFiles::PathBytes(source);
        struct stat st {};
        if (::stat(path.constData(), &st) != 0)
            return Errno(errno);
        if (S_ISDIR(st.st_mode))
            return QStringLiteral("is a folder; name the disc image (the CUE sheet) in it");
        if (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode)) {
            akrip::SetCommandLineImages({});
            position = akrip::DrivePositionOf(path.toStdString());
            if (position < 0)
                return QStringLiteral("not a CD drive");
        } else {
            const std::string problem = akrip::ImageProblem(path.toStdString());
            if (!problem.empty())
                return QString::fromStdString(problem);
            akrip::SetCommandLineImages({path.toStdString()});
            position = akrip::DrivePositionOf(path.toStdString());
            if (position < 0)
                return QStringLiteral("too many drives to list it as one");
        }
    }
    if (!modAKRip32::OpenCD(position))
        return QStringLiteral("cannot read its table of contents (is there an audio CD?): ") +
               modAKRip32::CDErrorText();
    return {};
}

void PrintListing(const RunContext& run, const QString& source, const DiscListing& listing) {
    if (run.options.json) {
        PrintOut(ListingJson(listing, source));
        return;
    }
    QString text = Printable(ListingText(listing), true);
    if (run.severalSources)
        text = (source.isEmpty() ? QStringLiteral("(saved drive)") : source) +
               QStringLiteral(":\n") + text + u'\n';
    PrintOut(text.toUtf8());
}

ripengine::EncoderFactory MakeFactory(const RunContext& run,
                                      const std::vector<PlannedTrack>& planned) {
    std::map<int, ripengine::TrackTags> tags;
    for (const PlannedTrack& p : planned)
        tags[p.number] = p.tags;
    const Format format = run.options.format;
    const modLAME::LameLibrary* lame = run.lame;
    const lame_enc::BE_CONFIG config = run.mp3Config;
    return [format, lame, config,
            tags](const ripengine::Job& job) -> std::unique_ptr<ripengine::TrackEncoder> {
        const ripengine::TrackTags& t = tags.at(job.track);
        switch (format) {
        case Format::Mp3:
            return ripengine::MakeMp3Encoder(*lame, config, ripengine::Id3v24Tag(t));
        case Format::Flac:
            return ripengine::MakeFlacEncoder(t);
        case Format::Wav:
            break;
        }
        return ripengine::MakeWavEncoder();
    };
}

QString FileText(const QString& fileName) {
    return QDir::toNativeSeparators(fileName);
}

// The command line's face of a run: the redrawn progress line and its
// summary, and a line for every message.
class CommandFace final : public trackrun::Face {
  public:
    CommandFace(const std::vector<PlannedTrack>& planned, ProgressPrinter& printer)
        : planned_(planned), printer_(printer), started_(std::chrono::steady_clock::now()) {
        for (const PlannedTrack& p : planned) {
            progress_.audioTotal += p.end - p.start;
            done_.push_back(0);
        }
        progress_.tracksTotal = static_cast<int>(planned.size());
    }

    void TrackStarted(std::size_t index) override {
        progress_.name = QDir(planned_[index].fileName).dirName();
        progress_.sectorsDone = 0;
        progress_.sectorsTotal = planned_[index].end - planned_[index].start;
    }
    void Progress(std::size_t index, const ripengine::JobStatus& status) override {
        Measure(index, status);
        printer_.Update(progress_);
    }
    bool StopCurrent() const override { return stopsignals::Received() != 0; }
    void TrackEnded(std::size_t index, const ripengine::JobStatus& status, bool landed) override {
        Measure(index, status);
        // A track counts when it is whole and landed; one cut short counts
        // with the failed ones.
        if (status.outcome == ripengine::Outcome::Complete && landed) {
            ++progress_.tracksDone;
            printer_.TrackDone(progress_);
        }
    }
    void Tell(std::size_t, trackrun::Fault fault, const trackrun::TrackMessage& message) override {
        if (trackrun::Fails(fault))
            ++progress_.tracksFailed;
        printer_.Error(QStringLiteral("dorvane-rip: ") + message.line);
    }

    const ripcli::Progress& Current() const { return progress_; }

  private:
    void Measure(std::size_t index, const ripengine::JobStatus& status) {
        done_[index] = status.sectorsDone;
        progress_.sectorsDone = status.sectorsDone;
        progress_.audioDone = 0;
        for (const std::int32_t d : done_)
            progress_.audioDone += d;
        progress_.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    }

    const std::vector<PlannedTrack>& planned_;
    ProgressPrinter& printer_;
    std::chrono::steady_clock::time_point started_;
    ripcli::Progress progress_;
    std::vector<std::int32_t> done_;
};

// Extracts the planned tracks of the open drive; the source's exit status.
int Extract(RunContext& run, const std::vector<PlannedTrack>& planned) {
    std::vector<trackrun::Track> tracks;
    for (const PlannedTrack& p : planned)
        tracks.push_back({p.number, p.start, p.end, p.fileName});
    trackrun::Options options;
    options.jobs = run.options.jobs > 0 ? run.options.jobs : ripengine::DefaultJobs();
    options.poll = std::chrono::milliseconds(100);
    if (run.options.format == Format::Wav)
        options.maxPcmBytes = clsFileIo::kMaxWavAudioBytes;
    CommandFace face(planned, run.printer);
    const trackrun::Result result = trackrun::Run(tracks, MakeFactory(run, planned), options, face);
    if (!result.stopped)
        run.printer.Summary(face.Current());
    run.printer.Finish();
    return result.failed ? kExitTrackFailed : kExitOk;
}

// Lists or extracts one source into folder; its exit status.
int RunSource(RunContext& run, const QString& source, const QString& folder) {
    const QString what = source.isEmpty() ? QStringLiteral("the saved drive") : source;
    const OpenedDrive closer;
    const QString problem = OpenSource(source);
    if (!problem.isEmpty()) {
        run.printer.Error(Line(what, problem));
        return kExitUsage;
    }
    const int handle = modAKRip32::Drive().CDHandle;
    const DiscListing listing =
        MakeListing(modAKRip32::Drive().DiscTOC, akrip::ReadDiscText(handle));
    if (run.options.list) {
        PrintListing(run, source, listing);
        return kExitOk;
    }

    const NameChoices names{run.options.titles, run.options.prefix, run.options.noNumber,
                            run.options.nameTemplate};
    Plan plan = PlanTracks(listing, run.options.tracks, names,
                           modRip::EnsureTrailingBackslash(folder), Extension(run.options.format));
    if (!plan.error.isEmpty()) {
        run.printer.Error(Line(what, plan.error));
        return kExitUsage;
    }
    // Default names repeat from album to album: what is already there is
    // replaced only when asked, and --skip-existing resumes a cut run.
    if (!run.options.overwrite) {
        std::vector<PlannedTrack> left;
        QStringList there;
        for (PlannedTrack& p : plan.tracks) {
            struct stat st {};
            if (::lstat(modFiles::PathBytes(p.fileName).constData(), &st) != 0)
                left.push_back(std::move(p));
            else
                there << FileText(p.fileName);
        }
        if (!there.isEmpty() && !run.options.skipExisting) {
            for (const QString& file : there)
                run.printer.Error(
                    Line(file, QStringLiteral("is already there; --overwrite replaces "
                                              "it, --skip-existing leaves its track")));
            return kExitTrackFailed;
        }
        for (const QString& file : there)
            run.printer.Note(file + QStringLiteral(": already there, its track is skipped"));
        plan.tracks = std::move(left);
    }
    if (run.severalSources)
        run.printer.Note(what + QStringLiteral(" -> ") + FileText(folder));
    std::error_code made;
    std::filesystem::create_directories(modFiles::PathBytes(folder).toStdString(), made);
    if (made) {
        run.printer.Error(Line(FileText(folder), QStringLiteral("cannot create the folder: ") +
                                                     QString::fromStdString(made.message())));
        return kExitTrackFailed;
    }
    return Extract(run, plan.tracks);
}

} // namespace

int Run(const RipOptions& options) {
    ProgressPrinter printer = ProgressPrinter::ForStderr(options.quiet);
    RunContext run{options, printer};
    run.severalSources = options.sources.size() > 1;

    std::optional<modLAME::LameLibrary> lame;
    if (options.format == Format::Mp3 && !options.list) {
        QString error;
        lame = modLAME::LameLibrary::Load(error);
        if (!lame) {
            printer.Error(
                Line(modLAME::ModulePath(), error.section(QStringLiteral("\n\n"), 0, 0) +
                                                QStringLiteral("; install Dorvane again, or choose "
                                                               "-f wav or -f flac")));
            return kExitTrackFailed;
        }
        run.lame = &*lame;
        modRip::EncoderChoices choices;
        choices.bitrateText = options.bitrateText;
        choices.qualityIndex = options.qualityIndex;
        choices.privateFlag = options.privateFlag;
        choices.crc = options.crc;
        choices.copyright = options.copyright;
        choices.original = options.original;
        run.mp3Config = modRip::MakeEncoderConfig(choices);
    }

    QString base = options.output
                       ? *options.output
                       : modSettings::ReadSetting(modSettings::kSection, modSettings::kOutpath, {});
    if (base.isEmpty())
        base = QDir::currentPath();
    const QStringList sources =
        options.sources.isEmpty() ? QStringList(QString()) : options.sources;
    const QStringList folders = SourceFolders(base, sources);

    int status = kExitOk;
    for (qsizetype i = 0; i < sources.size(); ++i) {
        status = std::max(status, RunSource(run, sources[i], folders[i]));
        if (const int signal = stopsignals::Received())
            return 128 + signal;
    }
    return status;
}

} // namespace ripcli
