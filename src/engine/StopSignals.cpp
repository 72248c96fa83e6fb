#include "engine/StopSignals.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

namespace stopsignals {

namespace {

std::atomic<int> wake{-1};
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "a signal handler may only touch lock-free atomics");

// Only async-signal-safe work: atomics and write(2).
void OnSignal(int signal) {
    const int saved = errno;
    int none = 0;
    // A second signal means now: the default action ends the process once
    // this handler returns. Unnamed hidden files vanish with it; named ones
    // go at the next run in their folder.
    if (!received.compare_exchange_strong(none, signal)) {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    }
    const int fd = wake;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

bool Install(int wakeFd) {
    wake = wakeFd;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted writes carry on: a run ends at a block's end, not mid-write.
    action.sa_flags = SA_RESTART;
    bool ok = true;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        // A signal ignored at start stays ignored: nohup protects a run.
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        ok = ::sigaction(signal, &action, nullptr) == 0 && ok;
    }
    return ok;
}

int Received() {
    return received;
}

} // namespace stopsignals
