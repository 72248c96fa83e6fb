#pragma once
// What the extractors need of the windows: a fresh progress window for each
// track, and a moment for pending events between blocks. The program's
// windows provide it (ProgressWindows.h); logic tests use a fake.

#include <QString>

#include <memory>

class ProgressWindow {
  public:
    virtual ~ProgressWindow() = default; // unloads the window
    // Called about once a screen frame while the track moves on, with the
    // sectors done so far and the total.
    virtual void ChangeProgress(const QString& Status, float CurVal, float TotVal) = 0;
};

class ProgressHost {
  public:
    virtual ~ProgressHost() = default;
    // Shows a new progress window, not modal, owned by the main window.
    virtual std::unique_ptr<ProgressWindow> ShowProgress() = 0;
    // Lets pending window events run; a click on Cancel arrives here.
    virtual void DoEvents() = 0;
};
