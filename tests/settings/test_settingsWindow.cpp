// An output folder whose name is not UTF-8 (Latin-1 "café" here) goes from
// the settings file through the settings window back to the file, and still
// names the folder on the disk.

#include "WindowTestSupport.h"

#include "general/LabelButton.h"
#include "general/modFiles.h"

#include <QLineEdit>
#include <QtTest>

#include <fstream>
#include <sys/stat.h>

using testsupport::child;

class SettingsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void aFolderNameThatIsNotUtf8KeepsItsBytes() {
        testsupport::FreshProgram fresh;
        const std::string folder = fresh.folder.file("caf\xE9");
        const std::string ini = fresh.folder.file("Dorvane.ini");
        QVERIFY(::mkdir(folder.c_str(), 0755) == 0);
        std::ofstream(ini) << "[Settings]\r\nOutpath=" << folder << "\r\n";

        ScriptedDialogs dialogs;
        frmSettings settings(dialogs);
        const QString shown = child<QLineEdit>(&settings, "txtOutPath")->text();
        struct stat st {};
        QVERIFY2(::stat(modFiles::PathBytes(shown).constData(), &st) == 0 && S_ISDIR(st.st_mode),
                 qPrintable(shown));

        QTest::mouseClick(child<LabelButton>(&settings, "Label4"), Qt::LeftButton);
        QVERIFY(dialogs.boxes.empty());
        const std::string saved = testsupport::ReadAll(ini);
        QVERIFY2(saved.find("Outpath=" + folder + "\r\n") != std::string::npos, saved.c_str());
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "test_settingsWindow.moc"
