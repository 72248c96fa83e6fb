#include "shell/Dorvane.h"

#include "cd/modAKRip32.h"
#include "export/PrintTrackList.h"
#include "export/modSave.h"
#include "extract/ProgressWindows.h"
#include "extract/mVariables.h"
#include "extract/modRip.h"
#include "general/AppIcon.h"
#include "general/Dialogs.h"
#include "general/FormLayout.h"
#include "general/LabelButton.h"
#include "general/Twips.h"
#include "general/modGeneral.h"
#include "help/frmAbout.h"
#include "help/modHelp.h"
#include "settings/frmSettings.h"
#include "settings/modSettings.h"
#include "shell/LookUpNames.h"
#include "shell/modErrHandler.h"
#include "shell/modStartup.h"
#include "tracks/TrackListBox.h"
#include "tracks/frmChangeTrack.h"
#include "tracks/frmRenAll.h"
#include "tracks/modNames.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

namespace {

const QString kSelectAll = QStringLiteral("Select All");
const QString kDeselectAll = QStringLiteral("De-select All");

QAction* entry(QMenu* menu, const char* name, const char* text, const QKeySequence& keys = {}) {
    QAction* action = menu->addAction(QString::fromLatin1(text));
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    return action;
}

void separator(QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

} // namespace

Dorvane::Dorvane(Dialogs& dialogs, QString startDrive)
    : QMainWindow(nullptr), dialogs_(dialogs), startDrive_(std::move(startDrive)) {
    setObjectName(QStringLiteral("Dorvane"));
    setWindowTitle(modGeneral::kAppTitle);
    setWindowIcon(AppIcon());

    area_ = new QWidget(this);
    area_->setObjectName(QStringLiteral("ClientArea"));
    area_->setFixedSize(twips::px(7935), twips::px(3840));
    formlayout::fillBackground(area_, twips::kRed);
    area_->setMouseTracking(true);
    area_->installEventFilter(this);
    setCentralWidget(area_);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    TrackList = new TrackListBox(area_);
    TrackList->setGeometry(twips::rect(0, 0, 6555, 3855));
    connect(TrackList, &TrackListBox::renameKey, this, &Dorvane::mnuChangeName_Click);
    connect(TrackList, &TrackListBox::popupRequested, this, &Dorvane::ShowPopup);

    BuildLabelButtons(area_);

    // The design keeps the real button beyond the right edge of the client
    // area; the user clicks the "Extract" label, which runs the same action.
    cmdRip = new QPushButton(QStringLiteral("Extract Tracks"), area_);
    cmdRip->setObjectName(QStringLiteral("cmdRip"));
    cmdRip->setToolTip(QStringLiteral("Extract track from location"));
    cmdRip->setGeometry(twips::rect(8040, 1440, 1335, 555));
    connect(cmdRip, &QPushButton::clicked, this, &Dorvane::cmdRip_Click);

    auto* image = new QLabel(area_);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(twips::rect(6840, 2880, 975, 1095));
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image->setPixmap(AppIconPixmap(32));

    BuildMenus();
    lookUp_ = std::make_unique<LookUpNames>(this, TrackList, mnuTP, dialogs_);
    TrackList->setFocus();
    Form_Load();
}

Dorvane::~Dorvane() {
    lookUp_.reset();
    delete settings_;
}

void Dorvane::BuildLabelButtons(QWidget* area) {
    struct Design {
        const char* label;
        const char* caption;
        int top;
        const char* shape;
        const char* tip;
    };
    static const Design kDesign[3] = {
        {"Label1", "Extract", 240, "Shape1", "Click to begin extraction"},
        {"Label2", "Settings", 960, "Shape2", "Choose the drive, the output folder and the format"},
        {"Label3", "Help", 1680, "Shape3", "Open the help"},
    };
    const QFont comic(QStringLiteral("Comic Sans MS"), 12);
    for (int i = 0; i < 3; ++i) {
        const Design& d = kDesign[i];
        shapes_[i] = new Shape(area, QString::fromLatin1(d.shape), Shape::Kind::RoundedRectangle,
                               twips::kWhite);
        shapes_[i]->setGeometry(twips::rect(6720, d.top - 120, 1095, 615));
        labels_[i] =
            new LabelButton(area, QString::fromLatin1(d.label), QString::fromLatin1(d.caption));
        labels_[i]->setGeometry(twips::rect(6720, d.top, 1095, 345));
        labels_[i]->setFont(comic);
        labels_[i]->setToolTip(QString::fromLatin1(d.tip));
        connect(labels_[i], &LabelButton::pointerMoved, this, [this, i] { DoColors(i + 1); });
    }
    connect(labels_[0], &LabelButton::clicked, this, &Dorvane::cmdRip_Click);
    connect(labels_[1], &LabelButton::clicked, this, &Dorvane::ShowSettings);
    connect(labels_[2], &LabelButton::clicked, this, &Dorvane::mnuHHelp_Click);
}

void Dorvane::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    connect(entry(file, "mnuSave", "Save Track list"), &QAction::triggered, this,
            &Dorvane::mnuSave_Click);
    connect(entry(file, "mnuPrint", "Print track list"), &QAction::triggered, this,
            &Dorvane::mnuPrint_Click);
    separator(file, "mnuFSep");
    QAction* exit = entry(file, "mnuFExit", "Exit", QKeySequence(Qt::CTRL | Qt::Key_X));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    mnuPopup = menuBar()->addMenu(QStringLiteral("Edit"));
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuChangeName = entry(mnuPopup, "mnuChangeName", "Rename", QKeySequence(Qt::Key_F3));
    mnuRenAll = entry(mnuPopup, "mnuRenAll", "Rename All", QKeySequence(Qt::Key_F4));
    separator(mnuPopup, "mnuMnuSep");
    mnuClear = entry(mnuPopup, "mnuClear", "Clear", QKeySequence(Qt::CTRL | Qt::Key_W));
    mnurefresh = entry(mnuPopup, "mnurefresh", "Refresh", QKeySequence(Qt::Key_F5));
    mnuSelectAll =
        entry(mnuPopup, "mnuSelectAll", "Select All", QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(mnuPopup, &QMenu::aboutToShow, this, [this] { SetEditEntriesEnabled(); });
    connect(mnuChangeName, &QAction::triggered, this, &Dorvane::mnuChangeName_Click);
    connect(mnuRenAll, &QAction::triggered, this, &Dorvane::mnuRenAll_Click);
    connect(mnuClear, &QAction::triggered, this, &Dorvane::mnuClear_Click);
    connect(mnurefresh, &QAction::triggered, this, &Dorvane::Form_Load);
    connect(mnuSelectAll, &QAction::triggered, this, &Dorvane::mnuSelectAll_Click);

    QMenu* tools = menuBar()->addMenu(QStringLiteral("Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    QAction* settings = entry(tools, "mnuSettings", "Setings");
    connect(settings, &QAction::triggered, this, &Dorvane::ShowSettings);
    separator(tools, "mnuTSep");
    QMenu* includes = tools->addMenu(QStringLiteral("Includes ..."));
    includes->setObjectName(QStringLiteral("mnuInc"));
    mnuTP = entry(includes, "mnuTP", "Track no/prefix");
    mnuTP->setCheckable(true);
    mnuTP->setChecked(true);
    connect(mnuTP, &QAction::triggered, this, &Dorvane::mnuTP_Click);
    mnuLookUp = entry(tools, "mnuLookUp", "Look up names", QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(mnuLookUp, &QAction::triggered, this, &Dorvane::mnuLookUp_Click);

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    QAction* hhelp = entry(help, "mnuHHelp", "Help", QKeySequence(Qt::Key_F1));
    connect(hhelp, &QAction::triggered, this, &Dorvane::mnuHHelp_Click);
    separator(help, "mnuHSep");
    connect(entry(help, "mnuHAbout", "About"), &QAction::triggered, this,
            [this] { frmAbout::Open(dialogs_); });
    connect(entry(help, "mnuHRepBug", "Report Bug"), &QAction::triggered, this,
            [this] { dialogs_.OpenWithShell(modHelp::ContactPage()); });
    connect(entry(help, "mnuHHomepage", "Visit Homepage"), &QAction::triggered, this,
            [this] { dialogs_.OpenWithShell(modHelp::ProductPage()); });
    separator(help, "mnuHSep1");
    connect(entry(help, "mnuUpdate", "Check for new version"), &QAction::triggered, this,
            [this] { dialogs_.OpenWithShell(modHelp::DownloadPage()); });
}

void Dorvane::Form_Load() {
    modErrHandler::InstallFaultFilter();
    // A reload would pull the disc from under a running extraction.
    if (mVariables::RunInProgress)
        return;

    // Encoder defaults; the first touch creates the settings window hidden,
    // and its own load puts the saved folder into txtOutPath.
    if (!settings_) {
        settings_ = new frmSettings(dialogs_);
        connect(settings_, &frmSettings::driveChosen, this, &Dorvane::SwitchDrive);
        connect(settings_, &frmSettings::saved, this, [this] {
            startDrive_.clear();
            show();
            raise();
            activateWindow();
        });
    }
    settings_->cmbQuality->setCurrentIndex(1);
    settings_->cmbBitrate->setCurrentIndex(9);

    QDir::setCurrent(modGeneral::AppFolder());

    const QString shownDrive = settings_->DriveList->currentText();
    const QStringList drives = modAKRip32::DriveListTexts();
    settings_->FillDriveList(drives);

    const QString savedDrive =
        !startDrive_.isEmpty()
            ? startDrive_
            : modSettings::ReadSetting(modSettings::kSection, modSettings::kDrive, QString());
    if (savedDrive.isEmpty() && TrackList->Count() == 0) {
        dialogs_.MsgBox(QStringLiteral("Either there is no cd in the drive, or you have not yet "
                                       "selected the drive you wish to use.\r\n\r\nPlease select a "
                                       "drive in the Settings options, or insert a CD"),
                        Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation, QStringLiteral("Error"));
    } else {
        // Tracks are listed but no drive was saved: the person picked one in
        // the settings window without saving. Reopen that one and keep it
        // shown, so a later Save stores it.
        const int driveIndex = savedDrive.isEmpty()
                                   ? modStartup::DriveIndexForUnsaved(drives, shownDrive)
                                   : modAKRip32::DriveIndexFor(drives, savedDrive);
        if (driveIndex >= 0)
            settings_->DriveList->setCurrentIndex(driveIndex);
        settings_->DriveList->setEditText(savedDrive.isEmpty() ? drives.value(driveIndex)
                                                               : savedDrive);

        TrackList->clear();
        if (modAKRip32::Drive().CDHandle != 0)
            modAKRip32::CloseCD();
        if (!modAKRip32::OpenCD(driveIndex))
            return;
        FillTrackList();
    }

    QString outPath =
        modSettings::ReadSetting(modSettings::kSection, modSettings::kOutpath, QString());
    if (outPath.isEmpty())
        outPath = modStartup::DefaultOutputFolder();
    settings_->txtOutPath->setText(outPath);
}

void Dorvane::FillTrackList() {
    lookUp_->Forget();
    const int count = modAKRip32::TrackCount(modAKRip32::Drive().DiscTOC);
    for (int k = 1; k <= count; ++k)
        TrackList->AddItem(modNames::DefaultTrackName(k));
}

void Dorvane::SwitchDrive(int position) {
    if (mVariables::RunInProgress)
        return;
    TrackList->clear();
    modAKRip32::CloseCD();
    if (!modAKRip32::OpenCD(position))
        return;
    FillTrackList();
}

void Dorvane::ShowSettings() {
    settings_->ShowSettings();
}

void Dorvane::showEvent(QShowEvent* event) {
    if (!centred_) {
        centred_ = true;
        formlayout::centreOnScreen(this);
    }
    QMainWindow::showEvent(event);
}

void Dorvane::closeEvent(QCloseEvent* event) {
    // During a run the extraction finishes its file after the current block;
    // cmdRip_Click then closes the window again.
    if (mVariables::RunInProgress) {
        mVariables::StopRequested = true;
        closePending_ = true;
        event->ignore();
        return;
    }
    modErrHandler::RemoveFaultFilter();
    lookUp_->Stop();
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this && window->isVisible())
            window->close();
    // Leave the drive as we found it.
    if (modAKRip32::Drive().CDHandle != 0)
        modAKRip32::CloseCD();
    event->accept();
    QApplication::quit();
}

bool Dorvane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == area_ && event->type() == QEvent::MouseMove)
        DoColors(0);
    return QMainWindow::eventFilter(watched, event);
}

void Dorvane::DoColors(const int& valOpt) {
    if (valOpt < 0 || valOpt > 3)
        return;
    for (int i = 0; i < 3; ++i)
        shapes_[i]->setFillColor(valOpt == i + 1 ? twips::kBlue : twips::kWhite);
}

void Dorvane::SetEditEntriesEnabled(bool running) {
    // During a run every entry that would change the list is greyed: the run
    // has taken the ticks and names as they were at the click.
    const bool idle = !running;
    const bool any = idle && TrackList->Count() > 0;
    for (QAction* action : {mnuRenAll, mnuChangeName, mnuClear, mnuSelectAll})
        action->setEnabled(any);
    mnurefresh->setEnabled(idle);
    mnuTP->setEnabled(idle);
    mnuLookUp->setEnabled(idle);
}

void Dorvane::ShowPopup(const QPoint& globalPos) {
    mnuPopup->exec(globalPos);
    SetEditEntriesEnabled();
}

void Dorvane::cmdRip_Click() {
    if (mVariables::RunInProgress)
        return;
    WindowRipSource source(TrackList, settings_);
    QtProgressHost host(this);
    // A drive switch would be refused while the run reads the disc; the drive
    // list is greyed meanwhile, so it never shows a drive that is not open.
    settings_->DriveList->setEnabled(false);
    // What does nothing during the run shows it: the entries and the ticks
    // are greyed, and the design's rule holds again after.
    SetEditEntriesEnabled(true);
    TrackList->SetLocked(true);
    modRip::cmdRip_Click(source, host, dialogs_, lookUp_->TagsForRun());
    TrackList->SetLocked(false);
    SetEditEntriesEnabled();
    settings_->DriveList->setEnabled(true);
    if (closePending_)
        close();
    else
        lookUp_->Resume(); // names that came during the run
}

void Dorvane::mnuHHelp_Click() {
    modHelp::ShowHelp(dialogs_);
}

void Dorvane::mnuSave_Click() {
    modSave::SaveTrackList(dialogs_, settings_->txtOutPath->text(), TrackList->Texts());
}

void Dorvane::mnuPrint_Click() {
    PrintTrackList(dialogs_, TrackList->Texts());
}

void Dorvane::mnuChangeName_Click() {
    if (mVariables::RunInProgress)
        return;
    // With nothing current yet, Rename works on the first track, so on a list
    // with tracks it always opens the window.
    if (TrackList->CurrentIndex() == -1 && TrackList->Count() > 0)
        TrackList->setCurrentRow(0);
    frmChangeTrack::Open(TrackList, mnuTP);
}

void Dorvane::mnuRenAll_Click() {
    if (mVariables::RunInProgress)
        return;
    frmRenAll window(this, TrackList, mnuTP);
    window.exec();
}

void Dorvane::mnuSelectAll_Click() {
    for (int i = 0; i < TrackList->Count(); ++i) {
        const bool wasChecked = TrackList->IsChecked(i);
        TrackList->SetChecked(i, !wasChecked);
        mnuSelectAll->setText(wasChecked ? kSelectAll : kDeselectAll);
    }
}

void Dorvane::mnuClear_Click() {
    if (mVariables::RunInProgress)
        return;
    const auto answer = dialogs_.MsgBox(QStringLiteral("Would you like to rip another CD?"),
                                        Dialogs::Buttons::YesNo, Dialogs::Icon::Question,
                                        QStringLiteral("Confirm"));
    TrackList->clear();
    lookUp_->Forget();
    if (answer != Dialogs::Answer::Yes)
        return;
    dialogs_.MsgBox(QStringLiteral("Please click ok after inserting another CD"),
                    Dialogs::Buttons::Ok, Dialogs::Icon::Information, QStringLiteral("Insert CD"));
    Form_Load();
}

void Dorvane::mnuTP_Click(bool checkedNow) {
    // QAction has already flipped its mark; the rules below decide.
    const bool wasChecked = !checkedNow;
    mnuTP->setChecked(wasChecked);
    if (mVariables::RunInProgress)
        return;
    if (TrackList->Count() == 0) {
        dialogs_.MsgBox(modNames::kNoTracksMessage, Dialogs::Buttons::Ok,
                        Dialogs::Icon::Exclamation, modGeneral::kAppTitle);
        return;
    }
    if (wasChecked) {
        if (modNames::ExcludeRefused(TrackList->ItemText(0), TrackList->ItemText(1))) {
            dialogs_.MsgBox(modNames::kCannotExcludeMessage, Dialogs::Buttons::Ok,
                            Dialogs::Icon::Exclamation, modGeneral::kAppTitle);
            return;
        }
        modSettings::WriteSetting(modSettings::kSection, modSettings::kIncludes,
                                  QStringLiteral("0"));
        mnuTP->setChecked(false);
        for (int i = 0; i < TrackList->Count(); ++i)
            TrackList->SetItemText(i, modNames::BareName(TrackList->ItemText(i)));
    } else {
        modSettings::WriteSetting(modSettings::kSection, modSettings::kIncludes,
                                  QStringLiteral("1"));
        mnuTP->setChecked(true);
        for (int i = 0; i < TrackList->Count(); ++i)
            TrackList->SetItemText(i, modNames::NumberedName(TrackList->ItemText(i), i));
    }
}

void Dorvane::mnuLookUp_Click() {
    // The run has taken the names as they were at its click.
    if (mVariables::RunInProgress)
        return;
    lookUp_->Start();
}
