// File > Save Track list on real files, byte for byte, its dialog answered by
// ScriptedDialogs. Tests run under C.UTF-8, so the 8-bit encoding is UTF-8.

#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "export/modSave.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using modSave::SaveTrackList;
using testsupport::ReadAll;

namespace {

const QStringList kOne{QStringLiteral("Track 01 - CD1")};
const QStringList kTwo{kOne[0], QStringLiteral("Tom & Jerry <live> \"Café\"")};
const std::string kSecond = "Tom & Jerry <live> \"Caf\xC3\xA9\"";

// The page; line 3 names the program that wrote it.
std::string Page(bool asp, const std::string& rows) {
    return std::string(asp ? "<%" : "<!--") +
           "\r\n'*************************\r\n"
           "'Page created by: test_modSave 2.4\r\n'*************************" +
           (asp ? "%>" : "-->") +
           "\r\n<html><head><title>Track list</title>\r\n<style>\r\n"
           "body   {font-size: 11px; font-family: verdana; color: "
           "#000000}\r\n</style>\r\n</head>\r\n"
           "<body bgcolor=\"#ffffff\">\r\n"
           "<div align=center><font style=\"font-size: 18px; font-family: verdana; color: "
           "#000000\">Track List\r\n"
           "<br><br><br>\r\n<table width=70% align=center border=0 cellpadding=5 "
           "cellspacing=0>\r\n" +
           rows + "</table>\r\n</body></html>\r\n";
}

} // namespace

TEST(SaveTrackList, WritesWhatTheEndOfTheNameCallsForOverALongerFile) {
    const std::string txt = "Track 01 - CD1\r\n", second = kSecond + "\r\n";
    const std::string cell = "<tr><td width=100% align=left>", end = "</td></tr>\r\n";
    const std::string one = cell + "Track 01 - CD1" + end, two = one + cell + kSecond + end;
    // What a name's file holds for no entry, one, and two.
    const std::vector<std::string> own = {"", "0 " + txt, "0 " + txt + "1 " + second},
                                   html = {Page(false, ""), Page(false, one), Page(false, two)};
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"a.dv", own},
        {"a.txt", {"", txt, txt + second}},
        {"a.html", html},
        {"a.xhtml", html},
        {"a.asp", {Page(true, ""), Page(true, one), Page(true, two)}},
        {"a.HTML", own},
        {"a", own}, // the end of the name counts as it is written
    };
    testsupport::TempFolder folder;
    for (const auto& [name, files] : cases)
        for (int n = 0; n < 3; ++n) {
            std::ofstream(folder.file(name)) << std::string(5000, 'x');
            ScriptedDialogs dialogs;
            dialogs.saveNames = {QString::fromStdString(folder.file(name))};
            SaveTrackList(dialogs, folder.qpath(), kTwo.mid(0, n));
            EXPECT_EQ(ReadAll(folder.file(name)), files[n]) << name << " " << n;
            ASSERT_EQ(dialogs.boxes.size(), 1u);
            EXPECT_EQ(dialogs.boxes[0].text.toStdString(), "File saved as: " + folder.file(name));
            EXPECT_EQ(dialogs.boxes[0].icon, Dialogs::Icon::Information);
        }
}

TEST(SaveTrackList, AFileThatCannotBeWrittenIsNamedWithTheReason) {
    testsupport::TempFolder folder;
    const QString gone = folder.qpath() + QStringLiteral("/gone/a.txt"),
                  full = QStringLiteral("/dev/full");
    ScriptedDialogs dialogs;
    dialogs.saveNames = {gone, full}; // /dev/full opens, but every write fails
    SaveTrackList(dialogs, folder.qpath(), kTwo);
    SaveTrackList(dialogs, folder.qpath(), kTwo);
    ASSERT_EQ(dialogs.boxes.size(), 2u);
    const QString said = QStringLiteral("The track list could not be saved as %1: %2.");
    EXPECT_EQ(dialogs.boxes[0].text.section(QStringLiteral("\r\n"), 0, 0).toStdString(),
              said.arg(gone, QStringLiteral("No such file or directory")).toStdString());
    EXPECT_EQ(dialogs.boxes[1].text.section(QStringLiteral("\r\n"), 0, 0).toStdString(),
              said.arg(full, QStringLiteral("No space left on device")).toStdString());
    EXPECT_EQ(dialogs.boxes[1].icon, Dialogs::Icon::Exclamation);
}

// A disk that fills up while the list is written (here: a file size limit)
// leaves the list saved before as it was.
TEST(SaveTrackList, AFailedSaveKeepsTheOldFile) {
    testsupport::TempFolder folder;
    std::ofstream(folder.file("a.txt")) << "old";
    ScriptedDialogs dialogs;
    dialogs.saveNames = {QString::fromStdString(folder.file("a.txt"))};
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    SaveTrackList(dialogs, folder.qpath(), kTwo);
    ::setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(dialogs.boxes.at(0).icon, Dialogs::Icon::Exclamation);
    EXPECT_EQ(ReadAll(folder.file("a.txt")), "old");
}

// The file's own permissions hold: a read-only list is refused, and a list in
// a folder that takes no new file, but whose list may be written, is written
// in place. Root may create files in any folder, so as root that case saves
// as nobody.
TEST(SaveTrackList, TheFilesPermissionsHoldNotTheFolders) {
    const std::tuple<mode_t, mode_t, bool> cases[] = {// folder, file, saved
                                                      {0755, 0444, false},
                                                      {0555, 0666, true},
                                                      {0555, 0444, false}};
    for (const auto& [folderMode, fileMode, saved] : cases) {
        testsupport::TempFolder folder;
        const std::string list = folder.file("a.txt");
        std::ofstream(list) << "an old list, longer than the new one";
        ASSERT_EQ(::chmod(list.c_str(), fileMode), 0);
        ASSERT_EQ(::chmod(folder.path().c_str(), folderMode), 0);
        ScriptedDialogs dialogs;
        dialogs.saveNames = {QString::fromStdString(list)};
        const bool drop = ::geteuid() == 0 && saved;
        ASSERT_TRUE(!drop || ::seteuid(65534) == 0);
        SaveTrackList(dialogs, folder.qpath(), kOne);
        ASSERT_TRUE(!drop || ::seteuid(0) == 0);
        ::chmod(folder.path().c_str(), 0700);
        const std::string what = std::to_string(folderMode) + " " + std::to_string(fileMode);
        EXPECT_EQ(ReadAll(list),
                  saved ? "Track 01 - CD1\r\n" : "an old list, longer than the new one")
            << what;
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].icon,
                  saved ? Dialogs::Icon::Information : Dialogs::Icon::Exclamation)
            << what;
        struct stat st {};
        EXPECT_TRUE(::stat(list.c_str(), &st) == 0 && (st.st_mode & 07777) == fileMode) << what;
    }
}
