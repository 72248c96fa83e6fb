#include "extract/ProgressWindows.h"

#include "extract/frmProgress.h"
#include "settings/frmSettings.h"
#include "tracks/TrackListBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QRadioButton>

std::unique_ptr<ProgressWindow> QtProgressHost::ShowProgress() {
    auto window = std::make_unique<frmProgress>(owner_);
    window->ShowCentred();
    return window;
}

void QtProgressHost::DoEvents() {
    QCoreApplication::processEvents();
}

int WindowRipSource::ItemCount() {
    return list_->Count();
}
bool WindowRipSource::IsChecked(int index) {
    return list_->IsChecked(index);
}
QString WindowRipSource::ItemText(int index) {
    return list_->ItemText(index);
}
bool WindowRipSource::Mp3Selected() {
    return settings_->optMP3->isChecked();
}
QString WindowRipSource::OutPath() {
    return settings_->txtOutPath->text();
}
void WindowRipSource::ShowSettings() {
    settings_->ShowSettings();
}

modRip::EncoderChoices WindowRipSource::Encoder() {
    modRip::EncoderChoices choices;
    choices.bitrateText = settings_->cmbBitrate->currentText();
    // Only an entry chosen from the list counts; typed text selects none.
    const QComboBox* quality = settings_->cmbQuality;
    const int index = quality->currentIndex();
    choices.qualityIndex =
        index >= 0 && quality->itemText(index) == quality->currentText() ? index : -1;
    choices.privateFlag = settings_->chkPrivate->isChecked();
    choices.crc = settings_->chkCRC->isChecked();
    choices.copyright = settings_->chkCopyright->isChecked();
    choices.original = settings_->chkOriginal->isChecked();
    return choices;
}
