// The fault report: its texts, the walk to the first fault of a chain, and
// child processes that really fault with the handlers installed. A child that
// "has a display" starts this program again in report-only mode; main() keeps
// that report in a file. Under the sanitizers the faulting functions skip the
// undefined-behaviour checks (they would stop the child before the fault), and
// our handlers, installed after AddressSanitizer's, are the ones that run.

#include "TestSupport.h"
#include "shell/modErrHandler.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace modErrHandler;

namespace {

std::string Text(std::uint32_t code) { return ExceptionText(code).text; }

__attribute__((no_sanitize("undefined"))) void WriteThroughNull() {
    volatile int* volatile p = nullptr;
    *p = 1;
}

__attribute__((no_sanitize("undefined"))) void DivideByZero() {
    volatile int seven = 7, zero = 0;
    volatile int result = seven / zero;
    (void)result;
}

volatile int g_never = -1;
int Recurse(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    const int below = depth == g_never ? 0 : Recurse(depth + 1);
    return below + frame[0];  // read after the call: no loop can replace the recursion
}

// Runs fault in a child with the handlers installed twice (as every reload
// does): the signal that ended it, and its standard error.
std::pair<int, std::string> RunFaulting(void (*fault)(), const std::string& reportFile = {}) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDERR_FILENO);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            ::unsetenv(name);
        if (!reportFile.empty()) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("DORVANE_TEST_REPORT", reportFile.c_str(), 1);
        }
        InstallFaultFilter();
        InstallFaultFilter();
        fault();
        ::_exit(0);
    }
    ::close(out[1]);
    std::string written;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        written.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return {WIFSIGNALED(status) ? WTERMSIG(status) : 0, written};
}

}  // namespace

TEST(ExceptionText, NamesKnownCodesAndShowsOthersInHex) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0xC0000005, "Access Violation"},     {0xC0000094, "Integer Divide By Zero"},
        {0xC000008E, "Divide By Zero"},       {0x80000001, "Guard Page Violation"},
        {0xC000013A, "Control-C Exit"},       {0xC0000017, "Unknown (&HC0000017)"},
        {0x00000001, "Unknown (&H00000001)"}, {0xFFFFFFFF, "Unknown (&HFFFFFFFF)"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(Text(code), text) << std::hex << code;
}

TEST(MyExceptionFilter, ReportsTheFirstFaultOfTheChain) {
    const FaultRecord first{kIntDivideByZero, 0, nullptr, nullptr, 0, {}};
    const FaultRecord during{0xC0000025, 1, &first, nullptr, 0, {}};
    const FaultRecord last{kAccessViolation, 1, &during, nullptr, 0, {}};
    EXPECT_STREQ(MyExceptionFilter({&last, nullptr}).text, "Run-time error '10000': Integer Divide By Zero");
    const FaultRecord alone{0xC0000017, 0, nullptr, nullptr, 0, {}};
    EXPECT_STREQ(MyExceptionFilter({&alone, nullptr}).text, "Run-time error '10000': Unknown (&HC0000017)");
}

TEST(FaultReport, RealFaultsEndWithTheirReportAndTheirSignal) {
    const struct {
        void (*fault)();
        int signal;
        const char* report;
    } cases[] = {
        {WriteThroughNull, SIGSEGV, "Run-time error '10000': Access Violation\n"},
        {DivideByZero, SIGFPE, "Run-time error '10000': Integer Divide By Zero\n"},
        {[] { Recurse(0); }, SIGSEGV, "Run-time error '10000': Stack Overflow\n"},
        {[] { __builtin_trap(); }, SIGILL, "Run-time error '10000': Illegal Instruction\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RunFaulting(c.fault), std::make_pair(c.signal, std::string(c.report)));
}

TEST(FaultReport, WithADisplayTheProgramShowsTheReportAgain) {
    testsupport::TempFolder folder;
    EXPECT_EQ(RunFaulting(DivideByZero, folder.file("report")).first, SIGFPE);
    std::string report;
    std::getline(std::ifstream(folder.file("report")), report);
    EXPECT_EQ(report, "Run-time error '10000': Integer Divide By Zero");
}

TEST(FaultFilter, RemovingPutsBackWhatWasThereEvenAfterTwoInstalls) {
    const int faultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
    struct sigaction before[5], now;
    stack_t stackBefore, stackNow;
    ::sigaltstack(nullptr, &stackBefore);
    for (int i = 0; i < 5; ++i)
        ::sigaction(faultSignals[i], nullptr, &before[i]);
    InstallFaultFilter();
    InstallFaultFilter();
    RemoveFaultFilter();
    for (int i = 0; i < 5; ++i) {
        ::sigaction(faultSignals[i], nullptr, &now);
        EXPECT_EQ(now.sa_sigaction, before[i].sa_sigaction) << faultSignals[i];
    }
    ::sigaltstack(nullptr, &stackNow);
    EXPECT_EQ(stackNow.ss_sp, stackBefore.ss_sp);
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kReportFaultOption) == 0) {
        std::ofstream(std::getenv("DORVANE_TEST_REPORT")) << argv[2];
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
