#include "extract/StopSignals.h"

#include "extract/mVariables.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace stopsignals {

namespace {

std::atomic<int> wake{-1};
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);

// Only async-signal-safe work: atomics and write(2).
void OnSignal(int signal) {
    const int saved = errno;
    received = signal;
    mVariables::StopRequested = true;
    const int fd = wake;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

bool Install(int wakeFd) {
    wake = wakeFd;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool ok = true;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ok = ::sigaction(signal, &action, nullptr) == 0 && ok;
    return ok;
}

int Received() { return received; }

}  // namespace stopsignals
