#include "shell/modErrHandler.h"

#include "general/modFiles.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

namespace modErrHandler {
namespace {

struct Named {
    std::uint32_t code;
    const char* text;
};

constexpr Named kTexts[] = {
    {0x80000001, "Guard Page Violation"},
    {0x80000002, "Data Type Misalignment"},
    {0x80000003, "Breakpoint"},
    {0x80000004, "Single Step"},
    {0xC0000005, "Access Violation"},
    {0xC0000006, "In Page Error"},
    {0xC0000008, "Invalid Handle"},
    {0xC000001D, "Illegal Instruction"},
    {0xC0000025, "Non Continuable Exception"},
    {0xC0000026, "Invalid Disposition"},
    {0xC000008C, "Array Bounds Exceeded"},
    {0xC000008D, "Float Denormal Operand"},
    {0xC000008E, "Divide By Zero"},
    {0xC000008F, "Floating Point Inexact Result"},
    {0xC0000090, "Invalid Operation"},
    {0xC0000091, "Float Overflow"},
    {0xC0000092, "Float Stack Check"},
    {0xC0000093, "Float Underflow"},
    {0xC0000094, "Integer Divide By Zero"},
    {0xC0000095, "Integer Overflow"},
    {0xC0000096, "Privileged Instruction"},
    {0xC00000FD, "Stack Overflow"},
    {0xC000013A, "Control-C Exit"},
};

// Appends text to out, always leaving it terminated; cut short when full.
void Append(FaultText& out, const char* text) {
    std::size_t at = std::strlen(out.text);
    while (*text && at + 1 < sizeof out.text)
        out.text[at++] = *text++;
    out.text[at] = '\0';
}

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// Nearer than this to the stack pointer, a bad address is the stack's end.
constexpr std::uintptr_t kStackReach = 64 * 1024;

struct Saved {
    bool installed = false;
    bool canShow = false;
    struct sigaction actions[kSignalCount];
    stack_t stack;
};
Saved g_saved;
alignas(16) char g_altStack[64 * 1024];
std::atomic_flag g_reporting = ATOMIC_FLAG_INIT;

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

std::uintptr_t StackPointer(const void* context) {
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__i386__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_ESP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.sp);
#else
    (void)uc;
    return 0; // no stack overflow told apart here
#endif
}

// The program again, in report-only mode; waits until the box is closed.
// A raw clone rather than fork(): fork runs the at-fork handlers, which take
// the allocator's locks, and the fault may have struck while one was held.
void ShowReport(const char* report) {
    char program[] = "dorvane";
    char option[sizeof kReportFaultOption];
    std::memcpy(option, kReportFaultOption, sizeof option);
    char* const argv[] = {program, option, const_cast<char*>(report), nullptr};
    const long pid = ::syscall(SYS_clone, static_cast<long>(SIGCHLD), 0L, 0L, 0L, 0L);
    if (pid == 0) {
        // The handler runs with the fault signals blocked, and a blocked mask
        // outlives execve: the report must start with none blocked.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve("/proc/self/exe", argv, environ);
        ::_exit(127);
    }
    if (pid < 0)
        return;
    int status = 0;
    while (::waitpid(static_cast<pid_t>(pid), &status, 0) < 0 && errno == EINTR) {
    }
}

void OnFault(int signal, siginfo_t* info, void* context) {
    // A second thread faulting meanwhile waits: the first one's report ends
    // the process.
    if (g_reporting.test_and_set()) {
        for (;;)
            ::pause();
    }
    FaultRecord record{};
    record.ExceptionCode =
        FaultCodeFor(signal, info->si_code, reinterpret_cast<std::uintptr_t>(info->si_addr),
                     StackPointer(context));
    record.ExceptionFlags = 1; // not continuable
    record.ExceptionAddress = info->si_addr;
    const FaultText report = MyExceptionFilter({&record, context});
    modFiles::WriteAll(STDERR_FILENO, report.text, std::strlen(report.text));
    modFiles::WriteAll(STDERR_FILENO, "\n", 1);
    if (g_saved.canShow)
        ShowReport(report.text);

    // End as the fault would have ended us, status and core dump alike: the
    // signal is blocked in here, so it arrives once the handler returns.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

} // namespace

FaultText ExceptionText(std::uint32_t code) {
    FaultText out{};
    for (const Named& named : kTexts) {
        if (named.code == code) {
            Append(out, named.text);
            return out;
        }
    }
    char hex[] = "Unknown (&H00000000)";
    for (int i = 0; i < 8; ++i)
        hex[11 + i] = "0123456789ABCDEF"[(code >> (28 - 4 * i)) & 0xF];
    Append(out, hex);
    return out;
}

FaultText MyExceptionFilter(const FaultInfo& info) {
    FaultRecord record = *info.ExceptionRecord;
    while (record.ExceptionRecord)
        record = *record.ExceptionRecord;
    FaultText out{};
    Append(out, "Run-time error '10000': ");
    Append(out, ExceptionText(record.ExceptionCode).text);
    return out;
}

std::uint32_t FaultCodeFor(int signal, int code, std::uintptr_t faultAddress,
                           std::uintptr_t stackPointer) {
    switch (signal) {
    case SIGSEGV: {
        const bool nearStack = stackPointer != 0 && faultAddress + kStackReach >= stackPointer &&
                               faultAddress <= stackPointer + kStackReach;
        return nearStack ? kStackOverflow : kAccessViolation;
    }
    case SIGBUS:
        return code == BUS_ADRALN ? kDatatypeMisalignment : kInPageError;
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV:
            return kIntDivideByZero;
        case FPE_INTOVF:
            return kIntOverflow;
        case FPE_FLTDIV:
            return kFltDivideByZero;
        case FPE_FLTOVF:
            return kFltOverflow;
        case FPE_FLTUND:
            return kFltUnderflow;
        case FPE_FLTRES:
            return kFltInexactResult;
        case FPE_FLTSUB:
            return kArrayBoundsExceeded;
        default:
            return kFltInvalidOperation;
        }
    case SIGILL:
        return code == ILL_PRVOPC || code == ILL_PRVREG ? kPrivilegedInstruction
                                                        : kIllegalInstruction;
    case SIGTRAP:
        return code == TRAP_TRACE ? kSingleStep : kBreakpoint;
    default:
        return 0;
    }
}

void InstallFaultFilter() {
    // Whether a report box can be shown at all; asked here, where getenv is safe.
    g_saved.canShow = Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
    if (g_saved.installed)
        return;
    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof g_altStack;
    ::sigaltstack(&stack, &g_saved.stack);
    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // A fault inside the handler then kills the process at once instead of
    // looping.
    sigemptyset(&action.sa_mask);
    for (int s : kSignals)
        sigaddset(&action.sa_mask, s);
    for (int i = 0; i < kSignalCount; ++i)
        ::sigaction(kSignals[i], &action, &g_saved.actions[i]);
    g_saved.installed = true;
}

void RemoveFaultFilter() {
    if (!g_saved.installed)
        return;
    for (int i = 0; i < kSignalCount; ++i)
        ::sigaction(kSignals[i], &g_saved.actions[i], nullptr);
    ::sigaltstack(&g_saved.stack, nullptr);
    g_saved.installed = false;
}

} // namespace modErrHandler
