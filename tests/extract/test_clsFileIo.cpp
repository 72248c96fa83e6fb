// The raw file writer on real files: the header bytes, a file that cannot
// be opened, the exclusive hold on an open file.

#include <gtest/gtest.h>

#include "ExtractFixture.h"

namespace {

using extracttest::ReadAll;

TEST(clsFileIo, WavHeaderBytes) {
    const struct {
        std::int32_t length;
        const char* sizes;  // chunk size, then data size, little-endian
    } cases[] = {{0, "\x24\0\0\0\0\0\0\0"}, {2352, "\x54\x09\0\0\x30\x09\0\0"}, {63504, "\x34\xf8\0\0\x10\xf8\0\0"}};
    for (const auto& c : cases) {
        testsupport::TempFolder folder;
        clsFileIo file;
        ASSERT_EQ(file.OpenFile(QString::fromStdString(folder.file("h.wav"))), clsFileIo::True);
        EXPECT_EQ(file.writeWavHeader(c.length), clsFileIo::True);
        EXPECT_EQ(file.CloseFile(), clsFileIo::True);
        const std::string sizes(c.sizes, 8);
        const std::string expected = "RIFF" + sizes.substr(0, 4) + "WAVEfmt " +
                                     std::string("\x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0", 20) +
                                     "data" + sizes.substr(4);
        EXPECT_EQ(ReadAll(folder.file("h.wav")), expected) << c.length;
    }
}

TEST(clsFileIo, AFileThatCannotBeOpenedIsNeverWritten) {
    clsFileIo never;  // no OpenFile at all: descriptor 0 (standard input) must stay untouched
    const char byte = 'x';
    EXPECT_TRUE(!never.writeWavHeader(0) && !never.FlushBuffers() && !never.WriteBytes(&byte, 1));

    clsFileIo missing;
    EXPECT_EQ(missing.OpenFile(QStringLiteral("/nonexistent-folder/a.wav")), clsFileIo::False);
    EXPECT_EQ(missing.LastError(), ENOENT);
    EXPECT_TRUE(!missing.WriteBytes(&byte, 1) && !missing.CloseFile() && !missing.writeWavHeader(0));
}

TEST(clsFileIo, AnOpenFileIsNotShared) {
    testsupport::TempFolder folder;
    const QString name = QString::fromStdString(folder.file("a.wav"));
    clsFileIo first;
    clsFileIo second;
    ASSERT_EQ(first.OpenFile(name), clsFileIo::True);
    ASSERT_EQ(first.WriteBytes("abc", 3), clsFileIo::True);
    EXPECT_EQ(second.OpenFile(name), clsFileIo::False);
    EXPECT_EQ(ReadAll(folder.file("a.wav")), "abc");  // the refused writer did not empty it
    first.CloseFile();
    EXPECT_EQ(second.OpenFile(name), clsFileIo::True);
    EXPECT_EQ(first.CloseFile(), clsFileIo::False);  // closing twice reaches no other file
}

}  // namespace
