#include "tracks/frmRenAll.h"

#include "general/FormLayout.h"
#include "general/LabelButton.h"
#include "general/ListChoiceCombo.h"
#include "general/Twips.h"
#include "tracks/TrackListBox.h"
#include "tracks/modNames.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTreeWidget>

namespace {

using formlayout::place;
using formlayout::sansSerif;

enum Column { kTitle = 0, kTrack = 1, kPrefix = 2 };

QString bare(QString text) {
    return text.remove(u' ');
}

} // namespace

frmRenAll::frmRenAll(QWidget* owner, TrackListBox* trackList, const QAction* mnuTP)
    : QDialog(owner), trackList_(trackList), mnuTP_(mnuTP) {
    setObjectName(QStringLiteral("frmRenAll"));
    setWindowTitle(QStringLiteral("Rename All"));
    setModal(true);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint |
                   Qt::WindowTitleHint);
    setFixedSize(twips::px(5895), twips::px(3210));
    formlayout::fillBackground(this, twips::kLightGrey);
    setFont(sansSerif(8));
    setMouseTracking(true);

    List1 = place(new QTreeWidget(this), QStringLiteral("List1"), twips::rect(0, 0, 5895, 2295));
    List1->setRootIsDecorated(false);
    List1->setItemsExpandable(false);
    List1->setHeaderLabels(
        {QStringLiteral("Filename"), QStringLiteral("Track"), QStringLiteral("Prefix")});
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setSelectionBehavior(QAbstractItemView::SelectRows);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Columns keep the widths given to them; the last one does not fill up.
    List1->header()->setStretchLastSection(false);

    Label3 = place(new QLabel(QStringLiteral("New Name:"), this), QStringLiteral("Label3"),
                   twips::rect(80, 2440, 855, 255));
    Text1 = place(new QLineEdit(this), QStringLiteral("Text1"), twips::rect(960, 2400, 3255, 315));
    Label4 = place(new QLabel(QStringLiteral("Prefix:"), this), QStringLiteral("Label4"),
                   twips::rect(4320, 2440, 495, 255));
    // Only a choice from the list applies a prefix; typing in the field does not.
    auto* prefixList = new ListChoiceCombo(this, ListChoiceCombo::Typing::KeepsEntry);
    cboPrefix = place(prefixList, QStringLiteral("cboPrefix"), twips::rect(4800, 2400, 975, 315));
    cboPrefix->addItems({QStringLiteral(" - CD1"), QStringLiteral(" - CD2"),
                         QStringLiteral(" - CD3"), QStringLiteral(" - CD4")});
    cboPrefix->setEditText(QStringLiteral(" - CD1"));

    const QFont captionFont = [] {
        QFont font(QStringLiteral("Verdana"));
        font.setPointSizeF(9.75);
        return font;
    }();
    Shape1_1 = place(new Shape(this, QStringLiteral("Shape1_1"), Shape::Kind::RoundedRectangle,
                               twips::kLightGrey),
                     QStringLiteral("Shape1_1"), twips::rect(3720, 2880, 975, 255));
    Label2 = place(new LabelButton(this, QStringLiteral("Label2"), QStringLiteral("Cancel")),
                   QStringLiteral("Label2"), twips::rect(3720, 2880, 975, 255));
    Label2->setFont(captionFont);
    Shape1_0 = place(new Shape(this, QStringLiteral("Shape1_0"), Shape::Kind::RoundedRectangle,
                               twips::kLightGrey),
                     QStringLiteral("Shape1_0"), twips::rect(4800, 2880, 975, 255));
    Label1 = place(new LabelButton(this, QStringLiteral("Label1"), QStringLiteral("OK")),
                   QStringLiteral("Label1"), twips::rect(4800, 2880, 975, 255));
    Label1->setFont(captionFont);

    setTabOrder(cboPrefix, Text1);
    setTabOrder(Text1, List1);
    cboPrefix->setFocus();

    Text1->installEventFilter(this);
    connect(prefixList, &ListChoiceCombo::chosen, this, &frmRenAll::cboPrefix_Click);
    connect(Label1, &LabelButton::clicked, this, &frmRenAll::Label1_Click);
    connect(Label2, &LabelButton::clicked, this, &QDialog::reject);
    connect(Label1, &LabelButton::pointerMoved, this, [this] {
        Shape1_0->setFillColor(twips::kWhite);
        Shape1_1->setFillColor(twips::kLightGrey);
    });
    connect(Label2, &LabelButton::pointerMoved, this, [this] {
        Shape1_1->setFillColor(twips::kWhite);
        Shape1_0->setFillColor(twips::kLightGrey);
    });

    FillRows();
}

void frmRenAll::FillRows() {
    if (!trackList_)
        return;
    const bool numbered = mnuTP_ && mnuTP_->isChecked();
    for (int i = 0; i < trackList_->Count(); ++i) {
        const QString name = trackList_->ItemText(i);
        auto* row = new QTreeWidgetItem(List1);
        row->setText(kTitle, modNames::TitleFromName(name));
        if (numbered) {
            row->setText(kTrack, modNames::TrackNoFromName(name));
            row->setText(kPrefix, bare(modNames::PrefixFromName(name)));
        } else {
            row->setText(kTrack, QString::number(i + 1));
        }
    }
}

void frmRenAll::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (sized_)
        return;
    sized_ = true;
    const int innerTwips = width() * 15;
    List1->resize(width(), List1->height());
    List1->setColumnWidth(kTitle, twips::px(innerTwips - 2110));
    List1->setColumnWidth(kTrack, twips::px(980));
    List1->setColumnWidth(kPrefix, twips::px(900));
}

bool frmRenAll::eventFilter(QObject* watched, QEvent* event) {
    // Every key counts, arrows too: whatever the field holds becomes the
    // selected row's title.
    if (watched == Text1 && event->type() == QEvent::KeyRelease) {
        const QList<QTreeWidgetItem*> selected = List1->selectedItems();
        if (!selected.isEmpty())
            selected.first()->setText(kTitle, Text1->text());
    }
    return QDialog::eventFilter(watched, event);
}

void frmRenAll::cboPrefix_Click(int index) {
    const QString prefix = bare(modNames::PrefixFromName(cboPrefix->itemText(index)));
    for (int i = 0; i < List1->topLevelItemCount(); ++i)
        List1->topLevelItem(i)->setText(kPrefix, prefix);
}

void frmRenAll::Label1_Click() {
    if (trackList_) {
        const bool numbered = mnuTP_ && mnuTP_->isChecked();
        trackList_->clear();
        for (int i = 0; i < List1->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = List1->topLevelItem(i);
            trackList_->AddItem(numbered
                                    ? modNames::ComposeName(row->text(kTitle), row->text(kTrack),
                                                            row->text(kPrefix))
                                    : row->text(kTitle));
        }
    }
    accept();
}

void frmRenAll::mouseMoveEvent(QMouseEvent* event) {
    Shape1_0->setFillColor(twips::kLightGrey);
    Shape1_1->setFillColor(twips::kLightGrey);
    QDialog::mouseMoveEvent(event);
}
