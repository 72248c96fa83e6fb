#include "general/QtDialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {
QWidget* activeOwner() {
    return QApplication::activeWindow();
}
} // namespace

Dialogs::Answer QtDialogs::MsgBox(const QString& text, Buttons buttons, Icon icon,
                                  const QString& title) {
    QMessageBox box(activeOwner());
    box.setWindowTitle(title);
    // Texts carry track and file names, which may look like HTML.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

QString QtDialogs::BrowseForFolder(const QString& title) {
    return QFileDialog::getExistingDirectory(activeOwner(),
                                             title.isEmpty() ? QStringLiteral("Directory") : title,
                                             QString(), QFileDialog::ShowDirsOnly);
}

QString QtDialogs::SaveFileName(const QString& title, const QString& folder, const QString& filter,
                                QString* selectedFilter) {
    return QFileDialog::getSaveFileName(activeOwner(), title, folder, filter, selectedFilter);
}

bool QtDialogs::ChoosePrinter(QPrinter& printer, const QString& title) {
    QPrintDialog dialog(&printer, activeOwner());
    dialog.setWindowTitle(title);
    return dialog.exec() == QDialog::Accepted;
}

int QtDialogs::ChooseFromList(const QString& title, const QString& text,
                              const QStringList& headings, const QList<QStringList>& rows) {
    QDialog dialog(activeOwner());
    dialog.setObjectName(QStringLiteral("ListChoice"));
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(&dialog);
    // Rows and text carry names from elsewhere, which may look like HTML.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    layout->addWidget(label);

    auto* table = new QTreeWidget(&dialog);
    table->setObjectName(QStringLiteral("Rows"));
    table->setRootIsDecorated(false);
    table->setItemsExpandable(false);
    table->setUniformRowHeights(true);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setHeaderLabels(headings);
    for (const QStringList& cells : rows) {
        auto* row = new QTreeWidgetItem(table);
        for (qsizetype c = 0; c < cells.size() && c < headings.size(); ++c)
            row->setText(static_cast<int>(c), cells[c]);
    }
    for (int c = 0; c < headings.size(); ++c)
        table->resizeColumnToContents(c);
    if (!rows.isEmpty())
        table->setCurrentItem(table->topLevelItem(0));
    layout->addWidget(table);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(!rows.isEmpty());
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(table, &QTreeWidget::itemActivated, &dialog, &QDialog::accept);
    QObject::connect(table, &QTreeWidget::currentItemChanged, ok,
                     [ok](QTreeWidgetItem* current) { ok->setEnabled(current != nullptr); });

    // As large as its rows and columns, up to a dozen rows and 900 pixels.
    table->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    int width = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < headings.size(); ++c)
        width += table->columnWidth(c);
    table->setMinimumWidth(std::min(width, 900));
    table->setMaximumHeight(table->header()->sizeHint().height() + 2 * table->frameWidth() +
                            12 * std::max(table->sizeHintForRow(0), 1) +
                            table->horizontalScrollBar()->sizeHint().height());
    table->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    QTreeWidgetItem* current = table->currentItem();
    return current ? table->indexOfTopLevelItem(current) : -1;
}

bool QtDialogs::HandToDesktop(const QString& target) {
    const QUrl url =
        QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return QDesktopServices::openUrl(url);
    // A browser started anew may keep xdg-open waiting until it closes, so
    // the opener runs on and reports when it ends.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    const std::weak_ptr<int> alive = alive_;
    const auto failed = [this, alive, target] {
        if (!alive.expired())
            SayNotOpened(target);
    };
    QObject::connect(process, &QProcess::finished, process,
                     [process, failed](int code, QProcess::ExitStatus how) {
                         process->deleteLater();
                         if (how == QProcess::NormalExit && code != 0)
                             failed();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, failed](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         process->deleteLater();
                         failed();
                     });
    process->start(opener,
                   {url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
    return true;
}
