// The four writers on real files, byte for byte, and File > Save Track list
// with its dialog answered by ScriptedDialogs. Tests run under C.UTF-8, so the
// system's 8-bit encoding is UTF-8 here.

#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "export/modSave.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace modSave;
using testsupport::TempFolder;

namespace {

const QStringList kOne{QStringLiteral("Track 01 - CD1")};
const QStringList kTwo{QStringLiteral("Track 01 - CD1"), QStringLiteral("Tom & Jerry <live> \"Café\"")};
const std::string kSecond = "Tom & Jerry <live> \"Caf\xC3\xA9\"";

std::string Page(bool asp, const std::string& rows) {
    return std::string(asp ? "<%" : "<!--") +
           "\r\n'*************************\r\n'Page created by: test_modSave 2.4\r\n"
           "'*************************" + (asp ? "%>" : "-->") +
           "\r\n<html><head><title>Track list</title>\r\n<style>\r\n"
           "body   {font-size: 11px; font-family: verdana; color: #000000}\r\n</style>\r\n</head>\r\n"
           "<body bgcolor=\"#ffffff\">\r\n<div align=center><font style=\"font-size: 18px; font-family: "
           "verdana; color: #000000\">Track List\r\n<br><br><br>\r\n"
           "<table width=70% align=center border=0 cellpadding=5 cellspacing=0>\r\n" +
           rows + "</table>\r\n</body></html>\r\n";
}

std::string Row(const std::string& text) { return "<tr><td width=100% align=left>" + text + "</td></tr>\r\n"; }

std::string Read(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
}

}  // namespace

TEST(Writers, EachFormatByteForByte) {
    using Fn = Outcome (*)(const QString&, const QStringList&);
    struct Case {
        const char* name;
        Fn writer;
        QStringList entries;
        std::string expected;
    };
    const Case cases[] = {
        {"own empty", SaveAsOwnFormat, {}, ""},
        {"own one", SaveAsOwnFormat, kOne, "0 Track 01 - CD1\r\n"},
        {"own two", SaveAsOwnFormat, kTwo, "0 Track 01 - CD1\r\n1 " + kSecond + "\r\n"},
        {"text empty", SaveAsText, {}, ""},
        {"text one", SaveAsText, kOne, "Track 01 - CD1\r\n"},
        {"text two", SaveAsText, kTwo, "Track 01 - CD1\r\n" + kSecond + "\r\n"},
        {"html empty", SaveAsHtml, {}, Page(false, "")},
        {"html one", SaveAsHtml, kOne, Page(false, Row("Track 01 - CD1"))},
        {"html two", SaveAsHtml, kTwo, Page(false, Row("Track 01 - CD1") + Row(kSecond))},
        {"asp empty", SaveAsAsp, {}, Page(true, "")},
        {"asp one", SaveAsAsp, kOne, Page(true, Row("Track 01 - CD1"))},
        {"asp two", SaveAsAsp, kTwo, Page(true, Row("Track 01 - CD1") + Row(kSecond))},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        const std::string path = folder.file(c.name);
        // A longer file there before must leave no trace.
        QFile old(QString::fromStdString(path));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'x'));
        old.close();
        const Outcome outcome = c.writer(QString::fromStdString(path), c.entries);
        EXPECT_TRUE(outcome.ok) << c.name << ": " << outcome.error.toStdString();
        EXPECT_EQ(Read(path), c.expected) << c.name;
    }
}

TEST(Writers, ChosenByTheEndOfTheNameCaseCounting) {
    const std::pair<const char*, Writer> cases[] = {
        {"/m/list.html", Writer::Html}, {"/m/list.HTML", Writer::OwnFormat}, {"/m/list.xhtml", Writer::Html},
        {"/m/list.asp", Writer::Asp},   {"/m/list.txt", Writer::Text},       {"/m/list.dv", Writer::OwnFormat},
        {"/m/list", Writer::OwnFormat}, {"/m/list.Txt", Writer::OwnFormat},
    };
    for (const auto& [name, writer] : cases)
        EXPECT_EQ(WriterFor(QString::fromLatin1(name)), writer) << name;
}

TEST(SaveTrackList, AsksInTheOutputFolderAndWritesWhatTheNameCallsFor) {
    TempFolder folder;
    const QString path = folder.qpath() + QStringLiteral("/list.html");
    ScriptedDialogs dialogs;
    dialogs.saveNames = {path, QString()};
    SaveTrackList(dialogs, folder.qpath(), kOne);
    SaveTrackList(dialogs, folder.qpath(), kTwo);  // cancelled: nothing happens

    ASSERT_EQ(dialogs.saveDialogs.size(), 2u);
    const auto& asked = dialogs.saveDialogs[0];
    EXPECT_EQ(asked.title, QStringLiteral("Save track list"));
    EXPECT_EQ(asked.folder, folder.qpath());
    EXPECT_EQ(asked.filter, QStringLiteral("Dorvane (*.dv);;HTML Document (*.html);;Active Server Page (*.asp);;"
                                           "Plain text (*.txt)"));
    EXPECT_EQ(asked.preselected, QStringLiteral("Dorvane (*.dv)"));
    EXPECT_EQ(Read(path.toStdString()), Page(false, Row("Track 01 - CD1")));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, QStringLiteral("File saved as: ") + path);
    EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Information);
    EXPECT_EQ(dialogs.boxes[0].title, QStringLiteral("Dorvane"));
}

TEST(SaveTrackList, AFileThatCannotBeWrittenIsNamedWithTheReason) {
    TempFolder folder;
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
        const QString text = dialogs.boxes[0].text;
        EXPECT_TRUE(text.startsWith(QStringLiteral("The track list could not be saved as ") + path + QStringLiteral(": ") +
                                    QString::fromLatin1(reason)))
            << text.toStdString();
        EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Exclamation);
    }
}
