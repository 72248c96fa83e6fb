#pragma once
// The report-only start: a run that faulted starts the program again with
// "--report-fault TEXT" to show its report, since the faulting process itself
// can no longer run Qt safely.

// True when argv asks for a report-only run.
bool IsFaultReportRun(int argc, char** argv);

// Shows the report in a message box titled like every other box of the
// program, and returns the exit status once it is closed.
int ShowFaultReport(int argc, char** argv);
