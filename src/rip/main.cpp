// dorvane-rip: Dorvane's extraction from the command line, for scripts and
// whole collections. No display and no event loop: the extraction engine
// runs its own threads and the main thread waits on them.

#include "engine/StopSignals.h"
#include "general/modFiles.h"
#include "general/modGeneral.h"
#include "rip/CommandRun.h"
#include "rip/RipOptions.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

// Output that never reached its reader (a full disk, a closed pipe) fails
// the command, as it does ls and cat.
int CheckedStdout(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return status;
    std::fprintf(stderr, "dorvane-rip: standard output: %s\n", std::strerror(errno));
    return std::max(status, ripcli::kExitTrackFailed);
}

} // namespace

int main(int argc, char** argv) {
    // A closed pipe is told by the write that meets it, not by a signal that
    // would end a rip without a word.
    std::signal(SIGPIPE, SIG_IGN);
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << modFiles::PathFromBytes(QByteArray(argv[i]));
    const ripcli::ParsedArguments parsed = ripcli::ParseArguments(args);
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "dorvane-rip: %s\nTry 'dorvane-rip --help' for more information.\n",
                     parsed.error.toUtf8().constData());
        return ripcli::kExitUsage;
    }
    if (parsed.options.help) {
        std::fputs(ripcli::UsageText().toUtf8().constData(), stdout);
        return CheckedStdout(ripcli::kExitOk);
    }
    if (parsed.options.version) {
        std::printf("dorvane-rip %d.%d.%d\n", modGeneral::VersionMajor(),
                    modGeneral::VersionMinor(), modGeneral::VersionRevision());
        return CheckedStdout(ripcli::kExitOk);
    }
    // SIGINT, SIGTERM and SIGHUP end the run after the current block.
    stopsignals::Install();
    const int status = CheckedStdout(ripcli::Run(parsed.options));
    // Once the files are whole, the command dies by the signal that stopped
    // it, so that a shell loop around it stops too.
    if (const int signal = stopsignals::Received()) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    return status;
}
