#include "tracks/TrackListBox.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>

TrackListBox::TrackListBox(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("TrackList"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void TrackListBox::AddItem(const QString& text) {
    auto* item = new QListWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    addItem(item);
}

void TrackListBox::SetLocked(bool locked) {
    for (int i = 0; i < count(); ++i) {
        QListWidgetItem* it = item(i);
        it->setFlags(locked ? it->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable)
                            : it->flags() | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    }
}

QString TrackListBox::ItemText(int index) const {
    const QListWidgetItem* it = item(index);
    return it ? it->text() : QString();
}

void TrackListBox::SetItemText(int index, const QString& text) {
    if (QListWidgetItem* it = item(index))
        it->setText(text);
}

bool TrackListBox::IsChecked(int index) const {
    const QListWidgetItem* it = item(index);
    return it && it->checkState() == Qt::Checked;
}

void TrackListBox::SetChecked(int index, bool checked) {
    if (QListWidgetItem* it = item(index))
        it->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

QStringList TrackListBox::Texts() const {
    QStringList texts;
    for (int i = 0; i < count(); ++i)
        texts << item(i)->text();
    return texts;
}

bool TrackListBox::event(QEvent* e) {
    // F3 is also the shortcut of Edit > Rename. Taking the key here first
    // keeps one press from opening the rename window twice.
    if (e->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_F3 && key->modifiers() == Qt::NoModifier && count() > 0) {
            e->accept();
            return true;
        }
    }
    return QListWidget::event(e);
}

void TrackListBox::focusInEvent(QFocusEvent* e) {
    // Qt makes the first item current when a list without one gets the
    // focus; then "no current item" would hold only until the first focus.
    const bool noneCurrent = !currentIndex().isValid();
    QListWidget::focusInEvent(e);
    if (noneCurrent && currentIndex().isValid())
        selectionModel()->clear();
}

void TrackListBox::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_F3 && e->modifiers() == Qt::NoModifier && count() > 0) {
        emit renameKey();
        e->accept();
        return;
    }
    QListWidget::keyPressEvent(e);
}

void TrackListBox::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) {
        emit popupRequested(e->globalPosition().toPoint());
        e->accept();
        return;
    }
    QListWidget::mousePressEvent(e);
}
