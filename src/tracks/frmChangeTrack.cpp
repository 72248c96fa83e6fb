#include "tracks/frmChangeTrack.h"

#include "general/FormLayout.h"
#include "general/LabelButton.h"
#include "general/Twips.h"
#include "tracks/TrackListBox.h"
#include "tracks/modNames.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

namespace {

using formlayout::place;
using formlayout::sansSerif;

QPointer<frmChangeTrack> g_open;

QLineEdit* readOnlyField(QWidget* parent, const QString& name, const QRect& where) {
    auto* field = place(new QLineEdit(parent), name, where);
    field->setReadOnly(true);
    field->setEnabled(false);
    return field;
}

QComboBox* prefixList(QWidget* parent, const QString& name, const QRect& where) {
    auto* combo = place(new QComboBox(parent), name, where);
    combo->setEditable(true);
    // Typed prefixes are used as they are, never added to the list.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems({QStringLiteral("CD1"), QStringLiteral("CD2"), QStringLiteral("CD3"),
                     QStringLiteral("CD4")});
    return combo;
}

} // namespace

frmChangeTrack* frmChangeTrack::Open(TrackListBox* trackList, const QAction* mnuTP) {
    if (g_open) {
        g_open->raise();
        g_open->activateWindow();
        return g_open;
    }
    if (!trackList || trackList->CurrentIndex() == -1)
        return nullptr;
    auto* window = new frmChangeTrack(trackList, mnuTP);
    window->Fill(trackList->ItemText(trackList->CurrentIndex()));
    g_open = window;
    formlayout::centreOnScreen(window);
    window->show();
    window->activateWindow();
    return window;
}

frmChangeTrack* frmChangeTrack::Instance() {
    return g_open;
}

frmChangeTrack::frmChangeTrack(TrackListBox* trackList, const QAction* mnuTP)
    : QWidget(nullptr), trackList_(trackList), mnuTP_(mnuTP) {
    setObjectName(QStringLiteral("frmChangeTrack"));
    setWindowTitle(QStringLiteral("New Filename"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                   Qt::WindowTitleHint);
    setFixedSize(twips::px(4785), twips::px(1170));
    formlayout::fillBackground(this, twips::kLightGrey);
    setFont(sansSerif(8));
    setMouseTracking(true);

    Label1 = place(new QLabel(QStringLiteral("Current:"), this), QStringLiteral("Label1"),
                   twips::rect(120, 120, 615, 255));
    txtCurrent =
        readOnlyField(this, QStringLiteral("txtCurrent"), twips::rect(840, 120, 2415, 285));
    txtOldTrackNo =
        readOnlyField(this, QStringLiteral("txtOldTrackNo"), twips::rect(3360, 120, 375, 285));
    cboPrefix_0 = prefixList(this, QStringLiteral("cboPrefix_0"), twips::rect(3840, 120, 855, 315));

    Label2 = place(new QLabel(QStringLiteral("New:"), this), QStringLiteral("Label2"),
                   twips::rect(120, 480, 615, 255));
    txtNew = place(new QLineEdit(this), QStringLiteral("txtNew"), twips::rect(840, 480, 3855, 285));
    // The number and prefix written on OK are the ones read at opening; they
    // are kept in hidden fields and never shown for editing.
    txtTrackNo =
        readOnlyField(this, QStringLiteral("txtTrackNo"), twips::rect(3360, 480, 375, 285));
    txtTrackNo->hide();
    cboPrefix_1 = prefixList(this, QStringLiteral("cboPrefix_1"), twips::rect(3840, 480, 855, 315));
    cboPrefix_1->hide();

    Shape1 = place(
        new Shape(this, QStringLiteral("Shape1"), Shape::Kind::RoundedRectangle, twips::kLightGrey),
        QStringLiteral("Shape1"), twips::rect(3840, 840, 855, 255));
    Label3 = place(new LabelButton(this, QStringLiteral("Label3"), QStringLiteral("OK")),
                   QStringLiteral("Label3"), twips::rect(3840, 840, 855, 255));
    QFont okFont = sansSerif(9.75);
    okFont.setBold(true);
    Label3->setFont(okFont);

    setTabOrder(txtNew, cboPrefix_0);
    txtNew->setFocus();

    connect(Label3, &LabelButton::clicked, this, &frmChangeTrack::Label3_Click);
    connect(txtNew, &QLineEdit::returnPressed, this, &frmChangeTrack::Label3_Click);
    connect(Label3, &LabelButton::pointerMoved, this,
            [this] { Shape1->setFillColor(twips::kWhite); });
}

void frmChangeTrack::Fill(const QString& name) {
    const QString prefix = modNames::PrefixFromName(name).remove(u' ');
    txtCurrent->setText(modNames::TitleFromName(name));
    txtOldTrackNo->setText(modNames::TrackNoFromName(name));
    cboPrefix_0->setEditText(prefix);
    txtTrackNo->setText(modNames::TrackNoFromName(name));
    cboPrefix_1->setEditText(prefix);
    txtNew->clear();
    // Narrow fields show the start of their text, not the end.
    txtCurrent->setCursorPosition(0);
    txtOldTrackNo->setCursorPosition(0);
}

void frmChangeTrack::Label3_Click() {
    if (txtNew->text().isEmpty()) {
        txtNew->setFocus();
        return;
    }
    // The list may have been cleared or refilled while this window was open.
    TrackListBox* list = trackList_.data();
    const int index = list ? list->CurrentIndex() : -1;
    if (index >= 0 && index < list->Count()) {
        const bool numbered = mnuTP_ && mnuTP_->isChecked();
        list->SetItemText(index, numbered
                                     ? modNames::ComposeName(txtNew->text(), txtTrackNo->text(),
                                                             cboPrefix_1->currentText())
                                     : txtNew->text());
    }
    close();
}

void frmChangeTrack::mouseMoveEvent(QMouseEvent* event) {
    Shape1->setFillColor(twips::kLightGrey);
    QWidget::mouseMoveEvent(event);
}

void frmChangeTrack::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    // The window is only deleted later; a new Open right after OK must build
    // a fresh one rather than raise this one.
    if (event->isAccepted() && g_open == this)
        g_open = nullptr;
}
