#pragma once
// The extraction's link to the program's windows: progress windows owned by
// the main window, pending events run by Qt, and the list and settings the
// driver reads.

#include "extract/ExtractUi.h"
#include "extract/modRip.h"

class QWidget;
class TrackListBox;
class frmSettings;

class QtProgressHost : public ProgressHost {
  public:
    explicit QtProgressHost(QWidget* owner) : owner_(owner) {}
    std::unique_ptr<ProgressWindow> ShowProgress() override;
    void DoEvents() override;

  private:
    QWidget* owner_;
};

// The main window's track list and the settings window's controls.
class WindowRipSource : public modRip::RipSource {
  public:
    WindowRipSource(TrackListBox* list, frmSettings* settings) : list_(list), settings_(settings) {}
    int ItemCount() override;
    bool IsChecked(int index) override;
    QString ItemText(int index) override;
    bool Mp3Selected() override;
    QString OutPath() override;
    modRip::EncoderChoices Encoder() override;
    void ShowSettings() override;

  private:
    TrackListBox* list_;
    frmSettings* settings_;
};
