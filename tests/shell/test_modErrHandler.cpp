// The fault report on children that really fault. Each has a display, so it runs this program
// again in report-only mode, where main() echoes the report. The faulting functions skip the
// undefined-behaviour checks (they would stop the child first).

#include "TestSupport.h"
#include "shell/modErrHandler.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sys/wait.h>
#include <unistd.h>

using namespace modErrHandler;

namespace {

volatile int* volatile g_null = nullptr;
volatile int g_zero = 0, g_result = 0, g_never = -1;
__attribute__((no_sanitize("undefined"))) void WriteThroughNull() {
    *g_null = 1;
}
__attribute__((no_sanitize("undefined"))) void DivideByZero() {
    g_result = 7 / g_zero;
}

int Recurse(int depth) {
    volatile char frame[256] = {static_cast<char>(depth)};
    return (depth == g_never ? 0 : Recurse(depth + 1)) + frame[0]; // read after the call: no loop
}

// Runs fault in a child with the handlers installed twice, as every reload does: the signal
// that ended it, and the standard error it shares with the report run.
std::pair<int, std::string> RunFaulting(void (*fault)()) {
    testsupport::TempFolder folder;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open(folder.file("stderr").c_str(), O_WRONLY | O_CREAT, 0600), STDERR_FILENO);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        InstallFaultFilter();
        InstallFaultFilter();
        fault();
        ::_exit(0);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    std::ifstream written(folder.file("stderr"));
    return {WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            {std::istreambuf_iterator<char>(written), {}}};
}

} // namespace

TEST(MyExceptionFilter, NamesTheFirstFaultOfTheChainAndShowsAnUnknownOneInHex) {
    const FaultRecord first{0x00C0FFEE, 0, nullptr, nullptr, 0, {}};
    const FaultRecord during{kIntDivideByZero, 1, &first, nullptr, 0, {}};
    const FaultRecord last{kAccessViolation, 1, &during, nullptr, 0, {}};
    EXPECT_STREQ(MyExceptionFilter({&last, nullptr}).text,
                 "Run-time error '10000': Unknown (&H00C0FFEE)");
}

TEST(FaultReport, RealFaultsAreReportedAndEndWithTheirSignalUntilTheFilterIsRemoved) {
    const std::tuple<void (*)(), int, const char*> cases[] = {
        {WriteThroughNull, SIGSEGV, "Access Violation"},
        {DivideByZero, SIGFPE, "Integer Divide By Zero"},
        {[] { Recurse(0); }, SIGSEGV, "Stack Overflow"},
        {[] { __builtin_trap(); }, SIGILL, "Illegal Instruction"},
        // Removed: what was there before ends the child (AddressSanitizer leaves SIGILL alone).
        {[] {
             RemoveFaultFilter();
             __builtin_trap();
         },
         SIGILL, nullptr},
    };
    for (const auto& [fault, signal, text] : cases) {
        const std::string report =
            std::string("Run-time error '10000': ") + (text ? text : "") + "\n";
        EXPECT_EQ(RunFaulting(fault),
                  std::make_pair(signal, text ? report + "Shown: " + report : ""));
    }
}

int main(int argc, char** argv) {
    if (argc == 3 && argv[1] == std::string(kReportFaultOption)) {
        std::cerr << "Shown: " << argv[2] << '\n';
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
