#include "rip/RipRun.h"

#include "cd/DiscInfo.h"
#include "cd/ImageDrives.h"
#include "cd/modAKRip32.h"
#include "extract/FlacEncoder.h"
#include "extract/RipEngine.h"
#include "extract/TrackEncoders.h"
#include "extract/modLAME.h"
#include "extract/modRip.h"
#include "general/modFiles.h"
#include "rip/DiscListing.h"
#include "rip/ProgressPrinter.h"
#include "rip/TrackPlan.h"
#include "settings/modSettings.h"

#include <QDir>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

namespace ripcli {
namespace {

std::atomic<int> pendingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "a signal handler may only touch lock-free atomics");

extern "C" void OnSignal(int number) {
    int none = 0;
    pendingSignal.compare_exchange_strong(none, number);
}

QString SignalName(int number) {
    switch (number) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(number);
    }
}

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
        PrintOut(ListingJson(listing));
        return;
    }
    QString text = ListingText(listing);
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

// The message for a job that ended other than complete, and whether it ends
// the source.
struct Ending {
    QString message;
    bool failed = false;
    bool stopsSource = false;
};

Ending Describe(const ripengine::JobStatus& st, const PlannedTrack& track, int signal) {
    const QString file = FileText(track.fileName);
    switch (st.outcome) {
    case ripengine::Outcome::Complete:
    case ripengine::Outcome::Running:
        return {};
    case ripengine::Outcome::Stopped:
        return {Line(file, QStringLiteral("stopped by %1; the file holds the first %2 of the track")
                               .arg(SignalName(signal), SectorTime(st.sectorsDone))),
                false, true};
    case ripengine::Outcome::ReadFailed: {
        QString why = modAKRip32::CDErrorText(st.readError);
        if (why.isEmpty())
            why = QStringLiteral("error %1").arg(st.readError);
        return {Line(file, QStringLiteral(
                               "cannot read the disc at sector %1, %2 into track %3 (%4); the file "
                               "holds the audio before it")
                               .arg(st.failedSector)
                               .arg(SectorTime(st.failedSector - track.start))
                               .arg(track.number)
                               .arg(why)),
                true, false};
    }
    case ripengine::Outcome::WriteFailed:
        return {Line(file, QStringLiteral("cannot write: ") + Errno(st.systemError)), true, true};
    case ripengine::Outcome::CreateFailed:
        return {Line(file, QStringLiteral("cannot create: ") + Errno(st.systemError)), true, true};
    case ripengine::Outcome::SourceFile:
        return {Line(file,
                     QStringLiteral(
                         "the disc reads its audio from this file, so it is left as it is; choose "
                         "another --output folder")),
                true, false};
    case ripengine::Outcome::EncoderFailed:
        return {Line(file, QStringLiteral("the encoder refused the track: ") + st.faultText), true,
                true};
    case ripengine::Outcome::Dropped:
        return {{}, false, true};
    }
    return {};
}

// Extracts the planned tracks of the open drive; the source's exit status.
int Extract(RunContext& run, const std::vector<PlannedTrack>& planned) {
    std::vector<ripengine::Job> jobs;
    Progress progress;
    for (const PlannedTrack& p : planned) {
        jobs.push_back({p.number, p.start, p.end, p.fileName});
        progress.audioTotal += p.end - p.start;
    }
    progress.tracksTotal = static_cast<int>(jobs.size());
    ripengine::Options engineOptions;
    engineOptions.jobs = run.options.jobs > 0 ? run.options.jobs : ripengine::DefaultJobs();
    engineOptions.handle = modAKRip32::Drive().CDHandle;
    engineOptions.oneReader = !akrip::IsImageHandle(engineOptions.handle);
    ripengine::RipEngine engine(jobs, MakeFactory(run, planned), engineOptions);

    const auto started = std::chrono::steady_clock::now();
    const auto measure = [&](int index) {
        const ripengine::JobStatus st = engine.Status(index);
        progress.name = QDir(planned[static_cast<std::size_t>(index)].fileName).dirName();
        progress.sectorsDone = st.sectorsDone;
        progress.sectorsTotal = st.sectorsTotal;
        progress.audioDone = 0;
        for (int j = 0; j < engine.Count(); ++j)
            progress.audioDone += engine.Status(j).sectorsDone;
        progress.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return st;
    };

    engine.Start();
    int status = kExitOk;
    bool stopping = false;
    for (int i = 0; i < engine.Count(); ++i) {
        const auto stopIfSignalled = [&] {
            if (!stopping && pendingSignal.load() != 0) {
                engine.StopAfterBlock(i);
                stopping = true;
            }
        };
        stopIfSignalled();
        while (!engine.WaitEnded(i, std::chrono::milliseconds(100))) {
            stopIfSignalled();
            measure(i);
            run.printer.Update(progress);
        }
        stopIfSignalled();
        const ripengine::JobStatus st = measure(i);
        const PlannedTrack& track = planned[static_cast<std::size_t>(i)];
        if (st.hasFile) {
            int error = 0;
            if (!engine.Land(i, error)) {
                run.printer.Error(Line(FileText(track.fileName),
                                       QStringLiteral("cannot write: ") + Errno(error)));
                engine.DropAfter(i);
                return kExitTrackFailed;
            }
        }
        const Ending ending = Describe(st, track, pendingSignal.load());
        if (st.outcome == ripengine::Outcome::Complete || (st.hasFile && !ending.stopsSource)) {
            ++progress.tracksDone;
            run.printer.TrackDone(progress);
        }
        if (!ending.message.isEmpty())
            run.printer.Error(ending.message);
        if (ending.failed)
            status = kExitTrackFailed;
        if (ending.stopsSource || stopping) {
            engine.DropAfter(i);
            break;
        }
    }
    if (!stopping)
        run.printer.Summary(progress);
    run.printer.Finish();
    return status;
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

    const NameChoices names{run.options.titles, run.options.prefix, run.options.noNumber};
    const Plan plan =
        PlanTracks(listing, run.options.tracks, names, modRip::EnsureTrailingBackslash(folder),
                   Extension(run.options.format));
    if (!plan.error.isEmpty()) {
        run.printer.Error(Line(what, plan.error));
        return kExitUsage;
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

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted writes carry on: the run ends at a block's end, not mid-write.
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(number, &action, nullptr);
}

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
        if (const int signal = pendingSignal.load())
            return 128 + signal;
    }
    return status;
}

} // namespace ripcli
