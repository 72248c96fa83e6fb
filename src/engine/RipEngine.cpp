#include "engine/RipEngine.h"

#include "cd/DiscInfo.h"
#include "engine/Flusher.h"
#include "engine/ReadBlock.h"
#include "general/modFiles.h"

#include "output/clsFileIo.h"
#include <QFileInfo>
#include <QSet>

#include <climits>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace ripengine {

int DefaultJobs() {
    // The cores this process may use (taskset, a container's limit), not
    // every core of the machine.
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (::sched_getaffinity(0, sizeof cpus, &cpus) == 0)
        return std::max(1, CPU_COUNT(&cpus));
    return std::max(1u, std::thread::hardware_concurrency());
}

namespace {

using detail::FileOutput;
using detail::Flusher;
using detail::FlushTarget;

// One block handed from a drive's reader to the job it belongs to.
struct Block {
    std::vector<unsigned char> pcm;
    std::int32_t sectors = 0;
    bool failed = false; // three reads failed
    int error = 0;
    std::string reason;
};

// A bounded queue from the reader to one job, so memory stays flat however
// long a track is. The reader finishes it; the job, or a stop, abandons it.
class BlockQueue {
  public:
    bool Push(Block block) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return abandoned_ || blocks_.size() < kCapacity; });
        if (abandoned_)
            return false;
        blocks_.push_back(std::move(block));
        changed_.notify_all();
        return true;
    }
    void Finish() {
        const std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }
    // False at the end of the track.
    bool Pop(Block& block) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return finished_ || abandoned_ || !blocks_.empty(); });
        if (blocks_.empty())
            return false;
        block = std::move(blocks_.front());
        blocks_.pop_front();
        changed_.notify_all();
        return true;
    }
    void Abandon() {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
        blocks_.clear();
        changed_.notify_all();
    }

  private:
    static constexpr std::size_t kCapacity = 16; // about 1 MB
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> blocks_;
    bool finished_ = false;
    bool abandoned_ = false;
};

struct JobState {
    explicit JobState(Job j) : job(std::move(j)) {}
    Job job;
    std::unique_ptr<BlockQueue> queue; // when one reader reads for every job
    std::atomic<bool> stop{false};
    std::atomic<bool> drop{false};
    // Guarded by the engine's mutex:
    std::int32_t published = 0;
    bool ended = false;
    JobStatus status;
    std::unique_ptr<clsFileIo> file; // kept until landed or discarded
};

} // namespace

struct RipEngine::Impl {
    std::vector<std::unique_ptr<JobState>> jobs;
    EncoderFactory factory;
    Options options;

    std::mutex mutex;
    std::condition_variable changed;
    // The first job that has not ended: the track a one-at-a-time run would
    // be on, whose progress the window shows. Guarded by mutex.
    int current = 0;
    std::atomic<int> next{0};
    std::unique_ptr<Flusher> flusher;
    std::vector<std::thread> threads;

    int Count() const { return static_cast<int>(jobs.size()); }

    void Worker() {
        for (int i = next++; i < Count(); i = next++)
            RunJob(i, *jobs[static_cast<std::size_t>(i)]);
    }

    // The drive read from start to end in track order, a block at a time.
    void Reader() {
        for (const auto& j : jobs) {
            ReadBlock block(options.handle);
            std::int32_t sector = j->job.start;
            for (std::int32_t left = std::max(0, j->job.end - j->job.start);
                 left > 0 && !j->drop;) {
                const std::int32_t wanted = std::min(kSectorsPerBlock, left);
                Block b;
                b.sectors = block.ReadLeading(sector, wanted);
                b.pcm.assign(block.Audio(), block.Audio() + b.sectors * akrip::kSectorBytes);
                // The sectors before a bad one go first, then the failure.
                if (b.sectors > 0 && !j->queue->Push(std::move(b)))
                    break;
                if (b.sectors < wanted) {
                    Block failure;
                    failure.failed = true;
                    failure.error = block.Error();
                    failure.reason = block.Reason();
                    j->queue->Push(std::move(failure));
                    break;
                }
                sector += b.sectors;
                left -= b.sectors;
            }
            j->queue->Finish();
        }
    }

    bool CurrentAsksStop(int index) {
        {
            const std::lock_guard lock(mutex);
            if (current != index)
                return false;
        }
        return options.stopCurrent && options.stopCurrent();
    }

    // Tells the caller of a block; true when the job is the current one and
    // is asked to end there.
    bool Publish(int index, JobState& j, std::int32_t sectors) {
        bool isCurrent = false;
        {
            const std::lock_guard lock(mutex);
            j.published = sectors;
            isCurrent = current == index;
            changed.notify_all();
        }
        if (options.afterBlock)
            options.afterBlock(index, sectors);
        return isCurrent && options.stopCurrent && options.stopCurrent();
    }

    void End(JobState& j, JobStatus status, std::unique_ptr<clsFileIo> file) {
        const std::lock_guard lock(mutex);
        if (j.drop) {
            status.outcome = Outcome::Dropped;
            status.hasFile = false;
            file.reset();
        }
        j.status = status;
        j.file = std::move(file);
        j.ended = true;
        while (current < Count() && jobs[static_cast<std::size_t>(current)]->ended)
            ++current;
        changed.notify_all();
    }

    void Drop(JobState& j) {
        j.drop = true;
        if (j.queue)
            j.queue->Abandon();
        const std::lock_guard lock(mutex);
        if (j.ended) {
            j.file.reset();
            j.status.outcome = Outcome::Dropped;
            j.status.hasFile = false;
        }
        changed.notify_all();
    }

    void RunJob(int index, JobState& j) {
        std::unique_ptr<clsFileIo> file;
        JobStatus st = Extract(index, j, file);
        st.sectorsTotal = std::max(0, j.job.end - j.job.start);
        switch (st.outcome) {
        case Outcome::Complete:
        case Outcome::Stopped:
        case Outcome::ReadFailed:
            st.hasFile = true;
            break;
        // A file that holds no audio is no use to anybody.
        case Outcome::WriteFailed:
            st.hasFile = st.sectorsDone > 0;
            break;
        default:
            st.hasFile = false;
            break;
        }
        if (!st.hasFile)
            file.reset();
        End(j, st, std::move(file));
        // A folder that takes no file, or a full disk, fails every later
        // track too: they stop now rather than fill what little room is left.
        if ((st.outcome == Outcome::CreateFailed && !st.nameOnly) ||
            st.outcome == Outcome::WriteFailed)
            for (int k = index + 1; k < Count(); ++k)
                Drop(*jobs[static_cast<std::size_t>(k)]);
    }

    // The reader stops filling a job's queue on every way out of the job's
    // reading, so it can go on with the tracks after it.
    struct LeaveQueue {
        explicit LeaveQueue(BlockQueue* q) : queue(q) {}
        ~LeaveQueue() {
            if (queue)
                queue->Abandon();
        }
        LeaveQueue(const LeaveQueue&) = delete;
        LeaveQueue& operator=(const LeaveQueue&) = delete;
        BlockQueue* queue;
    };

    // Whether the name can take the track's file; when not, st says why.
    // Nothing at the name is opened here: a FIFO would block the open for
    // good.
    bool NameTakesFile(const QString& fileName, JobStatus& st) const {
        const QByteArray path = modFiles::PathBytes(fileName);
        const auto slash = path.lastIndexOf('/');
        const auto refuse = [&](Outcome outcome, int error) {
            st.outcome = outcome;
            st.systemError = error;
            st.nameOnly = true;
            return false;
        };
        if (path.size() - slash - 1 > NAME_MAX)
            return refuse(Outcome::CreateFailed, ENAMETOOLONG);
        struct stat info {};
        if (::stat(path.constData(), &info) != 0)
            return true;
        if (S_ISDIR(info.st_mode))
            return refuse(Outcome::CreateFailed, EISDIR);
        if (!S_ISREG(info.st_mode))
            return refuse(Outcome::SpecialFile, 0);
        // A file the disc reads is never opened for writing.
        if (akrip::DiscReadsFile(options.handle, info.st_dev, info.st_ino))
            return refuse(Outcome::SourceFile, 0);
        if (!modFiles::MayReplace(path, info))
            return refuse(Outcome::CreateFailed, EACCES);
        return true;
    }

    // Makes the track's file in file, unless the job was dropped, its name is
    // a file the disc reads, the encoder refused or no file could be made.
    JobStatus Extract(int index, JobState& j, std::unique_ptr<clsFileIo>& file) {
        JobStatus st;
        if (j.drop) {
            st.outcome = Outcome::Dropped;
            return st;
        }
        std::unique_ptr<TrackEncoder> encoder;
        std::optional<FileOutput> out;
        FlushTarget target;
        {
            const LeaveQueue leave(j.queue.get());
            if (!NameTakesFile(j.job.fileName, st))
                return st;
            encoder = factory(j.job);
            if (!encoder->FaultText().isEmpty()) {
                st.outcome = Outcome::EncoderFailed;
                st.faultText = encoder->FaultText();
                return st;
            }
            file = std::make_unique<clsFileIo>();
            if (!file->OpenHidden(j.job.fileName)) {
                st.outcome = Outcome::CreateFailed;
                st.systemError = file->LastError();
                return st;
            }
            target.fd = file->Handle();
            out.emplace(*file, *flusher, target);
            Encode(index, j, *encoder, *out, st);
        }
        if (st.outcome != Outcome::Dropped && st.outcome != Outcome::EncoderFailed) {
            if (!encoder->End(*out, std::uint64_t(st.sectorsDone) * akrip::kSectorBytes) &&
                st.outcome != Outcome::WriteFailed)
                st.outcome = out->Error() != 0 ? Outcome::WriteFailed : Outcome::EncoderFailed;
        }
        encoder.reset();
        // A track ends once its file is on the disk; a flush that failed is a
        // write that failed.
        int flushError = flusher->Settle(target);
        if (flushError == 0 && st.outcome != Outcome::Dropped && !file->FlushBuffers())
            flushError = file->LastError();
        if (st.outcome == Outcome::WriteFailed ||
            (flushError != 0 && st.outcome != Outcome::Dropped)) {
            st.outcome = Outcome::WriteFailed;
            st.systemError = out->Error() != 0 ? out->Error() : flushError;
        }
        return st;
    }

    // Reads and encodes the track's blocks; st.sectorsDone counts what was
    // encoded, st.outcome says how it ended.
    void Encode(int index, JobState& j, TrackEncoder& encoder, FileOutput& out, JobStatus& st) {
        const std::int32_t total = std::max(0, j.job.end - j.job.start);
        const auto encodeFailed = [&] {
            st.outcome = out.Error() != 0 ? Outcome::WriteFailed : Outcome::EncoderFailed;
            st.faultText = encoder.FaultText();
        };
        st.outcome = Outcome::Complete;
        if (!encoder.Begin(out, std::uint64_t(total) * akrip::kSectorBytes))
            return encodeFailed();
        ReadBlock block(options.handle);
        Block queued;
        std::int32_t& encoded = st.sectorsDone;
        for (std::int32_t left = total; left > 0;) {
            if (j.drop) {
                st.outcome = Outcome::Dropped;
                return;
            }
            // A stop that came before the track's first block leaves nothing
            // of it, not a stub.
            if (encoded == 0 && (j.stop || CurrentAsksStop(index))) {
                st.outcome = Outcome::Stopped;
                return;
            }
            // n sectors that read; a failure after them, if any.
            std::int32_t n = 0;
            const unsigned char* audio = nullptr;
            bool failed = false;
            if (j.queue) {
                if (!j.queue->Pop(queued)) {
                    st.outcome = Outcome::Dropped;
                    return;
                }
                n = queued.sectors;
                audio = queued.pcm.data();
                failed = queued.failed;
                st.readError = queued.error;
                st.readReason = QString::fromStdString(queued.reason);
            } else {
                const std::int32_t wanted = std::min(kSectorsPerBlock, left);
                n = block.ReadLeading(j.job.start + encoded, wanted);
                audio = block.Audio();
                failed = n < wanted;
                st.readError = block.Error();
                st.readReason = QString::fromStdString(block.Reason());
            }
            if (n > 0) {
                if (!encoder.Encode(out, audio, n))
                    return encodeFailed();
                encoded += n;
                left -= n;
            }
            if (failed) {
                st.outcome = Outcome::ReadFailed;
                if (st.readError == 0)
                    st.readError = akrip::E_ASPIERROR;
                st.failedSector = j.job.start + encoded;
                Publish(index, j, encoded);
                return;
            }
            if ((Publish(index, j, encoded) || j.stop) && left > 0) {
                st.outcome = Outcome::Stopped;
                return;
            }
        }
    }
};

RipEngine::RipEngine(std::vector<Job> jobs, EncoderFactory factory, Options options)
    : impl_(new Impl) {
    impl_->factory = std::move(factory);
    impl_->options = options;
    impl_->options.jobs = std::max(1, options.jobs);
    for (Job& job : jobs) {
        impl_->jobs.push_back(std::make_unique<JobState>(std::move(job)));
        if (options.oneReader)
            impl_->jobs.back()->queue = std::make_unique<BlockQueue>();
    }
}

RipEngine::~RipEngine() {
    for (const auto& j : impl_->jobs)
        impl_->Drop(*j);
    for (std::thread& t : impl_->threads)
        t.join();
}

void RipEngine::Start() {
    if (!impl_->threads.empty() || impl_->jobs.empty())
        return;
    impl_->flusher = std::make_unique<Flusher>();
    // What runs killed before their files took their names left behind.
    QSet<QString> folders;
    for (const auto& j : impl_->jobs)
        folders.insert(QFileInfo(j->job.fileName).path());
    for (const QString& folder : folders)
        clsFileIo::RemoveStaleHidden(folder);
    const int workers = std::min(impl_->options.jobs, Count());
    for (int i = 0; i < workers; ++i)
        impl_->threads.emplace_back([this] { impl_->Worker(); });
    if (impl_->options.oneReader)
        impl_->threads.emplace_back([this] { impl_->Reader(); });
}

int RipEngine::Count() const {
    return impl_->Count();
}

JobStatus RipEngine::Status(int index) const {
    const std::lock_guard lock(impl_->mutex);
    const JobState& j = *impl_->jobs.at(static_cast<std::size_t>(index));
    JobStatus status = j.status;
    status.sectorsTotal = std::max(0, j.job.end - j.job.start);
    if (!j.ended) {
        status.outcome = j.drop ? Outcome::Dropped : Outcome::Running;
        status.sectorsDone = j.published;
    }
    return status;
}

bool RipEngine::WaitEnded(int index, std::chrono::milliseconds timeout) {
    std::unique_lock lock(impl_->mutex);
    const JobState& j = *impl_->jobs.at(static_cast<std::size_t>(index));
    return impl_->changed.wait_for(lock, timeout, [&] { return j.ended; });
}

bool RipEngine::Land(int index, int& error, const QString& as) {
    std::unique_ptr<clsFileIo> file;
    {
        std::unique_lock lock(impl_->mutex);
        JobState& j = *impl_->jobs.at(static_cast<std::size_t>(index));
        impl_->changed.wait(lock, [&] { return j.ended; });
        file = std::move(j.file);
    }
    error = 0;
    if (!file)
        return false;
    if (!(as.isEmpty() ? file->Land() : file->LandAs(as))) {
        error = file->LastError();
        return false;
    }
    file->CloseFile();
    return true;
}

void RipEngine::StopAfterBlock(int index) {
    impl_->jobs.at(static_cast<std::size_t>(index))->stop = true;
    DropAfter(index);
    const std::lock_guard lock(impl_->mutex);
    impl_->changed.notify_all();
}

void RipEngine::DropAfter(int index) {
    for (int k = index + 1; k < Count(); ++k)
        impl_->Drop(*impl_->jobs[static_cast<std::size_t>(k)]);
}

} // namespace ripengine
