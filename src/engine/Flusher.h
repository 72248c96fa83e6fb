#pragma once
// What makes a track's writes durable without the encoding waiting for the
// disk: the flusher thread, and the output an encoder writes through, which
// asks it for flushes. Internal to the engine.

#include "output/TrackEncoder.h"
#include "output/clsFileIo.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace ripengine::detail {

using Clock = std::chrono::steady_clock;

// A file whose writes the flusher makes durable.
struct FlushTarget {
    int fd = -1;
    // Guarded by the flusher's mutex:
    bool queued = false;
    bool running = false;
    bool urgent = false;       // its track waits for it
    std::uint64_t pending = 0; // bytes written since the last flush began
    Clock::time_point last{};
    int error = 0;
};

// Makes written data durable on a thread of its own, so encoding never waits
// for the disk. Small writes to one file are gathered into one flush at most
// every kInterval: a flush of every small MP3 block would keep the page being
// written under writeback, and each next write would wait for the disk. A
// file with kBurst bytes or more waiting (a WAV copy) is flushed at once, so
// the disk keeps up with the copy and its end waits for little.
class Flusher {
  public:
    static constexpr std::chrono::milliseconds kInterval{100};
    static constexpr std::uint64_t kBurst = 1 << 20;

    Flusher() : thread_([this] { Run(); }) {}
    ~Flusher() {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
            changed_.notify_all();
        }
        thread_.join();
    }
    Flusher(const Flusher&) = delete;
    Flusher& operator=(const Flusher&) = delete;

    void Request(FlushTarget& target, std::uint64_t bytes) {
        const std::lock_guard lock(mutex_);
        target.pending += bytes;
        if (!target.queued || target.pending >= kBurst)
            changed_.notify_all();
        if (!target.queued) {
            target.queued = true;
            queue_.push_back(&target);
            changed_.notify_all();
        }
    }
    // Flushes what is pending for target at once and waits for it; its first
    // failure, if any, is the result.
    int Settle(FlushTarget& target) {
        std::unique_lock lock(mutex_);
        target.urgent = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !target.queued && !target.running; });
        target.urgent = false;
        return target.error;
    }

  private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (quit_ && queue_.empty())
                return;
            // The target due first; one whose track waits is due now.
            const auto due = [](const FlushTarget* t) {
                return t->urgent || t->pending >= kBurst ? Clock::time_point{}
                                                         : t->last + kInterval;
            };
            const auto next = std::min_element(
                queue_.begin(), queue_.end(),
                [&](const FlushTarget* a, const FlushTarget* b) { return due(a) < due(b); });
            if (next == queue_.end()) {
                changed_.wait(lock);
                continue;
            }
            if (!quit_ && due(*next) > Clock::now()) {
                changed_.wait_until(lock, due(*next));
                continue;
            }
            FlushTarget& target = **next;
            queue_.erase(next);
            target.queued = false;
            target.running = true;
            target.pending = 0;
            const int fd = target.fd;
            lock.unlock();
            // A pipe or a device has nothing to make durable: no failure.
            const int error = ::fdatasync(fd) == 0 || errno == EINVAL ? 0 : errno;
            lock.lock();
            target.running = false;
            target.last = Clock::now();
            if (target.error == 0)
                target.error = error;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FlushTarget*> queue_;
    bool quit_ = false;
    std::thread thread_; // last, so it starts once the rest is ready
};

class FileOutput final : public TrackOutput {
  public:
    FileOutput(clsFileIo& file, Flusher& flusher, FlushTarget& target)
        : file_(file), flusher_(flusher), target_(target) {}

    bool Write(const void* data, std::size_t bytes) override {
        for (std::size_t done = 0; done < bytes;) {
            const std::size_t n = std::min<std::size_t>(bytes - done, 1 << 30);
            if (!file_.WriteBytes(static_cast<const char*>(data) + done,
                                  static_cast<std::int32_t>(n)))
                return Failed();
            done += n;
        }
        written_ += bytes;
        return true;
    }
    bool Truncate(std::uint64_t size) override {
        return file_.Truncate(static_cast<std::int64_t>(size)) || Failed();
    }
    bool Seek(std::uint64_t offset) override {
        return file_.Seek(static_cast<std::int64_t>(offset)) >= 0 || Failed();
    }
    std::uint64_t Tell() const override {
        return static_cast<std::uint64_t>(std::max<std::int64_t>(0, file_.Tell()));
    }
    void RequestFlush() override {
        flusher_.Request(target_, written_);
        written_ = 0;
    }

    // errno of the first failure; 0 when none.
    int Error() const { return error_; }

  private:
    bool Failed() {
        if (error_ == 0)
            error_ = file_.LastError() != 0 ? file_.LastError() : EIO;
        return false;
    }

    clsFileIo& file_;
    Flusher& flusher_;
    FlushTarget& target_;
    int error_ = 0;
    std::uint64_t written_ = 0; // since the last RequestFlush
};

} // namespace ripengine::detail
