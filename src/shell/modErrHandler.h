#pragma once
// Faults that no code handles (a bad pointer, an integer division by zero, a
// stack overflow, in our code or inside a library) end the program with
// error 10000 and a text naming the fault, rather than with a silent
// disappearance.
//
// The kernel reports such faults as signals. The handlers turn each into a
// fault record of the usual layout (code, flags, nested record, address,
// parameters), MyExceptionFilter makes the report from it, and the handler
// writes the report to standard error, has the program started again only
// to show it in a message box, and ends the process with the signal.
// Everything on that path is async-signal-safe: no allocation, no locks, no
// Qt, fixed-size text.

#include <cstdint>

namespace modErrHandler {

inline constexpr int kFaultError = 10000;

// "dorvane --report-fault TEXT" shows TEXT in a message box and ends.
inline constexpr char kReportFaultOption[] = "--report-fault";

// A fault as the filter sees it. ExceptionRecord points to the fault that was
// being handled when this one happened, or is null.
struct FaultRecord {
    std::uint32_t ExceptionCode;
    std::uint32_t ExceptionFlags;
    const FaultRecord* ExceptionRecord;
    const void* ExceptionAddress;
    std::uint32_t NumberParameters;
    std::uintptr_t ExceptionInformation[15];
};

struct FaultInfo {
    const FaultRecord* ExceptionRecord;
    const void* ContextRecord;
};

// Fault codes the signals map onto.
enum FaultCode : std::uint32_t {
    kDatatypeMisalignment = 0x80000002,
    kBreakpoint = 0x80000003,
    kSingleStep = 0x80000004,
    kAccessViolation = 0xC0000005,
    kInPageError = 0xC0000006,
    kIllegalInstruction = 0xC000001D,
    kArrayBoundsExceeded = 0xC000008C,
    kFltDivideByZero = 0xC000008E,
    kFltInexactResult = 0xC000008F,
    kFltInvalidOperation = 0xC0000090,
    kFltOverflow = 0xC0000091,
    kFltUnderflow = 0xC0000093,
    kIntDivideByZero = 0xC0000094,
    kIntOverflow = 0xC0000095,
    kPrivilegedInstruction = 0xC0000096,
    kStackOverflow = 0xC00000FD,
};

// A short text built in place, so that a signal handler can make one.
struct FaultText {
    char text[96];
};

// The fault's name, or "Unknown (&H" + eight upper-case hex digits + ")".
FaultText ExceptionText(std::uint32_t code);

// The report for a fault: "Run-time error '10000': " and the text of the
// first fault of the chain (the last nested record).
FaultText MyExceptionFilter(const FaultInfo& info);

// The fault code for a signal, its si_code, the address it names and the
// stack pointer at the fault: a SIGSEGV close to the stack pointer is the
// stack running out, any other an access violation. 0 for other signals.
std::uint32_t FaultCodeFor(int signal, int code, std::uintptr_t faultAddress,
                           std::uintptr_t stackPointer);

// Installs the handlers (again: no change) on an alternate stack of their own,
// so that a stack overflow is reported too; removing puts back what was there.
// Both from the main thread.
void InstallFaultFilter();
void RemoveFaultFilter();

} // namespace modErrHandler
