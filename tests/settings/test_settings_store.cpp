// The settings store: Dorvane.ini beside the program, read forgivingly and
// written without ever leaving a broken file behind.

#include "settings/IniFile.h"
#include "settings/modSettings.h"
#include "general/modGeneral.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace modSettings;

namespace {

QString S(const char* text) { return QString::fromUtf8(text); }

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        modGeneral::SetAppFolderForTesting(dir_.path());
    }
    void TearDown() override { modGeneral::SetAppFolderForTesting(QString()); }

    QString Ini() const { return dir_.path() + QStringLiteral("/Dorvane.ini"); }
    static QByteArray Bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void Put(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    static mode_t Mode(const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    QStringList Entries() const { return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

    QTemporaryDir dir_;
};

TEST_F(SettingsStore, RoundTrip) {
    EXPECT_TRUE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_TRUE(WriteSetting(kSection, kOutpath, S("/home/ann/Music/My CDs/")));
    EXPECT_TRUE(WriteSetting(kSection, kIncludes, S("Björk – Homogenic ♫ 😀")));
    EXPECT_EQ(ReadSetting(kSection, kDrive, S("D")), S("E"));
    EXPECT_EQ(ReadSetting(kSection, kOutpath, QString()), S("/home/ann/Music/My CDs/"));
    EXPECT_EQ(ReadSetting(kSection, kIncludes, QString()), S("Björk – Homogenic ♫ 😀"));
    EXPECT_EQ(Entries(), QStringList{S("Dorvane.ini")});  // no temporary file left
}

TEST_F(SettingsStore, DefaultForMissingFileAndKey) {
    EXPECT_EQ(ReadSetting(kSection, kDrive, S("D")), S("D"));
    ASSERT_TRUE(WriteSetting(kSection, kOutpath, S("/music")));
    EXPECT_EQ(ReadSetting(kSection, kDrive, S("D")), S("D"));
    EXPECT_EQ(ReadSetting(S("Elsewhere"), kOutpath, S("none")), S("none"));
}

TEST_F(SettingsStore, EmptyValueReadsAsEmpty) {
    ASSERT_TRUE(WriteSetting(kSection, kDrive, QString()));
    EXPECT_EQ(Bytes(Ini()), QByteArray("[Settings]\nDrive=\n"));
    EXPECT_EQ(ReadSetting(kSection, kDrive, S("D")), QString());
}

TEST_F(SettingsStore, ValuesAreCutTo154Characters) {
    const QString longValue(200, QLatin1Char('v'));
    ASSERT_TRUE(WriteSetting(kSection, kOutpath, longValue));
    EXPECT_TRUE(Bytes(Ini()).contains(longValue.toUtf8()));  // stored whole
    EXPECT_EQ(ReadSetting(kSection, kOutpath, QString()), longValue.left(154));
    EXPECT_EQ(ReadSetting(kSection, kDrive, longValue), longValue.left(154));
}

TEST_F(SettingsStore, CutNeverSplitsASurrogatePair) {
    const QString value = QString(153, QLatin1Char('a')) + S("😀b");
    ASSERT_TRUE(WriteSetting(kSection, kOutpath, value));
    EXPECT_EQ(ReadSetting(kSection, kOutpath, QString()), QString(153, QLatin1Char('a')));
}

TEST_F(SettingsStore, UpdateInPlaceKeepsLineOrder) {
    ASSERT_TRUE(WriteSetting(kSection, kDrive, S("D")));
    ASSERT_TRUE(WriteSetting(kSection, kOutpath, S("/music")));
    ASSERT_TRUE(WriteSetting(kSection, kIncludes, S("1")));
    ASSERT_TRUE(WriteSetting(kSection, kDrive, S("F")));
    EXPECT_EQ(Bytes(Ini()), QByteArray("[Settings]\nDrive=F\nOutpath=/music\nIncludes=1\n"));
}

TEST_F(SettingsStore, LineBreaksInAValueDoNotBreakTheFile) {
    ASSERT_TRUE(WriteSetting(kSection, kOutpath, S("a\nb\r\nc")));
    ASSERT_TRUE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_EQ(Bytes(Ini()), QByteArray("[Settings]\nOutpath=a b  c\nDrive=E\n"));
    EXPECT_EQ(ReadSetting(kSection, kOutpath, QString()), S("a b  c"));
}

TEST_F(SettingsStore, QuotesAndOuterBlanks) {
    Put(Ini(), "[Settings]\nOutpath=\"/my music/\"\nDrive=\"E\n");
    EXPECT_EQ(ReadSetting(kSection, kOutpath, QString()), S("/my music/"));
    EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S("\"E"));  // unmatched: kept
    // What reading would strip is written quoted, so it comes back as given.
    ASSERT_TRUE(WriteSetting(kSection, kIncludes, S(" padded ")));
    ASSERT_TRUE(WriteSetting(kSection, kOutpath, S("\"quoted\"")));
    EXPECT_EQ(ReadSetting(kSection, kIncludes, QString()), S(" padded "));
    EXPECT_EQ(ReadSetting(kSection, kOutpath, QString()), S("\"quoted\""));
}

// A file edited by hand on another system.
class ForeignIni : public SettingsStore {
protected:
    void SetUp() override {
        SettingsStore::SetUp();
        Put(Ini(), original_);
    }
    QByteArray Original() const { return original_; }

    const QByteArray original_ =
        "\xEF\xBB\xBF; written by hand\r\n"
        "\r\n"
        "[other]\r\n"
        "Drive = Z\r\n"
        "\r\n"
        "[SETTINGS]\r\n"
        "  drive  =  D \r\n"
        "# a remark\r\n"
        "OUTPATH=\"C:\\Music\\\"\r\n"
        "\r\n"
        "; about the last section\r\n"
        "[Last]\r\n"
        "x=1\r\n";
};

TEST_F(ForeignIni, ReadsEveryValue) {
    EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S("D"));
    EXPECT_EQ(ReadSetting(kSection, kOutpath, QString()), S("C:\\Music\\"));
    EXPECT_EQ(ReadSetting(kSection, kIncludes, S("none")), S("none"));
    EXPECT_EQ(ReadSetting(S("Other"), kDrive, QString()), S("Z"));
    EXPECT_EQ(ReadSetting(S("last"), S("X"), QString()), S("1"));
}

TEST_F(ForeignIni, UpdateTouchesOnlyItsLine) {
    ASSERT_TRUE(WriteSetting(kSection, kDrive, S("E")));
    QByteArray expected = Original();
    expected.replace("  drive  =  D \r\n", "  drive  =  E\r\n");
    EXPECT_EQ(Bytes(Ini()), expected);
}

TEST_F(ForeignIni, NewKeyGoesIntoItsSection) {
    ASSERT_TRUE(WriteSetting(kSection, kIncludes, S("1")));
    QByteArray expected = Original();
    expected.replace("OUTPATH=\"C:\\Music\\\"\r\n", "OUTPATH=\"C:\\Music\\\"\r\nIncludes=1\r\n");
    EXPECT_EQ(Bytes(Ini()), expected);
    EXPECT_EQ(ReadSetting(kSection, kIncludes, QString()), S("1"));
}

TEST_F(ForeignIni, NewSectionGoesAtTheEnd) {
    ASSERT_TRUE(IniFile(Ini()).Write(S("Fresh"), S("key"), S("value")));
    EXPECT_EQ(Bytes(Ini()), Original() + "\r\n[Fresh]\r\nkey=value\r\n");
}

TEST_F(ForeignIni, FileModeIsKept) {
    ASSERT_TRUE(QFile::setPermissions(Ini(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    ASSERT_TRUE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_EQ(Mode(Ini()), mode_t{0640});
}

TEST_F(ForeignIni, WritesThroughASymlink) {
    const QString real = dir_.path() + QStringLiteral("/real.ini");
    ASSERT_TRUE(QFile::rename(Ini(), real));
    ASSERT_TRUE(QFile::link(real, Ini()));
    ASSERT_TRUE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_TRUE(QFileInfo(Ini()).isSymLink());
    EXPECT_EQ(IniFile(real).Read(kSection, kDrive, QString()), S("E"));
}

class DamagedIni : public SettingsStore {
protected:
    // Whatever is in the file, a write must still work and read back.
    void ExpectWriteWorks() {
        const QByteArray before = Bytes(Ini());
        EXPECT_TRUE(WriteSetting(kSection, kIncludes, S("written")));
        EXPECT_EQ(ReadSetting(kSection, kIncludes, QString()), S("written"));
        EXPECT_GT(Bytes(Ini()).size(), before.size());
    }
};

TEST_F(DamagedIni, BinaryGarbageWithNuls) {
    QByteArray garbage(3, '\0');
    for (int i = 0; i < 8192; ++i)
        garbage.append(static_cast<char>((i * 131 + 7) % 256));
    Put(Ini(), garbage + "\n[Settings]\nDrive=G\n" + garbage);
    EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S("G"));
    ExpectWriteWorks();
    EXPECT_TRUE(Bytes(Ini()).startsWith(garbage));
    EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S("G"));
}

TEST_F(DamagedIni, MegabyteLine) {
    Put(Ini(), "[Settings]\n" + QByteArray(1024 * 1024, 'x') + "\nDrive=H\n");
    EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S("H"));
    ExpectWriteWorks();
}

TEST_F(DamagedIni, LinesBeforeAnyHeaderAreIgnored) {
    Put(Ini(), "Drive=A\nOutpath=B\n");
    EXPECT_EQ(ReadSetting(kSection, kDrive, S("D")), S("D"));
    ExpectWriteWorks();
    EXPECT_TRUE(Bytes(Ini()).startsWith("Drive=A\nOutpath=B\n\n[Settings]\n"));
}

TEST_F(DamagedIni, HeaderWithoutClosingBracket) {
    Put(Ini(), "[Settings\nDrive=K");
    EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S("K"));
    ExpectWriteWorks();
    EXPECT_EQ(Bytes(Ini()), QByteArray("[Settings\nDrive=K\nIncludes=written\n"));
}

TEST_F(DamagedIni, DirectoryInPlaceOfTheFile) {
    ASSERT_TRUE(QDir().mkdir(Ini()));
    EXPECT_EQ(ReadSetting(kSection, kDrive, S("D")), S("D"));
    EXPECT_FALSE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_TRUE(QFileInfo(Ini()).isDir());
}

TEST_F(DamagedIni, FifoInPlaceOfTheFileDoesNotHang) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(Ini()).constData(), 0644), 0);
    EXPECT_EQ(ReadSetting(kSection, kDrive, S("D")), S("D"));
    EXPECT_FALSE(WriteSetting(kSection, kDrive, S("E")));
}

TEST_F(DamagedIni, HugeFileIsReadInPartAndNotRewritten) {
    QByteArray huge("[Settings]\nDrive=L\n");
    huge.append(QByteArray(IniFile::kMaxBytes + 1024 * 1024, ';'));
    Put(Ini(), huge);
    EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S("L"));
    // Rewriting only what was read would cut the file short.
    EXPECT_FALSE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_EQ(QFileInfo(Ini()).size(), huge.size());
}

class UnwritablePlace : public SettingsStore {};

TEST_F(UnwritablePlace, MissingFolder) {
    const QString folder = dir_.path() + QStringLiteral("/missing");
    modGeneral::SetAppFolderForTesting(folder);
    EXPECT_FALSE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(ReadSetting(kSection, kDrive, S("D")), S("D"));
}

TEST_F(UnwritablePlace, FolderIsARegularFile) {
    const QString plain = dir_.path() + QStringLiteral("/plain");
    Put(plain, "keep");
    modGeneral::SetAppFolderForTesting(plain);
    EXPECT_FALSE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_EQ(Bytes(plain), QByteArray("keep"));
    EXPECT_EQ(Entries(), QStringList{S("plain")});
}

TEST_F(UnwritablePlace, ReadOnlyFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders; the other cases here cover it";
    const QString folder = dir_.path() + QStringLiteral("/ro");
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    modGeneral::SetAppFolderForTesting(folder);
    EXPECT_FALSE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_TRUE(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    ::chmod(QFile::encodeName(folder).constData(), 0755);
}

TEST_F(UnwritablePlace, ReadOnlyFileKeepsItsContent) {
    const QByteArray content("[Settings]\nDrive=D\n");
    Put(Ini(), content);
    ASSERT_EQ(::chmod(QFile::encodeName(Ini()).constData(), 0444), 0);
    EXPECT_FALSE(WriteSetting(kSection, kDrive, S("E")));
    EXPECT_EQ(Bytes(Ini()), content);
    EXPECT_EQ(ReadSetting(kSection, kDrive, QString()), S("D"));
    EXPECT_EQ(Entries(), QStringList{S("Dorvane.ini")});
}

class SettingsPath : public ::testing::Test {
protected:
    void TearDown() override { modGeneral::SetAppFolderForTesting(QString()); }
};

TEST_F(SettingsPath, RootFolderGetsNoDoubleSlash) {
    modGeneral::SetAppFolderForTesting(S("/"));
    EXPECT_EQ(SettingsFilePath(), S("/Dorvane.ini"));
}

TEST_F(SettingsPath, FollowsTheApplicationFolder) {
    modGeneral::SetAppFolderForTesting(S("/a/b"));
    EXPECT_EQ(SettingsFilePath(), S("/a/b/Dorvane.ini"));
    modGeneral::SetAppFolderForTesting(S("/a/b/"));
    EXPECT_EQ(SettingsFilePath(), S("/a/b/Dorvane.ini"));
    modGeneral::SetAppFolderForTesting(S("/opt/my apps"));
    EXPECT_EQ(SettingsFilePath(), S("/opt/my apps/Dorvane.ini"));
}

}  // namespace
