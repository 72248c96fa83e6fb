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
#include "rip/Lookup.h"
#include "rip/ProgressPrinter.h"
#include "rip/RipCheck.h"
#include "rip/RipReport.h"
#include "rip/TrackPlan.h"
#include "settings/modSettings.h"
#include "verify/ChecksumEncoder.h"

#include <QDir>
#include <QFileInfo>

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
    // Where AccurateRip's answers come from; nothing when none was asked for.
    std::optional<verify::ResponseSource> answers;
    // Checksums ride along an extraction when something takes them: the
    // log, the JSON or AccurateRip.
    bool checksums = true;
};

// What the run knows of the source it opened.
struct SourceInfo {
    LogSource log;
    QString logName;        // the image's file name without its extension; empty for a drive
    QByteArray musicBrainz; // --lookup's answer, for the JSON
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

QString DriveText(int position) {
    const std::optional<akrip::CDREC> entry = modAKRip32::GetCDEntry(position);
    return entry ? modAKRip32::BytesToText(entry->id, sizeof entry->id) : QString();
}

// Opens the source as the program's drive; why it cannot be, or empty text.
QString OpenSource(const QString& source, SourceInfo& info) {
    int position = -1;
    bool image = false;
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
            image = true;
        }
    }
    if (!modAKRip32::OpenCD(position))
        return QStringLiteral("cannot read its table of contents (is there an audio CD?): ") +
               modAKRip32::CDErrorText();
    if (image) {
        info.log.imagePath = QFileInfo(source).absoluteFilePath();
        info.logName = QFileInfo(source).completeBaseName();
    } else {
        info.log.drive = DriveText(position);
        if (!source.isEmpty())
            info.log.drive += QStringLiteral(" (") + source + u')';
        // A saved image drive is known by its text, "IMAGE album.cue".
        const QString imageMark = QStringLiteral("IMAGE ");
        if (info.log.drive.startsWith(imageMark))
            info.logName = QFileInfo(info.log.drive.mid(imageMark.size())).completeBaseName();
    }
    return {};
}

// The listing, or the table --verify checks, as text or JSON.
void PrintResult(const RunContext& run, const QString& source, const DiscListing& listing,
                 const DiscReport* report, const QString& table,
                 const QByteArray& musicBrainz = {}) {
    if (run.options.json) {
        PrintOut(ListingJson(listing, source, report, musicBrainz));
        return;
    }
    QString text = Printable(table, true);
    if (run.severalSources)
        text = (source.isEmpty() ? QStringLiteral("(saved drive)") : source) +
               QStringLiteral(":\n") + text + u'\n';
    PrintOut(text.toUtf8());
}

using Sinks = std::map<int, std::shared_ptr<verify::ChecksumSink>>;

// Each track's encoder, wrapped so that its checksums are taken from the
// blocks it encodes.
ripengine::EncoderFactory MakeFactory(const RunContext& run,
                                      const std::vector<PlannedTrack>& planned,
                                      const verify::DiscToc& toc, const Sinks& sinks) {
    std::map<int, ripengine::TrackTags> tags;
    std::map<int, verify::TrackPlace> places;
    for (const PlannedTrack& p : planned) {
        tags[p.number] = p.tags;
        places[p.number] = verify::PlaceOf(toc, p.number);
    }
    const Format format = run.options.format;
    const modLAME::LameLibrary* lame = run.lame;
    const lame_enc::BE_CONFIG config = run.mp3Config;
    return [format, lame, config, tags, places,
            sinks](const ripengine::Job& job) -> std::unique_ptr<ripengine::TrackEncoder> {
        const ripengine::TrackTags& t = tags.at(job.track);
        std::unique_ptr<ripengine::TrackEncoder> encoder;
        switch (format) {
        case Format::Mp3:
            encoder = ripengine::MakeMp3Encoder(*lame, config, ripengine::Id3v24Tag(t),
                                                ripengine::InfoFrame::Write);
            break;
        case Format::Flac:
            encoder = ripengine::MakeFlacEncoder(t);
            break;
        case Format::Wav:
            encoder = ripengine::MakeWavEncoder();
            break;
        }
        const auto sink = sinks.find(job.track);
        if (sink == sinks.end())
            return encoder;
        return verify::WithChecksums(std::move(encoder), places.at(job.track), sink->second);
    };
}

// What became of a track, for its log entry.
std::string OutcomeText(const ripengine::JobStatus& status, bool landed) {
    using ripengine::Outcome;
    switch (status.outcome) {
    case Outcome::Complete:
        return landed ? "complete" : "complete, but the file could not take its name";
    case Outcome::Stopped:
        return "stopped after " + trackrun::SectorTime(status.sectorsDone).toStdString();
    case Outcome::ReadFailed:
        return "cannot read sector " + std::to_string(status.failedSector);
    case Outcome::WriteFailed:
        return "cannot write the file";
    case Outcome::CreateFailed:
    case Outcome::SpecialFile:
    case Outcome::SourceFile:
        return "no file made";
    case Outcome::EncoderFailed:
        return "the encoder refused the track";
    case Outcome::Running:
    case Outcome::Dropped:
        break;
    }
    return "not extracted";
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
        landed_[index] = landed;
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
    bool Landed(std::size_t index) const { return landed_[index]; }

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
    std::vector<bool> landed_ = std::vector<bool>(planned_.size());
};

// Extracts the planned tracks of the open drive, each track's checksums
// taken on the way into report; the source's exit status.
int Extract(RunContext& run, const std::vector<PlannedTrack>& planned, DiscReport& report) {
    std::vector<trackrun::Track> tracks;
    Sinks sinks;
    for (const PlannedTrack& p : planned) {
        tracks.push_back({p.number, p.start, p.end, p.fileName});
        if (run.checksums)
            sinks[p.number] = std::make_shared<verify::ChecksumSink>();
    }
    trackrun::Options options;
    options.jobs = run.options.jobs > 0 ? run.options.jobs : ripengine::DefaultJobs();
    options.poll = std::chrono::milliseconds(100);
    if (run.options.format == Format::Wav)
        options.maxPcmBytes = clsFileIo::kMaxWavAudioBytes;
    CommandFace face(planned, run.printer);
    const trackrun::Result result =
        trackrun::Run(tracks, MakeFactory(run, planned, report.toc, sinks), options, face);
    if (!result.stopped)
        run.printer.Summary(face.Current());
    run.printer.Finish();
    for (std::size_t i = 0; i < planned.size(); ++i) {
        TrackReport t;
        t.number = planned[i].number;
        t.title = planned[i].tags.title;
        t.fileName = planned[i].fileName;
        t.outcome = OutcomeText(result.statuses[i], face.Landed(i));
        const auto sink = sinks.find(t.number);
        if (sink != sinks.end() && sink->second->Result())
            t.sums = *sink->second->Result();
        else // nothing taken in: not whole
            t.sums.expected =
                std::uint64_t(planned[i].end - planned[i].start) * verify::kSectorSamples;
        report.tracks.push_back(std::move(t));
    }
    return result.failed ? kExitTrackFailed : kExitOk;
}

// After an extraction: AccurateRip's verdicts when asked for (said in one
// line, never failing the run), the JSON, and the log; the source's status.
int Conclude(RunContext& run, const QString& source, const DiscListing& listing, DiscReport& report,
             const SourceInfo& info, const QString& logPath, int status) {
    if (report.tracks.empty())
        return status;
    if (stopsignals::Received() != 0)
        report.lookup.text = "not asked: the run was stopped";
    else if (run.checksums)
        CheckReport(report, run.answers, modAKRip32::Drive().CDHandle);
    const QString text = QString::fromStdString(report.lookup.text);
    switch (report.lookup.status) {
    case ArLookup::Status::Found:
        run.printer.Note(QStringLiteral("AccurateRip: ") + CheckSummary(report));
        break;
    case ArLookup::Status::NotInDatabase:
        run.printer.Note(QStringLiteral("AccurateRip: ") + text);
        break;
    case ArLookup::Status::Failed:
        run.printer.Error(Line(QStringLiteral("AccurateRip"), text));
        break;
    case ArLookup::Status::NotAsked:
        break;
    }
    if (!logPath.isEmpty() && run.checksums) {
        std::string error;
        if (verify::WriteRipLog(modFiles::PathBytes(logPath).toStdString(),
                                MakeRipLog(report, listing, info.log), error,
                                run.options.overwrite)) {
            report.logFile = logPath;
        } else {
            run.printer.Error(QStringLiteral("dorvane-rip: ") + QString::fromStdString(error));
            status = std::max(status, kExitTrackFailed);
        }
    }
    if (run.options.json)
        PrintOut(ListingJson(listing, source, &report, info.musicBrainz));
    return status;
}

// Reads the planned tracks without writing anything and checks them; 0 when
// every one is accurate.
int VerifySource(RunContext& run, const QString& source, const QString& what,
                 const DiscListing& listing, const std::vector<PlannedTrack>& planned,
                 DiscReport& report) {
    std::vector<ReadTrack> tracks;
    for (const PlannedTrack& p : planned)
        tracks.push_back({p.number, p.start, p.end, p.tags.title});
    const int handle = modAKRip32::Drive().CDHandle;
    ReadTracks(report, tracks, handle, what, run.printer);
    if (stopsignals::Received() != 0)
        return kExitTrackFailed;
    CheckReport(report, run.answers, handle);
    PrintResult(run, source, listing, &report, CheckTable(report));
    return AllAccurate(report) ? kExitOk : kExitTrackFailed;
}

// Lists, checks or extracts one source into folder; its exit status.
int RunSource(RunContext& run, const QString& source, const QString& folder) {
    const QString what = source.isEmpty() ? QStringLiteral("the saved drive") : source;
    const OpenedDrive closer;
    SourceInfo info;
    const QString problem = OpenSource(source, info);
    if (!problem.isEmpty()) {
        run.printer.Error(Line(what, problem));
        return kExitUsage;
    }
    const int handle = modAKRip32::Drive().CDHandle;
    akrip::DiscText text = akrip::ReadDiscText(handle);
    DiscListing listing = MakeListing(modAKRip32::Drive().DiscTOC, text);
    DiscReport report = StartReport(modAKRip32::Drive().DiscTOC);
    DiscLookup lookup;
    if (run.options.lookup) {
        lookup = LookUpNames(run.options, report.toc, run.printer);
        info.musicBrainz = ReleasesJson(lookup);
    }
    if (run.options.list) {
        PrintResult(run, source, listing, &report, ListingText(listing) + ReleasesText(lookup),
                    info.musicBrainz);
        return kExitOk;
    }
    // The release's names over the disc's, where it has them.
    if (lookup.release)
        ApplyRelease(*lookup.release, run.options.titles, listing, text);

    // --verify names nothing, so the window's names can never clash.
    const NameChoices names =
        run.options.verify
            ? NameChoices{}
            : NameChoices{run.options.titles || lookup.release.has_value(), run.options.prefix,
                          run.options.noNumber, run.options.nameTemplate};
    const QString slashed = modRip::EnsureTrailingBackslash(folder);
    Plan plan = PlanTracks(listing, run.options.tracks, names, slashed,
                           Extension(run.options.format), text);
    if (!plan.error.isEmpty()) {
        run.printer.Error(Line(what, plan.error));
        return kExitUsage;
    }
    if (run.options.verify)
        return VerifySource(run, source, what, listing, plan.tracks, report);

    // The log is named after the prefix, else the image.
    QString logName = run.options.prefix.value_or(info.logName);
    if (logName.isEmpty())
        logName = info.logName.isEmpty() ? QStringLiteral("CD1") : info.logName;
    QString logPath = run.options.noLog || !run.checksums
                          ? QString()
                          : modRip::OutputFileName(slashed, logName, QStringLiteral(".log"));
    // Default names repeat from album to album: what is already there is
    // replaced only when asked, and --skip-existing resumes a cut run. The
    // log goes by the same rules.
    if (!run.options.overwrite) {
        const auto there = [](const QString& file) {
            struct stat st {};
            return ::lstat(modFiles::PathBytes(file).constData(), &st) == 0;
        };
        std::vector<PlannedTrack> left;
        QStringList existing;
        for (PlannedTrack& p : plan.tracks) {
            if (!there(p.fileName))
                left.push_back(std::move(p));
            else
                existing << FileText(p.fileName);
        }
        const bool logThere = !logPath.isEmpty() && there(logPath);
        if (logThere && !run.options.skipExisting)
            existing << FileText(logPath);
        if (!existing.isEmpty() && !run.options.skipExisting) {
            for (const QString& file : existing)
                run.printer.Error(
                    Line(file, QStringLiteral("is already there; --overwrite replaces "
                                              "it, --skip-existing leaves its track")));
            return kExitTrackFailed;
        }
        for (const QString& file : existing)
            run.printer.Note(file + QStringLiteral(": already there, its track is skipped"));
        if (logThere) {
            run.printer.Note(FileText(logPath) +
                             QStringLiteral(": already there, no log is written"));
            logPath.clear();
        }
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
    if (lookup.release) {
        names::CoverResult cover;
        if (!run.options.noCover)
            cover = SaveCover(*lookup.release, LookupSettings(run.options), folder,
                              run.options.overwrite, run.printer);
        const std::string discId = report.ids ? report.ids->musicBrainz : std::string();
        for (PlannedTrack& p : plan.tracks)
            TagFromRelease(*lookup.release, discId, cover, p);
    }
    const int status = Extract(run, plan.tracks, report);
    return Conclude(run, source, listing, report, info, logPath, status);
}

} // namespace

int Run(const RipOptions& options) {
    ProgressPrinter printer = ProgressPrinter::ForStderr(options.quiet);
    RunContext run{options, printer, nullptr, {}, false, {}, true};
    run.severalSources = options.sources.size() > 1;

    std::optional<modLAME::LameLibrary> lame;
    run.answers = AnswerSource(options);
    run.checksums = !options.noLog || options.json || run.answers;
    if (options.format == Format::Mp3 && !options.list && !options.verify) {
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
