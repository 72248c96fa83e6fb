// The CD audio library layer's own rules, on disc images made by discmaker: the drive list,
// handles, range checks, the read-fault seam. What a disc image holds is in test_CueImage.cpp.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "CdTestSupport.h"
#include "DiscMaker.h"
#include "TestSupport.h"
#include "cd/Disc.h"
#include "cd/DiscInfo.h"
#include "cd/ImageDrives.h"
#include "cd/akrip32_testing.h"
#include "cd/modAKRip32.h"

namespace {

namespace seam = akrip::testing;
using akrip::GetAspiLibError;
using namespace testsupport;

constexpr int kSector = akrip::kSectorBytes;

class Akrip32 : public ::testing::Test {
  protected:
    void SetUp() override {
        ScopedDiscImages none({});
        realDrives_ = akrip::GetNumAdapters() + 1;
        if (realDrives_ > 4)
            GTEST_SKIP() << "the real drives leave too little room for images";
    }
    void TearDown() override {
        seam::CloseAllHandles();
        seam::ClearReadFailures();
        modAKRip32::UseCommandLineImages({});
    }
    int ImageTarget(int i) const { return realDrives_ + i; }
    akrip::TOC Toc(int handle) {
        akrip::TOC toc{};
        EXPECT_EQ(akrip::ReadTOC(handle, &toc), 1) << GetAspiLibError();
        return toc;
    }

    TempFolder folder_;
    int realDrives_ = 0;
};

// Real drives, then the command line's images, then the variable's (read
// afresh on each call, empty pieces skipped); at most 8, ids cut to 64 bytes.
TEST_F(Akrip32, DriveListFollowsTheCommandLineAndTheImageVariable) {
    const std::string longName = std::string(100, 'x') + ".cue";
    std::vector<std::string> ids = {"IMAGE " + longName.substr(0, 58)};
    std::string value = ":";
    for (const char* name : {"a.cue", "b.toc", "c", "d", "e", "f", "g", "h"}) {
        value += folder_.file(name) + "::";
        ids.push_back(std::string("IMAGE ") + name);
    }
    ScopedDiscImages restore({});
    ::setenv("DORVANE_DISC_IMAGES", value.c_str(), 1);
    EXPECT_EQ(modAKRip32::UseCommandLineImages({folder_.file(longName), ""}),
              QString::fromStdString(ids[0]));
    akrip::CDLIST list{};
    akrip::GetCDList(&list);
    ASSERT_EQ(list.num, 8);
    EXPECT_EQ(akrip::GetNumAdapters(), 7) << "the last position, not the count";
    for (int i = 0; i < 8 - realDrives_; ++i) {
        const akrip::CDREC& rec = list.cd[ImageTarget(i)];
        EXPECT_EQ(rec.id, ids[i]);
        EXPECT_TRUE(rec.ha == 1 && rec.tgt == ImageTarget(i) && rec.lun == 0) << "as opened";
    }
    EXPECT_EQ(modAKRip32::UseCommandLineImages({}), QString());
    ::setenv("DORVANE_DISC_IMAGES", "", 1);
    EXPECT_EQ(akrip::GetNumAdapters(), realDrives_ - 1) << "the variable is read afresh";
}

// Images of the same file name show as many of their folders as tell them apart; the rest keep
// their file name, which saved settings name them by.
TEST_F(Akrip32, SameNamedImagesAreToldApartByTheirFolders) {
    const std::string deep(70, 'd');
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"/m/a/album.cue", "/m/b/./album.cue", "/m/c/other.cue"},
         {"IMAGE a/album.cue", "IMAGE b/album.cue", "IMAGE other.cue"}},
        {{"/m/x/a/album.cue", "/m/y/a/album.cue", "/a/album.cue"},
         {"IMAGE x/a/album.cue", "IMAGE y/a/album.cue", "IMAGE /a/album.cue"}},
        {{"/m/album.cue", "/m/album.cue"},
         {"IMAGE album.cue", "IMAGE album.cue"}}, // one image twice
        {{"/m/x\xC3\xA9/" + deep + "/album.cue", "/m/y/" + deep + "/album.cue"},
         {"IMAGE x\xC3\xA9/\xE2\x80\xA6" + deep.substr(29) + "/album.cue", // 64 bytes
          "IMAGE y/\xE2\x80\xA6" + deep.substr(27) + "/album.cue"}},
    };
    for (const auto& [paths, texts] : cases)
        EXPECT_EQ(akrip::ImageDriveTexts(paths), texts);

    const std::string a = folder_.file("a/album.cue"), b = folder_.file("b/album.cue");
    ScopedDiscImages images({a, b});
    EXPECT_EQ(modAKRip32::UseCommandLineImages({b}), QStringLiteral("IMAGE b/album.cue"));
    EXPECT_EQ(modAKRip32::DriveListTexts().mid(realDrives_).join(u','),
              QStringLiteral("IMAGE b/album.cue,IMAGE a/album.cue,IMAGE b/album.cue"));
}

// Start-up makes the program's folder current before it opens a drive, so
// relative image paths must be taken from the folder the program started in.
TEST_F(Akrip32, RelativeImagePathsComeFromTheStartFolder) {
    const std::filesystem::path started = std::filesystem::current_path();
    std::string here = "images-XXXXXX"; // under the start folder, found from nowhere else
    ASSERT_NE(::mkdtemp(here.data()), nullptr);
    discmaker::WriteCueBin(here, "a", {{300}});
    discmaker::WriteCueBin(here, "b", {{200}});
    ASSERT_EQ(::chdir(folder_.path().c_str()), 0);
    ScopedDiscImages images({here + "/a.cue"});
    modAKRip32::UseCommandLineImages({here + "/b.cue"});
    for (const auto& [target, leadout] : {std::pair{1, 300u}, {0, 200u}})
        EXPECT_EQ(Address(Toc(OpenDrive(ImageTarget(target))).tracks[1]), leadout);
    ASSERT_EQ(::chdir(started.c_str()), 0);
    std::filesystem::remove_all(here);
}

// Bad requests are refused; handles are 1 to 8, a closed one is used again, and one not open is
// refused with -7.
TEST_F(Akrip32, HandlesAreCheckedAndEightAtMost) {
    std::vector<std::string> first;
    for (int i = 0; i < 8; ++i)
        first.push_back(folder_.file(std::to_string(i) + ".toc"));
    std::vector<int> handles;
    akrip::TOC toc{};
    {
        ScopedDiscImages images(first);
        EXPECT_EQ(OpenDrive(ImageTarget(0), 0), 0) << "ha 0, as in an unfilled entry";
        EXPECT_EQ(OpenDrive(8), 0) << "past the list";
        for (int tgt = 0; tgt < 8; ++tgt)
            handles.push_back(OpenDrive(tgt));
        EXPECT_EQ(akrip::ReadTOC(handles.back(), &toc), 0) << "a missing image: no disc";
    }
    std::sort(handles.begin(), handles.end());
    EXPECT_EQ(handles, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    ScopedDiscImages images({folder_.file("other.toc")});
    EXPECT_EQ(OpenDrive(ImageTarget(0)), 0) << "no slot left";
    EXPECT_EQ(akrip::CloseCDHandle(5), 1);
    auto invalid = [](int result) { return !result && GetAspiLibError() == -7; };
    for (int bad : {5, 0, -1, 9}) {
        EXPECT_TRUE(invalid(akrip::ReadTOC(bad, &toc))) << bad;
        EXPECT_TRUE(invalid(ReadSectors(bad, 0, 1).has_value())) << bad;
        EXPECT_TRUE(invalid(akrip::CloseCDHandle(bad))) << bad;
    }
    EXPECT_EQ(OpenDrive(ImageTarget(0)), 5) << "the closed slot is used again";
}

// A TOC image: the files it reads, the TOC and the BIN it names; and reads, which must lie wholly
// on the disc.
TEST_F(Akrip32, TocImageReadsOnlyItsSectorsAndItsFiles) {
    MakeImage(folder_, "a", {300, 200});
    const std::string toc = folder_.file("a.toc"), bin = folder_.file("a.bin");
    std::ofstream(toc) << "CD_DA\nTRACK AUDIO\nFILE \"a.bin\" 0 00:04:00\nTRACK AUDIO\nFILE \""
                       << bin << "\" 00:04:00 00:02:50\n";
    ScopedDiscImages images({toc});
    const int handle = OpenDrive(ImageTarget(0));
    EXPECT_EQ(OpenDrive(ImageTarget(0)), 0) << "a drive opened twice";
    for (const auto& [path, read] :
         {std::pair{toc, true}, {bin, true}, {folder_.file("a.cue"), false}}) {
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(akrip::DiscReadsFile(handle, info.st_dev, info.st_ino), read) << path;
    }

    EXPECT_EQ(Address(Toc(handle).tracks[2]), 500u) << "the lead-out";
    EXPECT_TRUE(ReadSectors(handle, 474, 26)) << "up to the lead-out";
    for (std::int64_t start : {475LL, 490LL, 500LL, 0xffffffffLL, 0x80000000LL})
        EXPECT_FALSE(ReadSectors(handle, start, 26)) << "start " << start;
    EXPECT_FALSE(ReadSectors(handle, 0, 27)) << "more than the buffer holds";
    EXPECT_FALSE(ReadSectors(handle, 0, 26, 26 * kSector - 1));

    // The seam fails reads that cover its sector, then lets them through.
    seam::ClearReadFailures();
    seam::FailReads(40, 2);
    seam::FailReads(100, 1, akrip::E_NOASPI);
    // Start, count, whether it reads, and the error after the call.
    const int reads[][4] = {{0, 26, 1, 0},  {26, 26, 0, -4}, {40, 1, 0, -4},
                            {26, 26, 1, 0}, {90, 26, 0, -1}, {90, 26, 1, 0}};
    for (const auto& [start, count, read, error] : reads) {
        EXPECT_EQ(ReadSectors(handle, start, std::uint32_t(count)).has_value(), read == 1)
            << "start " << start;
        EXPECT_EQ(GetAspiLibError(), error) << "start " << start;
    }
    EXPECT_EQ(seam::ReadCallCount(), 6);
    seam::FailReads(0, 1);
    seam::ClearReadFailures();
    EXPECT_TRUE(ReadSectors(handle, 0, 26)) << "cleared";
    EXPECT_EQ(seam::ReadCallCount(), 1);
}

// Whatever driver made a table, the layer refuses one that does not hold together, naming the
// track.
TEST(DiscTable, ATableThatCannotBeRightIsRefused) {
    using T = akrip::detail::DiscTrack;
    const std::vector<std::pair<akrip::detail::DiscTable, std::string>> cases = {
        {{{{1, 0, 0}, {2, 0, 300}}, 500}, ""},
        {{{{1, 0, 150}}, 151}, ""},
        {{{}, 500}, "it lists 0 tracks"},
        {{{{1, 0, 0}, {2, 0, 300}, {3, 0, 200}}, 500},
         "track 2 starts at 00:04:00, not before track 3 at 00:02:50"},
        {{{{1, 0, 0}, {2, 0, 300}, {3, 0, 300}}, 500},
         "track 2 starts at 00:04:00, not before track 3"},
        {{{{1, 0, 0}, {2, 0, 600}}, 500},
         "track 2 starts at 00:08:00, not before the lead-out at 00:06:50"},
        {{{{1, 0, 0}, {2, 0, 500}}, 500}, "track 2 starts at 00:06:50, not before the lead-out"},
        {{{{1, 0, -5}}, 500}, "track 1 starts at sector -5, before the disc"},
        {{{{1, 0, 0}, {3, 0, 100}}, 500}, "track 3 is out of number order"},
        {{std::vector<T>(100, T{1, 0, 0}), 500}, "it lists 100 tracks"},
    };
    for (const auto& [table, problem] : cases) {
        const std::string said = akrip::detail::TableProblem(table);
        EXPECT_EQ(said.substr(0, problem.size()), problem);
        EXPECT_EQ(said.empty(), problem.empty()) << said;
    }
}

} // namespace
