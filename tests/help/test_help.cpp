// The Help menu, the "Help" label-button and the About window, on a main
// window with no disc. ScriptedDialogs answers the question and records
// every file and page handed to the desktop.

#include "ScriptedDialogs.h"
#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "help/frmAbout.h"
#include "shell/Dorvane.h"
#include "version.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <optional>

using testsupport::child;

class HelpTest : public QObject {
    Q_OBJECT

    const QString kSite = QStringLiteral(DORVANE_SUPPORT_SITE);
    const QString kContact = kSite + QStringLiteral("?mode=Contact&sub-mode=csupport");
    const QString kProducts = kSite + QStringLiteral("?mode=Products&p=dorvane");
    const QString kDownload = kSite + QStringLiteral("?mode=Products&act=DL&p=dorvane");
    ScriptedDialogs dialogs_;
    std::optional<testsupport::FreshProgram> fresh_;
    std::optional<Dorvane> w_;

  private slots:
    void init() {
        w_.reset();
        fresh_.emplace();
        dialogs_ = ScriptedDialogs();
        w_.emplace(dialogs_);
        dialogs_.boxes.clear(); // the first start's "no drive" message
    }

    void helpOpensTheFileOrOffersTheOnlinePages_data() {
        QTest::addColumn<QString>("helpIs");
        QTest::addColumn<Dialogs::Answer>("answer");
        QTest::newRow("present") << "file" << Dialogs::Answer::No;
        QTest::newRow("missing, No") << "" << Dialogs::Answer::No;
        QTest::newRow("a folder, Yes") << "folder" << Dialogs::Answer::Yes;
    }
    void helpOpensTheFileOrOffersTheOnlinePages() {
        QFETCH(QString, helpIs);
        QFETCH(Dialogs::Answer, answer);
        const QString helpFile = fresh_->folder.qpath() + QStringLiteral("/help.chm");
        if (!helpIs.isEmpty())
            QVERIFY(helpIs == QStringLiteral("file") ? QFile(helpFile).open(QIODevice::WriteOnly)
                                                     : QDir().mkdir(helpFile));
        dialogs_.answers = {answer, answer};
        child<QAction>(&*w_, "mnuHHelp")->trigger();
        QTest::mouseClick(child<LabelButton>(&*w_, "Label3"), Qt::LeftButton);

        const bool present = helpIs == QStringLiteral("file"), yes = answer == Dialogs::Answer::Yes;
        const QString opened = present ? helpFile : kProducts;
        QCOMPARE(dialogs_.opened, present || yes ? QStringList(2, opened) : QStringList());
        QCOMPARE(dialogs_.boxes.size(), size_t(present ? 0 : 2));
        for (const auto& box : dialogs_.boxes) {
            QCOMPARE(box.text,
                     QStringLiteral("Help files not present, would you like to view the online "
                                    "documentation?"));
            QVERIFY(box.title == QStringLiteral("Dorvane") && box.icon == Dialogs::Icon::Question);
        }
    }

    // A page that does not open (no browser) is named in a box; one that
    // does open gets none.
    void linksOpenTheirPagesAndAboutShowsWhoMadeTheProgram() {
        dialogs_.openResults = {false, true, false, false};
        dialogs_.answers = {Dialogs::Answer::Yes};
        for (const char* entry :
             {"mnuHRepBug", "mnuHHomepage", "mnuUpdate", "mnuHHelp", "mnuHAbout", "mnuHAbout"})
            child<QAction>(&*w_, entry)->trigger();
        frmAbout* about = frmAbout::Instance();
        QTest::mouseClick(child<LabelButton>(about, "Label6"), Qt::LeftButton);
        QCOMPARE(dialogs_.opened, QStringList({kContact, kProducts, kDownload, kProducts,
                                               QStringLiteral(DORVANE_HOMEPAGE)}));
        QCOMPARE(dialogs_.boxes.size(), size_t(4)); // the third asks about the online pages
        const QString failed[] = {kContact, kDownload, kProducts};
        for (int i = 0; i < 3; ++i) {
            const auto& box = dialogs_.boxes[i < 2 ? i : 3];
            QVERIFY2(box.text.startsWith(QStringLiteral("The page could not be shown: no web "
                                                        "browser")) &&
                         box.text.endsWith(QStringLiteral("\r\n\r\n") + failed[i]),
                     qPrintable(box.text));
            QVERIFY(box.icon == Dialogs::Icon::Exclamation &&
                    box.title == QStringLiteral("Dorvane"));
        }
        QVERIFY(about->isVisible() && !about->parentWidget() && !about->isModal());
        const char* values[] = {"2.4", "0", DORVANE_COMPANY, DORVANE_HOMEPAGE, "Freeware"};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(
                child<QLabel>(about, qPrintable(QStringLiteral("Label%1").arg(13 + i)))->text(),
                QString::fromUtf8(values[i]));
        // About twice made one window, which Close destroys.
        QTest::mouseClick(child<QPushButton>(about, "Command1"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(std::ranges::none_of(QApplication::topLevelWidgets(), [](QWidget* t) {
            return qobject_cast<frmAbout*>(t) != nullptr;
        }));
    }
};

QTEST_MAIN(HelpTest)
#include "test_help.moc"
