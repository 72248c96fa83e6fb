// The four writers on real files, byte for byte, and File > Save Track list
// with its dialog answered by ScriptedDialogs. Tests run under C.UTF-8, so the
// system's 8-bit encoding is UTF-8 here.

#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "export/modSave.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace modSave;

namespace {

const QStringList kOne{QStringLiteral("Track 01 - CD1")};
const QStringList kTwo{kOne[0], QStringLiteral("Tom & Jerry <live> \"Café\"")};
const std::string kSecond = "Tom & Jerry <live> \"Caf\xC3\xA9\"";

// The page line by line, as the format lays it out.
std::string Page(bool asp, const std::string& rows) {
    return std::string(asp ? "<%" : "<!--") + "\r\n"
           "'*************************\r\n"
           "'Page created by: test_modSave 2.4\r\n"
           "'*************************" + (asp ? "%>" : "-->") + "\r\n"
           "<html><head><title>Track list</title>\r\n"
           "<style>\r\n"
           "body   {font-size: 11px; font-family: verdana; color: #000000}\r\n"
           "</style>\r\n"
           "</head>\r\n"
           "<body bgcolor=\"#ffffff\">\r\n"
           "<div align=center><font style=\"font-size: 18px; font-family: verdana; color: #000000\">Track List\r\n"
           "<br><br><br>\r\n"
           "<table width=70% align=center border=0 cellpadding=5 cellspacing=0>\r\n" +
           rows + "</table>\r\n</body></html>\r\n";
}

std::string Row(const std::string& text) {
    return "<tr><td width=100% align=left>" + text + "</td></tr>\r\n";
}

std::string Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
}

}  // namespace

TEST(SaveTrackList, WritesWhatTheEndOfTheNameCallsForByteForByte) {
    const std::string one = Row("Track 01 - CD1"), ownOne = "0 Track 01 - CD1\r\n";
    const struct {
        const char* name;
        QStringList entries;
        std::string expected;
    } cases[] = {
        {"a.dv", {}, ""},
        {"a.dv", kOne, ownOne},
        {"a.dv", kTwo, ownOne + "1 " + kSecond + "\r\n"},
        {"a.txt", {}, ""},
        {"a.txt", kOne, "Track 01 - CD1\r\n"},
        {"a.txt", kTwo, "Track 01 - CD1\r\n" + kSecond + "\r\n"},
        {"a.html", {}, Page(false, "")},
        {"a.html", kOne, Page(false, one)},
        {"a.html", kTwo, Page(false, one + Row(kSecond))},
        {"a.asp", {}, Page(true, "")},
        {"a.asp", kOne, Page(true, one)},
        {"a.asp", kTwo, Page(true, one + Row(kSecond))},
        {"a.xhtml", kOne, Page(false, one)},
        {"a.HTML", kOne, ownOne},
        {"a", kOne, ownOne},
    };
    testsupport::TempFolder folder;
    for (const auto& c : cases) {
        const QString path = folder.qpath() + QLatin1Char('/') + QString::fromLatin1(c.name);
        QFile old(path);  // a longer file there must leave no trace
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'x'));
        old.close();
        ScriptedDialogs dialogs;
        dialogs.saveNames = {path};
        SaveTrackList(dialogs, folder.qpath(), c.entries);
        EXPECT_EQ(Read(path), c.expected) << c.name;
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].text, QStringLiteral("File saved as: ") + path);
        EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Information);
    }
}

TEST(SaveTrackList, AsksInTheOutputFolderWithTheOwnFormatFirst) {
    ScriptedDialogs dialogs;
    SaveTrackList(dialogs, QStringLiteral("/srv/music"), kOne);  // cancelled: nothing happens
    ASSERT_EQ(dialogs.saveDialogs.size(), 1u);
    const auto& asked = dialogs.saveDialogs[0];
    EXPECT_EQ(asked.title, QStringLiteral("Save track list"));
    EXPECT_EQ(asked.folder, QStringLiteral("/srv/music"));
    EXPECT_EQ(asked.filter,
              QStringLiteral("Dorvane (*.dv);;HTML Document (*.html);;Active Server Page (*.asp);;"
                             "Plain text (*.txt)"));
    EXPECT_EQ(asked.preselected, QStringLiteral("Dorvane (*.dv)"));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST(SaveTrackList, AFileThatCannotBeWrittenIsNamedWithTheReason) {
    testsupport::TempFolder folder;
    const std::pair<QString, const char*> cases[] = {
        {folder.qpath() + QStringLiteral("/gone/list.txt"), "No such file or directory"},
        {folder.qpath(), "Is a directory"},
        {QStringLiteral("/dev/full"), "No space left on device"},  // opens, but every write fails
    };
    for (const auto& [path, reason] : cases) {
        ScriptedDialogs dialogs;
        dialogs.saveNames = {path};
        SaveTrackList(dialogs, folder.qpath(), kTwo);
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_TRUE(
            dialogs.boxes[0].text.startsWith(QStringLiteral("The track list could not be saved as %1: %2.")
                                                 .arg(path, QString::fromLatin1(reason))))
            << dialogs.boxes[0].text.toStdString();
        EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Exclamation);
    }
}
