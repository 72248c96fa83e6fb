// The settings store: Dorvane.ini beside the program (or in the user's
// configuration folder when the program's folder cannot be written), read
// forgivingly and written without ever leaving a broken file behind.

#include "general/modFiles.h"
#include "general/modGeneral.h"
#include "settings/IniFile.h"
#include "settings/modSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace modSettings;

namespace {

QString S(const char* text) {
    return QString::fromUtf8(text);
}

class SettingsStore : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        modGeneral::SetAppFolderForTesting(dir_.path());
        qputenv("XDG_CONFIG_HOME", modFiles::PathBytes(dir_.path() + S("/config")));
    }
    void TearDown() override { modGeneral::SetAppFolderForTesting(QString()); }

    QString Ini() const { return dir_.path() + S("/Dorvane.ini"); }
    static QByteArray Bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void Put(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsStore, ValuesReadBackAsWritten) {
    const QString cut(153, u'a');
    const std::tuple<QString, QString, QString> values[] = {
        // key, value written, value read
        {kDrive, S("E"), S("E")},
        {kOutpath, S("/home/ann/Music/My CDs/"), S("/home/ann/Music/My CDs/")},
        {kIncludes, S("Björk – Homogenic ♫ 😀"), S("Björk – Homogenic ♫ 😀")},
        {S("Padded"), S(" padded "), S(" padded ")}, // what reading strips is written quoted
        {S("Quoted"), S("\"quoted\""), S("\"quoted\"")},
        {S("Empty"), QString(), QString()},
        // Cut to 154 characters, never inside a surrogate pair.
        {S("Long"), cut + S("😀b"), cut},
        {S("Lines"), S("a\nb\r\nc"), S("a b  c")}, // a line break would split the line
    };
    for (const auto& [key, value, read] : values)
        EXPECT_TRUE(WriteSetting(kSection, key, value)) << key.toStdString();
    for (const auto& [key, value, read] : values)
        EXPECT_EQ(ReadSetting(kSection, key, S("default")), read) << key.toStdString();
    EXPECT_EQ(ReadSetting(kSection, S("Missing"), S("default")), S("default"));
    // Updates keep the line order, and no temporary file is left behind.
    ASSERT_TRUE(WriteSetting(kSection, kDrive, S("F")));
    EXPECT_TRUE(Bytes(Ini()).startsWith("[Settings]\nDrive=F\nOutpath=/home/ann/Music/My CDs/\n"));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{S("Dorvane.ini")});
}

TEST_F(SettingsStore, HandEditedFileIsReadAndOnlyTheOneLineChanges) {
    const QByteArray original =
        "\xEF\xBB\xBF; by hand\r\n\r\n[other]\r\nDrive = Z\r\n\r\n[SETTINGS]\r\n"
        "  drive  =  D \r\n# a remark\r\nOUTPATH=\"C:\\Music\\\"\r\n\r\n[Last]\r\nx=1\r\n";
    Put(Ini(), original);
    EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S("D"));
    EXPECT_EQ(ReadSetting(kSection, kOutpath, QString()), S("C:\\Music\\"));
    EXPECT_EQ(ReadSetting(S("Other"), kDrive, QString()), S("Z"));
    ASSERT_TRUE(WriteSetting(kSection, kDrive, S("E")));
    ASSERT_TRUE(WriteSetting(kSection, kIncludes, S("1")));
    QByteArray expected = original;
    expected.replace("  drive  =  D \r\n", "  drive  =  E\r\n");
    expected.replace("OUTPATH=\"C:\\Music\\\"\r\n", "OUTPATH=\"C:\\Music\\\"\r\nIncludes=1\r\n");
    EXPECT_EQ(Bytes(Ini()), expected);
}

TEST_F(SettingsStore, DamagedFilesAreUsedAndFilesThatCannotBeRewrittenKept) {
    QByteArray garbage(3, '\0');
    for (int i = 0; i < 4096; ++i)
        garbage.append(static_cast<char>(i * 131 + 7));
    const std::pair<QByteArray, const char*> files[] = {
        {garbage + "\n[Settings]\nDrive=G\n" + garbage, "G"},
        {"Drive=A\n", ""}, // lines before any header belong to no section
        {"[Settings\nDrive=K", "K"},
    };
    for (const auto& [content, drive] : files) {
        Put(Ini(), content);
        EXPECT_TRUE(WriteSetting(kSection, kIncludes, S("written")));
        EXPECT_EQ(ReadSetting(kSection, kIncludes, QString()), S("written"));
        EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S(drive));
    }
    // A file too big to read whole is not rewritten: that would cut it short.
    QByteArray huge("[Settings]\nDrive=L\n");
    huge.append(QByteArray(IniFile::kMaxBytes + 1024, ';'));
    Put(Ini(), huge);
    EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S("L"));
    EXPECT_FALSE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_EQ(QFileInfo(Ini()).size(), huge.size());
    // Nor is a read-only file, and the reason is given.
    const QByteArray content("[Settings]\nDrive=D\n");
    Put(Ini(), content);
    ASSERT_TRUE(QFile::setPermissions(Ini(), QFileDevice::ReadOwner | QFileDevice::ReadOther));
    QString why;
    EXPECT_FALSE(WriteSetting(kSection, kDrive, S("E"), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(Bytes(Ini()), content);
}

TEST_F(SettingsStore, FileSitsBesideTheProgramUnlessThatFolderCannotBeWritten) {
    modGeneral::SetAppFolderForTesting(dir_.path() + S("/")); // a folder given with its "/"
    EXPECT_EQ(SettingsFilePath(), Ini());
    const QString config = dir_.path() + S("/config/Dorvane/Dorvane.ini");
    // A folder that cannot take a file, even for root: a missing one, a file.
    Put(dir_.path() + S("/plain"), "keep");
    for (const QString& folder : {dir_.path() + S("/missing"), dir_.path() + S("/plain")}) {
        modGeneral::SetAppFolderForTesting(folder);
        EXPECT_EQ(SettingsFilePath(), config);
        EXPECT_TRUE(WriteSetting(kSection, kDrive, folder));
        EXPECT_EQ(IniFile(config).Read(kSection, kDrive, QString()), folder);
    }
    EXPECT_EQ(Bytes(dir_.path() + S("/plain")), QByteArray("keep"));
    EXPECT_FALSE(QFileInfo::exists(dir_.path() + S("/missing")));
}

} // namespace
