// dorvane-rip: Dorvane's extraction from the command line, for scripts and
// whole collections. No display and no event loop: the extraction engine
// runs its own threads and the main thread waits on them.

#include "engine/StopSignals.h"
#include "general/modFiles.h"
#include "general/modGeneral.h"
#include "rip/CommandRun.h"
#include "rip/RipOptions.h"

#include <cstdio>

int main(int argc, char** argv) {
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
        return ripcli::kExitOk;
    }
    if (parsed.options.version) {
        std::printf("dorvane-rip %d.%d.%d\n", modGeneral::VersionMajor(),
                    modGeneral::VersionMinor(), modGeneral::VersionRevision());
        return ripcli::kExitOk;
    }
    // SIGINT, SIGTERM and SIGHUP end the run after the current block; the
    // first one to arrive is what Run reports (128 + its number).
    stopsignals::Install();
    return ripcli::Run(parsed.options);
}
