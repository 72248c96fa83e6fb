// The fault report: the texts, the walk to the first fault of a chain, the
// signal mapping, and child processes that really fault with the handlers
// installed. A child that "has a display" starts this test program again in
// report-only mode; main() below then keeps the report in a file to read.
// Under the sanitizers, the faulting functions leave out the undefined-
// behaviour checks (they would stop the child before the fault), and our
// handlers, installed after AddressSanitizer's, are the ones that run.

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
    int* volatile p = nullptr;
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
    return depth == g_never ? 0 : Recurse(depth + 1) + frame[0];
}
void RunAway() { Recurse(0); }

void RemovedThenNull() {
    RemoveFaultFilter();
    WriteThroughNull();
}

struct Ended {
    int signal = 0;
    std::string stderrText;
};

// Runs fault in a child with the handlers installed (twice, as every reload
// does); with a report file, the child has a display.
Ended RunFaulting(void (*fault)(), const std::string& reportFile = {}) {
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
    Ended ended;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        ended.stderrText.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    ended.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return ended;
}

}  // namespace

TEST(ExceptionText, NamesKnownCodesAndShowsOthersInHex) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0xC0000005, "Access Violation"},       {0xC0000094, "Integer Divide By Zero"},
        {0xC000008E, "Divide By Zero"},         {0xC00000FD, "Stack Overflow"},
        {0x80000001, "Guard Page Violation"},   {0xC000013A, "Control-C Exit"},
        {0xC0000017, "Unknown (&HC0000017)"},   {0x00000001, "Unknown (&H00000001)"},
        {0xFFFFFFFF, "Unknown (&HFFFFFFFF)"},   {0x0000ABCD, "Unknown (&H0000ABCD)"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(Text(code), text) << std::hex << code;
}

TEST(MyExceptionFilter, ReportsTheFirstFaultOfTheChain) {
    const FaultRecord first{kIntDivideByZero, 0, nullptr, nullptr, 0, {}};
    const FaultRecord during{0xC0000025, 1, &first, nullptr, 0, {}};
    const FaultRecord last{kAccessViolation, 1, &during, nullptr, 0, {}};
    EXPECT_STREQ(MyExceptionFilter({&last, nullptr}).text, "Run-time error '10000': Integer Divide By Zero");
    EXPECT_STREQ(MyExceptionFilter({&during, nullptr}).text, "Run-time error '10000': Integer Divide By Zero");
    const FaultRecord alone{0xC0000017, 0, nullptr, nullptr, 0, {}};
    EXPECT_STREQ(MyExceptionFilter({&alone, nullptr}).text, "Run-time error '10000': Unknown (&HC0000017)");
}

TEST(FaultCodeFor, MapsSignalsOntoFaultCodes) {
    const std::uintptr_t sp = 0x7ffd00010000;
    struct Case {
        int signal, code;
        std::uintptr_t address;
        const char* text;
    };
    const Case cases[] = {
        {SIGSEGV, SEGV_MAPERR, 0, "Access Violation"},
        {SIGSEGV, SEGV_ACCERR, sp + 0x200000, "Access Violation"},
        {SIGSEGV, SEGV_MAPERR, sp - 8, "Stack Overflow"},
        {SIGFPE, FPE_INTDIV, 0, "Integer Divide By Zero"},
        {SIGFPE, FPE_INTOVF, 0, "Integer Overflow"},
        {SIGFPE, FPE_FLTDIV, 0, "Divide By Zero"},
        {SIGFPE, FPE_FLTINV, 0, "Invalid Operation"},
        {SIGILL, ILL_ILLOPC, 0, "Illegal Instruction"},
        {SIGILL, ILL_PRVOPC, 0, "Privileged Instruction"},
        {SIGBUS, BUS_ADRALN, 0, "Data Type Misalignment"},
        {SIGBUS, BUS_ADRERR, 0, "In Page Error"},
        {SIGTRAP, TRAP_BRKPT, 0, "Breakpoint"},
        {SIGTRAP, TRAP_TRACE, 0, "Single Step"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Text(FaultCodeFor(c.signal, c.code, c.address, sp)), c.text) << c.signal << "/" << c.code;
}

TEST(FaultReport, RealFaultsEndWithTheirReportAndTheirSignal) {
    const struct {
        void (*fault)();
        int signal;
        const char* report;
    } cases[] = {
        {WriteThroughNull, SIGSEGV, "Run-time error '10000': Access Violation\n"},
        {DivideByZero, SIGFPE, "Run-time error '10000': Integer Divide By Zero\n"},
        {RunAway, SIGSEGV, "Run-time error '10000': Stack Overflow\n"},
        {[] { __builtin_trap(); }, SIGILL, "Run-time error '10000': Illegal Instruction\n"},
        {RemovedThenNull, SIGSEGV, ""},
    };
    for (const auto& c : cases) {
        const Ended ended = RunFaulting(c.fault);
        EXPECT_EQ(ended.signal, c.signal) << c.report;
        EXPECT_EQ(ended.stderrText, c.report);
    }
}

TEST(FaultReport, WithADisplayTheProgramShowsTheReportAgain) {
    testsupport::TempFolder folder;
    const std::string file = folder.file("report");
    const Ended ended = RunFaulting(DivideByZero, file);
    EXPECT_EQ(ended.signal, SIGFPE);
    std::ifstream shown(file);
    std::string report;
    std::getline(shown, report);
    EXPECT_EQ(report, "Run-time error '10000': Integer Divide By Zero");
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kReportFaultOption) == 0) {
        std::ofstream(std::getenv("DORVANE_TEST_REPORT")) << argv[2];
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
