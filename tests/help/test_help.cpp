// The Help menu, the "Help" label-button and the About window, on a main
// window with no disc. ScriptedDialogs answers the question and records
// every file and page handed to the desktop.

#include "ScriptedDialogs.h"
#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "help/frmAbout.h"
#include "shell/Dorvane.h"
#include "version.h"

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

using testsupport::child;

namespace {
const QString kSite = QStringLiteral(DORVANE_SUPPORT_SITE);
const QString kProductPage = kSite + QStringLiteral("?mode=Products&p=dorvane");
}  // namespace

class HelpTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::FreshProgram> fresh_;
    std::unique_ptr<Dorvane> w_;
    ScriptedDialogs dialogs_;

private slots:
    void init() {
        fresh_ = std::make_unique<testsupport::FreshProgram>();
        dialogs_ = ScriptedDialogs();
        w_ = std::make_unique<Dorvane>(dialogs_);
        w_->show();
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        dialogs_.boxes.clear();  // the first start's "no drive" message
    }
    void cleanup() {
        w_.reset();
        fresh_.reset();
    }

    void helpOpensTheFileOrOffersTheOnlinePages_data() {
        QTest::addColumn<QString>("helpIs");
        QTest::addColumn<Dialogs::Answer>("answer");
        QTest::addColumn<QString>("opened");
        QTest::newRow("present") << "file" << Dialogs::Answer::No << "help.chm";
        QTest::newRow("missing, No") << "" << Dialogs::Answer::No << "";
        QTest::newRow("missing, Yes") << "" << Dialogs::Answer::Yes << kProductPage;
        QTest::newRow("a folder, Yes") << "folder" << Dialogs::Answer::Yes << kProductPage;
    }
    void helpOpensTheFileOrOffersTheOnlinePages() {
        QFETCH(QString, helpIs);
        QFETCH(Dialogs::Answer, answer);
        QFETCH(QString, opened);
        const QString helpFile = fresh_->folder.qpath() + QStringLiteral("/help.chm");
        if (helpIs == QStringLiteral("file"))
            QVERIFY(QFile(helpFile).open(QIODevice::WriteOnly));
        if (helpIs == QStringLiteral("folder"))
            QVERIFY(QDir().mkdir(helpFile));
        dialogs_.answers = {answer, answer};
        QTest::keyClick(w_.get(), Qt::Key_F1);
        QTest::mouseClick(child<LabelButton>(w_.get(), "Label3"), Qt::LeftButton);

        const QString expected = opened == QStringLiteral("help.chm") ? helpFile : opened;
        QCOMPARE(dialogs_.opened, expected.isEmpty() ? QStringList() : QStringList(2, expected));
        QCOMPARE(dialogs_.boxes.size(), helpIs == QStringLiteral("file") ? size_t(0) : size_t(2));
        for (const auto& box : dialogs_.boxes) {
            QCOMPARE(
                box.text,
                QStringLiteral("Help files not present, would you like to view the online documentation?"));
            QCOMPARE(box.title, QStringLiteral("Dorvane"));
            QCOMPARE(box.icon, Dialogs::Icon::Question);
            QCOMPARE(box.buttons, Dialogs::Buttons::YesNo);
        }
    }

    void webEntriesOpenTheirPages() {
        for (const char* entry : {"mnuHRepBug", "mnuHHomepage", "mnuUpdate"})
            child<QAction>(w_.get(), entry)->trigger();
        QCOMPARE(dialogs_.opened,
                 QStringList({kSite + QStringLiteral("?mode=Contact&sub-mode=csupport"), kProductPage,
                              kSite + QStringLiteral("?mode=Products&act=DL&p=dorvane")}));
    }

    void aboutShowsWhoMadeTheProgram() {
        child<QAction>(w_.get(), "mnuHAbout")->trigger();
        child<QAction>(w_.get(), "mnuHAbout")->trigger();
        QPointer<frmAbout> window = frmAbout::Instance();
        const auto windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(windows.begin(), windows.end(),
                               [](QWidget* t) { return qobject_cast<frmAbout*>(t); }),
                 1);
        QVERIFY(window->isVisible() && !window->parentWidget() && !window->isModal());
        const QString values[] = {QStringLiteral("2.4"), QStringLiteral("0"), QStringLiteral(DORVANE_COMPANY),
                                  QStringLiteral(DORVANE_HOMEPAGE), QStringLiteral("Freeware")};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(child<QLabel>(window, qPrintable(QStringLiteral("Label%1").arg(13 + i)))->text(),
                     values[i]);

        QTest::mouseClick(child<LabelButton>(window, "Label6"), Qt::LeftButton);
        QCOMPARE(dialogs_.opened, QStringList{QStringLiteral(DORVANE_HOMEPAGE)});
        QTest::mouseClick(child<QPushButton>(window, "Command1"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!window);
    }
};

QTEST_MAIN(HelpTest)
#include "test_help.moc"
