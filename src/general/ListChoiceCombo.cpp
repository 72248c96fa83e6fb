#include "general/ListChoiceCombo.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <QWheelEvent>

#include <utility>

ListChoiceCombo::ListChoiceCombo(QWidget* parent, Typing typing)
    : QComboBox(parent), typing_(typing) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Inline completion would pick an entry while the person is still typing.
    setCompleter(nullptr);
    // When editing ends on text equal to an entry, QComboBox makes that entry
    // current and reports it as chosen; typed text must stay typed text.
    disconnect(lineEdit(), SIGNAL(editingFinished()), this, SLOT(_q_editingFinished()));
    connect(lineEdit(), &QLineEdit::textEdited, this, &ListChoiceCombo::TextEdited);
    // The open list closes itself before it reports the entry picked, so the
    // report that follows a close is the one that counts.
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (std::exchange(listClosing_, false))
            emit chosen(index);
    });
}

void ListChoiceCombo::showPopup() {
    listClosing_ = false;
    QComboBox::showPopup();
}

void ListChoiceCombo::hidePopup() {
    listClosing_ = true;
    QComboBox::hidePopup();
    QTimer::singleShot(0, this, [this] { listClosing_ = false; });
}

void ListChoiceCombo::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

void ListChoiceCombo::keyPressEvent(QKeyEvent* event) {
    // On the closed box these keys, with any modifier, would step to another
    // entry and report it; they open the list instead.
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        showPopup();
        event->accept();
        return;
    default:
        break;
    }
    QComboBox::keyPressEvent(event);
}

void ListChoiceCombo::TextEdited(const QString& text) {
    if (typing_ != Typing::ClearsEntry || currentIndex() == -1)
        return;
    // Leaving the entry also empties the field; put the typing back as it was.
    const int cursor = lineEdit()->cursorPosition();
    const QSignalBlocker quiet(this);
    setCurrentIndex(-1);
    lineEdit()->setText(text);
    lineEdit()->setCursorPosition(cursor);
}
