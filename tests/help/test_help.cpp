// The Help menu, the "Help" label-button and the About window, on a main
// window with no disc. ScriptedDialogs answers the question and records
// every file and page handed to the desktop.

#include "ScriptedDialogs.h"
#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "help/frmAbout.h"
#include "help/modHelp.h"
#include "shell/Dorvane.h"
#include "version.h"

#include <QAction>
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

    QString helpFile() const { return fresh_->folder.qpath() + QStringLiteral("/help.chm"); }

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
        if (frmAbout* about = frmAbout::Instance())
            about->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w_.reset();
        fresh_.reset();
    }

    void helpOpensTheFileOrOffersTheOnlinePages_data() {
        QTest::addColumn<QString>("helpIs");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("opensPage");
        QTest::newRow("present") << "file" << false << false << false;
        QTest::newRow("missing, No") << "none" << false << true << false;
        QTest::newRow("missing, Yes") << "none" << true << true << true;
        QTest::newRow("a folder, Yes") << "folder" << true << true << true;
    }
    void helpOpensTheFileOrOffersTheOnlinePages() {
        QFETCH(QString, helpIs);
        QFETCH(bool, yes);
        QFETCH(bool, asked);
        QFETCH(bool, opensPage);
        if (helpIs == QStringLiteral("file")) {
            QFile file(helpFile());
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (helpIs == QStringLiteral("folder")) {
            QVERIFY(QDir().mkdir(helpFile()));
        }
        // The F1 key, then the label-button: both do the same.
        dialogs_.answers = {yes ? Dialogs::Answer::Yes : Dialogs::Answer::No};
        QTest::keyClick(w_.get(), Qt::Key_F1);
        dialogs_.answers = {yes ? Dialogs::Answer::Yes : Dialogs::Answer::No};
        QTest::mouseClick(child<LabelButton>(w_.get(), "Label3"), Qt::LeftButton);

        const QString opened = helpIs == QStringLiteral("file") ? helpFile() : kProductPage;
        QCOMPARE(dialogs_.opened, opensPage || !asked ? QStringList(2, opened) : QStringList());
        QCOMPARE(dialogs_.boxes.size(), asked ? size_t(2) : size_t(0));
        if (asked) {
            const auto& box = dialogs_.boxes[0];
            QCOMPARE(box.text,
                     QStringLiteral("Help files not present, would you like to view the online documentation?"));
            QCOMPARE(box.title, QStringLiteral("Dorvane"));
            QCOMPARE(box.icon, Dialogs::Icon::Question);
            QCOMPARE(box.buttons, Dialogs::Buttons::YesNo);
        }
    }

    void onlyAPlainFileCounts() {
        const std::pair<QString, bool> cases[] = {
            {QString(), false}, {QStringLiteral("   "), false}, {QStringLiteral("/dev/null"), false},
            {QDir::tempPath(), false}, {QCoreApplication::applicationFilePath(), true},
        };
        for (const auto& [path, exists] : cases)
            QVERIFY2(modHelp::FileExists(path) == exists, qPrintable(path));
        QVERIFY(modHelp::IsBlank(QStringLiteral("  ")));
        QVERIFY(!modHelp::IsBlank(QStringLiteral(" x ")));
    }

    void webEntriesOpenTheirPages() {
        for (const char* entry : {"mnuHRepBug", "mnuHHomepage", "mnuUpdate"})
            child<QAction>(w_.get(), entry)->trigger();
        QCOMPARE(dialogs_.opened, QStringList({kSite + QStringLiteral("?mode=Contact&sub-mode=csupport"), kProductPage,
                                               kSite + QStringLiteral("?mode=Products&act=DL&p=dorvane")}));
        QVERIFY(kSite.startsWith(QStringLiteral("http://")) && kSite.endsWith(QLatin1Char('/')));
    }

    void aboutShowsWhoMadeTheProgram() {
        QAction* about = child<QAction>(w_.get(), "mnuHAbout");
        about->trigger();
        about->trigger();
        QPointer<frmAbout> window = frmAbout::Instance();
        QVERIFY(window && window->isVisible() && !window->parentWidget() && !window->isModal());
        const auto windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(windows.begin(), windows.end(), [](QWidget* t) { return qobject_cast<frmAbout*>(t); }),
                 1);
        QCOMPARE(window->windowTitle(), QStringLiteral("About"));
        const std::pair<const char*, QString> values[] = {
            {"Label13", QStringLiteral("2.4")},
            {"Label14", QStringLiteral("0")},
            {"Label15", QStringLiteral(DORVANE_COMPANY)},
            {"Label16", QStringLiteral(DORVANE_HOMEPAGE)},
            {"Label17", QStringLiteral("Freeware")},
        };
        for (const auto& [name, text] : values)
            QCOMPARE(child<QLabel>(window, name)->text(), text);

        QTest::mouseClick(child<LabelButton>(window, "Label6"), Qt::LeftButton);
        QCOMPARE(dialogs_.opened, QStringList{QStringLiteral(DORVANE_HOMEPAGE)});
        QTest::mouseClick(child<QPushButton>(window, "Command1"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!window);
    }
};

QTEST_MAIN(HelpTest)
#include "test_help.moc"
