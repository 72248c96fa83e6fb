#pragma once
// A stop signal (logging out, Ctrl+C, the terminal closing) ends the program
// as the person would: an open message box or dialog is closed as Cancel
// would close it, then the main window closes, so a running extraction first
// finishes its file.

class QWidget;

// Installs the signal handlers and closes window when one arrives. The pipe
// the handlers write to lives as long as window.
void CloseOnStopSignal(QWidget& window);

// The same, for a wake-up pipe the caller made: a byte on readFd closes
// window. (Tests write the byte themselves.)
void CloseOnWake(QWidget& window, int readFd);
