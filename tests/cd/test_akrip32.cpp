// The CD audio library layer's own rules, on disc images made by discmaker:
// the drive list, handles, range checks, the read-fault seam. What a disc
// image holds is tested in test_CueImage.cpp.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CdTestSupport.h"
#include "DiscMaker.h"
#include "TestSupport.h"
#include "cd/ImageDrives.h"
#include "cd/akrip32.h"
#include "cd/akrip32_testing.h"
#include "cd/modAKRip32.h"

namespace {

namespace seam = akrip::testing;
using akrip::CDLIST;
using akrip::GetAspiLibError;
using akrip::TOC;
using testsupport::MakeImage;
using testsupport::OpenDrive;
using testsupport::ReadSectors;
using testsupport::ScopedDiscImages;
using testsupport::TempFolder;
using testsupport::TrackBlock;

constexpr std::uint32_t kSector = akrip::kSectorBytes;

bool AllZero(const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    return std::all_of(p, p + size, [](unsigned char c) { return c == 0; });
}

class Akrip32 : public ::testing::Test {
protected:
    void SetUp() override {
        seam::CloseAllHandles();
        seam::ClearReadFailures();
        ScopedDiscImages none({});
        CDLIST list{};
        akrip::GetCDList(&list);
        realDrives_ = list.num;
    }
    void TearDown() override {
        seam::CloseAllHandles();
        seam::ClearReadFailures();
        modAKRip32::UseCommandLineImages({});
    }

    int ImageTarget(int i) const { return realDrives_ + i; }
    // Handle of the first image drive, which must exist.
    int OpenImage() {
        const int handle = OpenDrive(ImageTarget(0));
        EXPECT_GT(handle, 0) << GetAspiLibError();
        return handle;
    }

    TempFolder folder_;
    int realDrives_ = 0;
};

TEST_F(Akrip32, DriveListFollowsTheCommandLineAndTheImageVariable) {
    CDLIST list{};
    akrip::GetCDList(&list);
    EXPECT_EQ(list.max, 8);
    EXPECT_EQ(list.num, realDrives_);
    EXPECT_EQ(akrip::GetNumAdapters(), realDrives_ - 1);
    EXPECT_TRUE(AllZero(&list.cd[realDrives_], sizeof(akrip::CDREC) * (8u - list.num)));

    const std::string a = MakeImage(folder_, "a", {300});
    {
        // Empty pieces are skipped; the variable is read afresh on each call.
        ScopedDiscImages restore({});
        const std::string value = ":" + a + "::" + folder_.file("b.toc") + ":";
        ::setenv("DORVANE_DISC_IMAGES", value.c_str(), 1);
        EXPECT_EQ(modAKRip32::UseCommandLineImages({folder_.file("c.cue"), ""}), QStringLiteral("IMAGE c.cue"));
        akrip::GetCDList(&list);
        ASSERT_EQ(list.num, realDrives_ + 3);
        EXPECT_EQ(akrip::GetNumAdapters(), realDrives_ + 2);
        const char* const ids[] = {"IMAGE c.cue", "IMAGE a.cue", "IMAGE b.toc"};
        for (int i = 0; i < 3; ++i) {
            const akrip::CDREC& rec = list.cd[ImageTarget(i)];
            EXPECT_STREQ(rec.id, ids[i]) << "the command line's images come first";
            EXPECT_EQ(rec.ha, 1);
            EXPECT_EQ(rec.tgt, ImageTarget(i));
            EXPECT_EQ(rec.lun, 0);
        }
        EXPECT_TRUE(AllZero(&list.cd[list.num], sizeof(akrip::CDREC) * (8u - list.num)));
        EXPECT_EQ(modAKRip32::UseCommandLineImages({}), QString());
    }
    akrip::GetCDList(&list);
    EXPECT_EQ(list.num, realDrives_);
    akrip::GetCDList(nullptr);  // must simply do nothing
}

// Start-up makes the program's folder current before it opens a drive, so
// relative image paths must be taken from the folder the program started in.
TEST_F(Akrip32, RelativeImagePathsComeFromTheStartFolder) {
    const std::filesystem::path started = std::filesystem::current_path();
    ASSERT_EQ(akrip::StartFolder(), started.string());
    std::string here = "images-XXXXXX";  // under the start folder, so no path elsewhere finds it
    ASSERT_NE(::mkdtemp(here.data()), nullptr);
    const std::string a = MakeImage(folder_, "a", {300});
    const std::string b = MakeImage(folder_, "b", {200});
    std::filesystem::rename(a, here + "/a.cue");
    std::filesystem::rename(folder_.file("a.bin"), here + "/a.bin");
    ASSERT_EQ(::chdir(folder_.path().c_str()), 0);  // where b.cue is, to be found only from here
    ScopedDiscImages images({here + "/a.cue"});
    modAKRip32::UseCommandLineImages({std::filesystem::relative(b, started).string()});
    for (const auto& [target, leadout] : {std::pair{1, 300u}, {0, 200u}}) {
        const int handle = OpenDrive(ImageTarget(target));
        TOC toc{};
        EXPECT_EQ(akrip::ReadTOC(handle, &toc), 1);
        EXPECT_EQ(testsupport::Address(toc.tracks[1]), leadout);
    }
    ASSERT_EQ(::chdir(started.c_str()), 0);
    std::filesystem::remove_all(here);
}

TEST_F(Akrip32, AtMostEightDrivesAndIdsCutTo64Bytes) {
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i)
        paths.push_back(folder_.file("i" + std::to_string(i) + ".cue"));
    paths[0] = folder_.file(std::string(100, 'x') + ".cue");
    ScopedDiscImages images(paths);
    CDLIST list{};
    akrip::GetCDList(&list);
    EXPECT_EQ(list.num, 8);
    EXPECT_EQ(akrip::GetNumAdapters(), 7);
    EXPECT_EQ(std::string(list.cd[7].id), "IMAGE i" + std::to_string(7 - realDrives_) + ".cue");
    if (realDrives_ == 0) {
        EXPECT_EQ(std::string(list.cd[0].id), "IMAGE " + std::string(58, 'x'));
        EXPECT_EQ(list.cd[0].id[64], '\0');
    }
}

TEST_F(Akrip32, GetCDHandleRefusesBadRequests) {
    ScopedDiscImages images({MakeImage(folder_, "a", {300}), MakeImage(folder_, "b", {300})});
    EXPECT_EQ(akrip::GetCDHandle(nullptr), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NULLPARAM);
    EXPECT_EQ(OpenDrive(ImageTarget(0), 16), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_BADVERSION);
    EXPECT_EQ(OpenDrive(ImageTarget(0), 12, 2), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_BADVERSION);
    EXPECT_EQ(OpenDrive(ImageTarget(2)), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NOTCDROM);
    EXPECT_EQ(OpenDrive(ImageTarget(0), 12, 1, 0), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NOTCDROM);

    const int a = OpenDrive(ImageTarget(0));
    EXPECT_GE(a, 1);
    EXPECT_LE(a, 8);
    EXPECT_EQ(GetAspiLibError(), akrip::SS_OK);
    EXPECT_EQ(OpenDrive(ImageTarget(0)), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_ALREADYALLOC);
    const int b = OpenDrive(ImageTarget(1));
    EXPECT_GT(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(akrip::ModifyCDParms(b, 1, 0), 1);
    EXPECT_EQ(akrip::ModifyCDParms(9, 1, 0), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_INVALIDHANDLE);
}

TEST_F(Akrip32, EightSlotsThenNoMore) {
    if (realDrives_ >= 8)
        GTEST_SKIP() << "no room for an image drive";
    std::vector<std::string> first, second;
    for (int i = 0; i < 8; ++i) {
        first.push_back(folder_.file("f" + std::to_string(i) + ".toc"));
        second.push_back(folder_.file("s" + std::to_string(i) + ".toc"));
    }
    std::vector<int> handles;
    {
        ScopedDiscImages images(first);
        for (int tgt = 0; tgt < 8; ++tgt)
            handles.push_back(OpenDrive(tgt));
    }
    std::sort(handles.begin(), handles.end());
    EXPECT_EQ(handles, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    ScopedDiscImages images(second);
    EXPECT_EQ(OpenDrive(ImageTarget(0)), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NOSLOTS);
    EXPECT_EQ(akrip::CloseCDHandle(5), 1);
    EXPECT_EQ(OpenDrive(ImageTarget(0)), 5);
}

TEST_F(Akrip32, ReadsOffTheDiscOrThroughBadArgumentsFail) {
    ScopedDiscImages images({MakeImage(folder_, "a", {300, 200})});
    const int handle = OpenImage();
    TrackBlock block(26);
    EXPECT_EQ(ReadSectors(handle, block, 500 - 26, 26), 1) << "up to the lead-out is fine";
    for (std::int64_t start : {490LL, 500LL, 600LL, 0xffffffffLL, 0x80000000LL}) {
        EXPECT_EQ(ReadSectors(handle, block, start, 26), 0) << "start " << start;
        EXPECT_EQ(GetAspiLibError(), akrip::E_ASPIERROR);
    }
    EXPECT_EQ(ReadSectors(handle, block, 10, 0), 1) << "nothing asked, nothing read";
    EXPECT_EQ(block.get()->len, 0u);
    EXPECT_EQ(ReadSectors(handle, block, 0, 27), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_BUFTOOSMALL);
    block.get()->maxLen = 26 * kSector - 1;
    EXPECT_EQ(ReadSectors(handle, block, 0, 26), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_BUFTOOSMALL);
    EXPECT_EQ(akrip::ReadCDAudioLBA(handle, nullptr), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NULLPARAM);

    EXPECT_EQ(akrip::CloseCDHandle(handle), 1);
    EXPECT_EQ(GetAspiLibError(), akrip::SS_OK);
    TOC toc{};
    EXPECT_EQ(akrip::ReadTOC(handle, &toc), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_INVALIDHANDLE);
    EXPECT_EQ(ReadSectors(handle, block, 0, 1), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_INVALIDHANDLE);
    for (int bad : {handle, 0, -1, 9})
        EXPECT_EQ(akrip::CloseCDHandle(bad), 0) << bad;
    EXPECT_EQ(GetAspiLibError(), akrip::E_INVALIDHANDLE);
    EXPECT_GT(OpenImage(), 0) << "the drive can be opened again";
}

// cdrdao TOC images stay with libcdio, whose lead-out comes from the track
// lengths while its reads past the end of the BIN succeed with stale bytes.
TEST_F(Akrip32, TocImageReadsStopAtTheEndOfItsBin) {
    const discmaker::DiscPlan plan{{300, 200}, 1, false};
    MakeImage(folder_, "a", plan.trackSectors);
    const std::string bin = folder_.file("a.bin");
    ASSERT_EQ(::truncate(bin.c_str(), 400 * kSector + 1000), 0);
    const std::string toc = folder_.file("a.toc");
    std::FILE* f = std::fopen(toc.c_str(), "w");
    ASSERT_NE(f, nullptr);
    // libcdio looks for a relative name in the working folder.
    std::fprintf(f, "CD_DA\nTRACK AUDIO\nFILE \"%s\" 0 00:04:00\nTRACK AUDIO\nFILE \"%s\" 00:04:00 00:02:50\n",
                 bin.c_str(), bin.c_str());
    ASSERT_EQ(std::fclose(f), 0);
    ScopedDiscImages images({toc, folder_.file("gone.toc")});
    const int handle = OpenImage();
    TOC table{};
    ASSERT_EQ(akrip::ReadTOC(handle, &table), 1);
    EXPECT_EQ(testsupport::Address(table.tracks[2]), 500u);
    TrackBlock block(26);
    ASSERT_EQ(ReadSectors(handle, block, 374, 26), 1) << GetAspiLibError();
    unsigned char expected[kSector];
    discmaker::FillSector(plan, 399, expected);
    EXPECT_EQ(std::memcmp(block.audio() + 25 * kSector, expected, kSector), 0);
    for (std::int64_t start : {375, 399, 420, 480}) {
        EXPECT_EQ(ReadSectors(handle, block, start, 26), 0) << "start " << start;
        EXPECT_EQ(GetAspiLibError(), akrip::E_ASPIERROR);
    }
    EXPECT_EQ(ReadSectors(handle, block, 400, 1), 0);

    // A missing TOC is a drive without a disc; libcdio's complaint is kept,
    // not printed.
    ::unsetenv("DORVANE_CDIO_LOG");
    ::testing::internal::CaptureStderr();
    const int gone = OpenDrive(ImageTarget(1));
    EXPECT_GT(gone, 0);
    EXPECT_EQ(akrip::ReadTOC(gone, &table), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_ASPIERROR);
    EXPECT_EQ(ReadSectors(gone, block, 0, 1), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(seam::LastLibraryMessage(), "");
}

TEST_F(Akrip32, FaultSeamFailsReadsThenLetsThemThrough) {
    ScopedDiscImages images({MakeImage(folder_, "a", {300})});
    const int handle = OpenImage();
    TrackBlock block(26);
    seam::FailReads(40, 2);
    seam::FailReads(100, 1, akrip::E_NOASPI);
    EXPECT_EQ(ReadSectors(handle, block, 0, 26), 1) << "does not cover sector 40";
    EXPECT_EQ(ReadSectors(handle, block, 26, 26), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_ASPIERROR);
    EXPECT_EQ(ReadSectors(handle, block, 40, 1), 0);
    EXPECT_EQ(ReadSectors(handle, block, 26, 26), 1);
    EXPECT_EQ(ReadSectors(handle, block, 90, 26), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NOASPI);
    EXPECT_EQ(ReadSectors(handle, block, 90, 26), 1);
    EXPECT_EQ(seam::ReadCallCount(), 6);
    seam::FailReads(0, 1);
    seam::ClearReadFailures();
    EXPECT_EQ(seam::ReadCallCount(), 0);
    EXPECT_EQ(ReadSectors(handle, block, 0, 26), 1);
    EXPECT_EQ(seam::ReadCallCount(), 1);
}

}  // namespace
