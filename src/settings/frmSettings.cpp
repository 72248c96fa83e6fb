#include "settings/frmSettings.h"

#include "general/Dialogs.h"
#include "general/FormLayout.h"
#include "general/LabelButton.h"
#include "general/ListChoiceCombo.h"
#include "general/Twips.h"
#include "general/modGeneral.h"
#include "settings/modSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>

namespace {

using formlayout::place;
using formlayout::sansSerif;

QLabel* caption(QWidget* parent, const QString& name, const QString& text, int x, int y, int w) {
    return place(new QLabel(text, parent), name, twips::rect(x, y, w, 255));
}

const QString kSelectDrive = QStringLiteral("Select Drive");

} // namespace

frmSettings::frmSettings(Dialogs& dialogs) : QWidget(nullptr), dialogs_(dialogs) {
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                   Qt::WindowTitleHint);
    setFixedSize(twips::px(6075), twips::px(2340));
    formlayout::fillBackground(this, twips::kLightGrey);
    setFont(sansSerif(8));
    setMouseTracking(true);

    Frame1 = place(new QGroupBox(QStringLiteral("Extraction"), this), QStringLiteral("Frame1"),
                   twips::rect(0, 0, 4215, 2295));
    caption(Frame1, QStringLiteral("Label2"), QStringLiteral("Drive"), 120, 360, 600);
    auto* driveList = new ListChoiceCombo(Frame1, ListChoiceCombo::Typing::KeepsEntry);
    DriveList = place(driveList, QStringLiteral("DriveList"), twips::rect(720, 360, 2895, 315));
    DriveList->setEditText(kSelectDrive);

    caption(Frame1, QStringLiteral("Label1"), QStringLiteral("Folder:"), 120, 720, 600);
    txtOutPath = place(new QLineEdit(Frame1), QStringLiteral("txtOutPath"),
                       twips::rect(720, 720, 2895, 285));
    txtOutPath->setToolTip(QStringLiteral(
        "Output folder must be specified, either via directly entering a folder path, or by "
        "clicking the Browse For Folder button"));
    Shape2 = place(
        new Shape(Frame1, QStringLiteral("Shape2"), Shape::Kind::Rectangle, twips::kLightGrey),
        QStringLiteral("Shape2"), twips::rect(3720, 720, 255, 285));
    Label6 = place(new LabelButton(Frame1, QStringLiteral("Label6"), QStringLiteral("...")),
                   QStringLiteral("Label6"), twips::rect(3720, 720, 255, 285));
    QFont browseFont(QStringLiteral("MS Sans Serif"));
    browseFont.setPointSizeF(9.75);
    Label6->setFont(browseFont);

    caption(Frame1, QStringLiteral("Label3_0"), QStringLiteral("Format:"), 120, 1200, 720);
    optMP3 = place(new QRadioButton(QStringLiteral("MP3"), Frame1), QStringLiteral("optMP3"),
                   twips::rect(960, 1200, 735, 255));
    optWAV = place(new QRadioButton(QStringLiteral("WAV"), Frame1), QStringLiteral("optWAV"),
                   twips::rect(1800, 1200, 735, 255));
    optMP3->setChecked(true);
    optMP3->setCursor(PointingHandCursor());
    optWAV->setCursor(PointingHandCursor());

    caption(Frame1, QStringLiteral("Label5"), QStringLiteral("Quality"), 120, 1560, 600);
    // Only an entry picked from the list sets a quality; typed text selects none.
    cmbQuality = place(new ListChoiceCombo(Frame1, ListChoiceCombo::Typing::ClearsEntry),
                       QStringLiteral("cmbQuality"), twips::rect(720, 1560, 2595, 315));
    cmbQuality->addItems(modSettings::kQualityNames);

    caption(Frame1, QStringLiteral("Label3_1"), QStringLiteral("Bitrate"), 120, 1920, 600);
    cmbBitrate = place(new QComboBox(Frame1), QStringLiteral("cmbBitrate"),
                       twips::rect(720, 1920, 900, 315));
    cmbBitrate->setEditable(true);
    cmbBitrate->setInsertPolicy(QComboBox::NoInsert);
    for (int rate : modSettings::kBitrates)
        cmbBitrate->addItem(QString::number(rate));

    Frame4 = place(new QGroupBox(QStringLiteral("Optional"), this), QStringLiteral("Frame4"),
                   twips::rect(4320, 0, 1695, 1785));
    int y = 360;
    for (auto [box, name, text] :
         {std::tuple{&chkCopyright, "chkCopyright", "Copyrighted"},
          std::tuple{&chkCRC, "chkCRC", "CRC"}, std::tuple{&chkOriginal, "chkOriginal", "Original"},
          std::tuple{&chkPrivate, "chkPrivate", "Private"}}) {
        *box = place(new QCheckBox(QString::fromLatin1(text), Frame4), QString::fromLatin1(name),
                     twips::rect(240, y, 1335, 255));
        y += 360;
    }

    Shape1 =
        new Shape(this, QStringLiteral("Shape1"), Shape::Kind::RoundedRectangle, twips::kLightGrey);
    Shape1->setGeometry(twips::rect(4320, 1800, 1695, 495));
    Label4 = place(new LabelButton(this, QStringLiteral("Label4"), QStringLiteral("Save")),
                   QStringLiteral("Label4"), twips::rect(4320, 1800, 1695, 495));
    Label4->setFont(QFont(QStringLiteral("Verdana"), 18));

    for (QGroupBox* frame : {Frame1, Frame4}) {
        frame->setMouseTracking(true);
        frame->installEventFilter(this);
    }
    connect(Label4, &LabelButton::clicked, this, &frmSettings::Label4_Click);
    connect(Label6, &LabelButton::clicked, this, &frmSettings::Label6_Click);
    connect(Label4, &LabelButton::pointerMoved, this,
            [this] { Shape1->setFillColor(twips::kWhite); });
    connect(Label6, &LabelButton::pointerMoved, this,
            [this] { Shape2->setFillColor(twips::kWhite); });
    // Only a choice from the open list switches the drive: not typing, the
    // wheel, or the start-up routine showing the saved drive.
    connect(driveList, &ListChoiceCombo::chosen, this, &frmSettings::driveChosen);

    // The dialog's own load: the saved output folder.
    txtOutPath->setText(
        modSettings::ReadSetting(modSettings::kSection, modSettings::kOutpath, QString()));
}

void frmSettings::FillDriveList(const QStringList& drives) {
    const QString shown = DriveList->currentText();
    DriveList->clear();
    DriveList->addItems(drives);
    DriveList->setEditText(shown);
}

void frmSettings::ShowSettings() {
    if (!placed_) {
        placed_ = true;
        formlayout::centreOnScreen(this);
    }
    show();
    raise();
    activateWindow();
}

void frmSettings::Label4_Click() {
    // Nothing is checked first: an empty folder is saved as an empty value.
    // The placeholder shown before any drive was picked is not a drive: the
    // saved one stays.
    const QString drive = DriveList->currentText();
    const bool placeholder = drive == kSelectDrive && DriveList->findText(drive) == -1;
    QString why;
    const bool ok = modSettings::WriteSetting(modSettings::kSection, modSettings::kOutpath,
                                              txtOutPath->text(), &why) &&
                    (placeholder || modSettings::WriteSetting(modSettings::kSection,
                                                              modSettings::kDrive, drive, &why));
    if (!ok) {
        // The choices stay on screen so nothing is lost; the person can mend
        // the file or its folder and press Save again.
        dialogs_.MsgBox(
            QStringLiteral("The settings could not be saved to %1: %2.\r\n\r\nCheck that "
                           "the file and its folder may be written, then click Save again.")
                .arg(modSettings::SettingsFilePath(), why),
            Dialogs::Buttons::Ok, Dialogs::Icon::Exclamation, modGeneral::kAppTitle);
        return;
    }
    hide();
    emit saved();
}

void frmSettings::Label6_Click() {
    txtOutPath->setText(dialogs_.BrowseForFolder(QString()));
}

bool frmSettings::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (watched == Frame4)
            Shape1->setFillColor(twips::kLightGrey);
        else if (watched == Frame1)
            Shape2->setFillColor(twips::kLightGrey);
    }
    return QWidget::eventFilter(watched, event);
}

void frmSettings::mouseMoveEvent(QMouseEvent* event) {
    Shape1->setFillColor(twips::kLightGrey);
    QWidget::mouseMoveEvent(event);
}
