// The CD audio library layer over disc images made by discmaker.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DiscMaker.h"
#include "TestSupport.h"
#include "cd/akrip32.h"
#include "cd/akrip32_testing.h"

namespace {

namespace seam = akrip::testing;
using akrip::CDLIST;
using akrip::GetAspiLibError;
using akrip::TOC;
using akrip::TRACKBUF;
using testsupport::MakeImage;
using testsupport::ScopedDiscImages;
using testsupport::TempFolder;

constexpr std::uint32_t kSector = akrip::kSectorBytes;

// A TRACKBUF header with room for `capacity` sectors behind it.
struct Block {
    explicit Block(std::uint32_t capacity) : bytes(akrip::kTrackBufHeader + capacity * kSector) {
        get()->maxLen = capacity * kSector;
    }
    TRACKBUF* get() { return reinterpret_cast<TRACKBUF*>(bytes.data()); }
    const unsigned char* audio() const { return bytes.data() + akrip::kTrackBufHeader; }
    std::vector<unsigned char> bytes;
};

std::uint32_t Addr(const akrip::TOCTRACK& e) {
    return std::uint32_t{e.addr[0]} << 24 | std::uint32_t{e.addr[1]} << 16 | std::uint32_t{e.addr[2]} << 8 | e.addr[3];
}

bool AllZero(const void* data, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        if (p[i] != 0)
            return false;
    return true;
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
    }

    static int Open(int tgt, std::uint8_t size = 12, std::uint8_t ver = 1, std::uint8_t ha = 1) {
        akrip::GETCDHAND request{};
        request.size = size;
        request.ver = ver;
        request.ha = ha;
        request.tgt = static_cast<std::uint8_t>(tgt);
        return akrip::GetCDHandle(&request);
    }
    int ImageTarget(int i) const { return realDrives_ + i; }
    // Handle of the first image drive, which must exist.
    int OpenImage() {
        const int handle = Open(ImageTarget(0));
        EXPECT_GT(handle, 0) << GetAspiLibError();
        return handle;
    }
    static int Read(int handle, Block& block, std::int64_t start, std::uint32_t count) {
        block.get()->startFrame = static_cast<std::uint32_t>(start);
        block.get()->numFrames = count;
        return akrip::ReadCDAudioLBA(handle, block.get());
    }

    // One image of the given track lengths: the table must list every
    // track's start sector, most significant byte first, then the lead-out,
    // then zeros.
    void CheckToc(const std::vector<std::int32_t>& lengths, bool pregap = false) {
        SCOPED_TRACE(::testing::Message() << lengths.size() << " tracks");
        const std::string name = "t" + std::to_string(lengths.size()) + (pregap ? "p" : "");
        ScopedDiscImages images({MakeImage(folder_, name, lengths, 3, pregap)});
        const int handle = OpenImage();
        TOC toc;
        std::memset(&toc, 0xff, sizeof toc);
        ASSERT_EQ(akrip::ReadTOC(handle, &toc), 1);
        EXPECT_EQ(GetAspiLibError(), akrip::SS_OK);
        const auto n = static_cast<int>(lengths.size());
        EXPECT_EQ(toc.firstTrack, 1);
        EXPECT_EQ(toc.lastTrack, n);
        EXPECT_EQ(toc.tocLen, (n + 1) * 8 + 2);
        const discmaker::DiscPlan plan{lengths, 3, pregap};
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(toc.tracks[i].trackNumber, i + 1);
            EXPECT_EQ(Addr(toc.tracks[i]), static_cast<std::uint32_t>(discmaker::TrackStart(plan, i)))
                << "track " << i + 1;
            EXPECT_EQ(toc.tracks[i].ADR & 0x04, 0) << "an audio track";
        }
        EXPECT_EQ(toc.tracks[n].trackNumber, 0xAA);
        EXPECT_EQ(Addr(toc.tracks[n]), static_cast<std::uint32_t>(discmaker::TotalSectors(plan)));
        EXPECT_TRUE(AllZero(&toc.tracks[n + 1], sizeof(akrip::TOCTRACK) * static_cast<std::size_t>(99 - n)));
        EXPECT_EQ(akrip::CloseCDHandle(handle), 1);
    }

    TempFolder folder_;
    int realDrives_ = 0;
};

TEST_F(Akrip32, DriveListFollowsTheImageVariable) {
    CDLIST list{};
    akrip::GetCDList(&list);
    EXPECT_EQ(list.max, 8);
    EXPECT_EQ(list.num, realDrives_);
    EXPECT_EQ(akrip::GetNumAdapters(), realDrives_ - 1);
    EXPECT_TRUE(AllZero(&list.cd[realDrives_], sizeof(akrip::CDREC) * (8u - list.num)));

    const std::string a = MakeImage(folder_, "a", {300});
    {
        ScopedDiscImages one({a});
        akrip::GetCDList(&list);
        ASSERT_EQ(list.num, realDrives_ + 1);
        EXPECT_EQ(akrip::GetNumAdapters(), realDrives_);
        const akrip::CDREC& rec = list.cd[ImageTarget(0)];
        EXPECT_STREQ(rec.id, "IMAGE a.cue");
        EXPECT_EQ(rec.ha, 1);
        EXPECT_EQ(rec.tgt, ImageTarget(0));
        EXPECT_EQ(rec.lun, 0);
        EXPECT_TRUE(AllZero(rec.id + 11, sizeof(rec.id) - 11));
    }
    {
        // Empty pieces are skipped; the variable is read afresh on each call.
        ScopedDiscImages restore({});
        const std::string value = ":" + a + "::" + folder_.file("b.toc") + ":";
        ::setenv("DORVANE_DISC_IMAGES", value.c_str(), 1);
        akrip::GetCDList(&list);
        ASSERT_EQ(list.num, realDrives_ + 2);
        EXPECT_EQ(akrip::GetNumAdapters(), realDrives_ + 1);
        EXPECT_STREQ(list.cd[ImageTarget(0)].id, "IMAGE a.cue");
        EXPECT_STREQ(list.cd[ImageTarget(1)].id, "IMAGE b.toc");
        EXPECT_EQ(list.cd[ImageTarget(1)].tgt, ImageTarget(1));
        EXPECT_TRUE(AllZero(&list.cd[list.num], sizeof(akrip::CDREC) * (8u - list.num)));
    }
    akrip::GetCDList(&list);
    EXPECT_EQ(list.num, realDrives_);
    akrip::GetCDList(nullptr);  // must simply do nothing
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
    EXPECT_EQ(Open(ImageTarget(0), 16), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_BADVERSION);
    EXPECT_EQ(Open(ImageTarget(0), 12, 2), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_BADVERSION);
    EXPECT_EQ(Open(ImageTarget(2)), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NOTCDROM);
    EXPECT_EQ(Open(ImageTarget(0), 12, 1, 0), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NOTCDROM);

    const int a = Open(ImageTarget(0));
    EXPECT_GE(a, 1);
    EXPECT_LE(a, 8);
    EXPECT_EQ(GetAspiLibError(), akrip::SS_OK);
    EXPECT_EQ(Open(ImageTarget(0)), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_ALREADYALLOC);
    const int b = Open(ImageTarget(1));
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
        first.push_back(folder_.file("f" + std::to_string(i) + ".cue"));
        second.push_back(folder_.file("s" + std::to_string(i) + ".cue"));
    }
    std::vector<int> handles;
    {
        ScopedDiscImages images(first);
        for (int tgt = 0; tgt < 8; ++tgt)
            handles.push_back(Open(tgt));
    }
    std::sort(handles.begin(), handles.end());
    EXPECT_EQ(handles, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    ScopedDiscImages images(second);
    EXPECT_EQ(Open(ImageTarget(0)), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NOSLOTS);
    EXPECT_EQ(akrip::CloseCDHandle(5), 1);
    EXPECT_EQ(Open(ImageTarget(0)), 5);
}

TEST_F(Akrip32, TableOfContentsOf1And12And99Tracks) {
    CheckToc({4000});
    CheckToc({300, 450, 301, 900, 75, 1, 600, 333, 2000, 150, 299, 1200});
    std::vector<std::int32_t> many;
    for (int i = 0; i < 99; ++i)
        many.push_back(10 + i * 7 % 50);
    CheckToc(many);
}

TEST_F(Akrip32, PregapPutsTrackOneAt150) {
    CheckToc({300, 200}, true);
    const discmaker::DiscPlan plan{{300, 200}, 3, true};
    EXPECT_EQ(discmaker::TrackStart(plan, 0), 150);

    // The pregap itself is on the disc and readable, before track 1.
    ScopedDiscImages images({folder_.file("t2p.cue")});
    const int handle = OpenImage();
    Block block(150);
    ASSERT_EQ(Read(handle, block, 0, 150), 1);
    unsigned char expected[kSector];
    discmaker::FillSector(plan, 149, expected);
    EXPECT_EQ(std::memcmp(block.audio() + 149 * kSector, expected, kSector), 0);
}

TEST_F(Akrip32, ReadingATrackGivesTheImageBytes) {
    const discmaker::DiscPlan plan{{300, 200, 250}, 5, false};
    ScopedDiscImages images({MakeImage(folder_, "r", plan.trackSectors, plan.seed)});
    const int handle = OpenImage();
    Block block(26);
    unsigned char expected[kSector];
    const std::int32_t start = discmaker::TrackStart(plan, 1);
    const std::int32_t end = discmaker::TrackStart(plan, 2);
    for (std::int32_t at = start; at < end; at += 26) {
        const auto count = static_cast<std::uint32_t>(std::min(26, end - at));
        ASSERT_EQ(Read(handle, block, at, count), 1) << "at " << at << ", error " << GetAspiLibError();
        EXPECT_EQ(block.get()->len, count * kSector);
        for (std::uint32_t i = 0; i < count; ++i) {
            discmaker::FillSector(plan, at + static_cast<std::int32_t>(i), expected);
            ASSERT_EQ(std::memcmp(block.audio() + i * kSector, expected, kSector), 0) << "sector " << at + i;
        }
    }
    // The audio is neither silence nor the same from track to track.
    unsigned char other[kSector];
    discmaker::FillSector(plan, 100, other);
    discmaker::FillSector(plan, 400, expected);
    EXPECT_NE(std::memcmp(other, expected, kSector), 0);
    EXPECT_FALSE(AllZero(expected, kSector));

    EXPECT_EQ(Read(handle, block, 10, 0), 1) << "nothing asked, nothing read";
    EXPECT_EQ(block.get()->len, 0u);
}

TEST_F(Akrip32, ReadsOffTheDiscFail) {
    ScopedDiscImages images({MakeImage(folder_, "a", {300, 200})});
    const int handle = OpenImage();
    Block block(26);
    EXPECT_EQ(Read(handle, block, 500 - 26, 26), 1) << "up to the lead-out is fine";
    for (std::int64_t start : {490LL, 500LL, 600LL, 0xffffffffLL, 0x80000000LL}) {
        EXPECT_EQ(Read(handle, block, start, 26), 0) << "start " << start;
        EXPECT_EQ(GetAspiLibError(), akrip::E_ASPIERROR);
    }
    EXPECT_EQ(Read(handle, block, 499, 1), 1);
    EXPECT_EQ(GetAspiLibError(), akrip::SS_OK);
}

TEST_F(Akrip32, ReadsPastTheEndOfATruncatedBinFail) {
    const discmaker::DiscPlan plan{{300, 200}, 1, false};
    const std::string cue = MakeImage(folder_, "a", plan.trackSectors);
    ASSERT_EQ(::truncate(folder_.file("a.bin").c_str(), 400 * kSector + 1000), 0);
    // The same BIN under a cdrdao TOC, whose lead-out comes from the track
    // lengths (500) rather than from the file size (400 sectors and a bit).
    const std::string toc = folder_.file("a.toc");
    {
        std::FILE* f = std::fopen(toc.c_str(), "w");
        ASSERT_NE(f, nullptr);
        // libcdio looks for a relative name in the working folder, so the
        // name is absolute.
        const std::string bin = folder_.file("a.bin");
        std::fprintf(f, "CD_DA\nTRACK AUDIO\nFILE \"%s\" 0 00:04:00\nTRACK AUDIO\nFILE \"%s\" 00:04:00 00:02:50\n",
                     bin.c_str(), bin.c_str());
        ASSERT_EQ(std::fclose(f), 0);
    }
    ScopedDiscImages images({cue, toc});
    for (int drive = 0; drive < 2; ++drive) {
        SCOPED_TRACE(drive == 0 ? "cue" : "toc");
        const int handle = Open(ImageTarget(drive));
        ASSERT_GT(handle, 0);
        Block block(26);
        ASSERT_EQ(Read(handle, block, 374, 26), 1) << GetAspiLibError();
        unsigned char expected[kSector];
        discmaker::FillSector(plan, 399, expected);
        EXPECT_EQ(std::memcmp(block.audio() + 25 * kSector, expected, kSector), 0);
        for (std::int64_t start : {375, 390, 399, 420, 480}) {
            EXPECT_EQ(Read(handle, block, start, 26), 0) << "start " << start;
            EXPECT_EQ(GetAspiLibError(), akrip::E_ASPIERROR);
        }
        EXPECT_EQ(Read(handle, block, 399, 1), 1);
        EXPECT_EQ(Read(handle, block, 400, 1), 0);
    }
}

TEST_F(Akrip32, BufferTooSmall) {
    ScopedDiscImages images({MakeImage(folder_, "a", {300})});
    const int handle = OpenImage();
    Block block(10);
    EXPECT_EQ(Read(handle, block, 0, 11), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_BUFTOOSMALL);
    block.get()->maxLen = 10 * kSector - 1;
    EXPECT_EQ(Read(handle, block, 0, 10), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_BUFTOOSMALL);
    EXPECT_EQ(akrip::ReadCDAudioLBA(handle, nullptr), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NULLPARAM);
}

TEST_F(Akrip32, MissingImageIsADriveWithoutDisc) {
    ScopedDiscImages images({folder_.file("gone.cue")});
    ::unsetenv("DORVANE_CDIO_LOG");
    ::testing::internal::CaptureStderr();
    const int handle = OpenImage();
    EXPECT_EQ(GetAspiLibError(), akrip::SS_OK);
    TOC toc{};
    EXPECT_EQ(akrip::ReadTOC(handle, &toc), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_ASPIERROR);
    Block block(1);
    EXPECT_EQ(Read(handle, block, 0, 1), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_ASPIERROR);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "libcdio must not talk to the terminal";
    EXPECT_NE(seam::LastLibraryMessage(), "") << "but what it said is kept";
}

TEST_F(Akrip32, ClosedHandlesAreInvalid) {
    ScopedDiscImages images({MakeImage(folder_, "a", {300})});
    const int handle = OpenImage();
    EXPECT_EQ(akrip::CloseCDHandle(handle), 1);
    EXPECT_EQ(GetAspiLibError(), akrip::SS_OK);
    TOC toc{};
    Block block(1);
    EXPECT_EQ(akrip::ReadTOC(handle, &toc), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_INVALIDHANDLE);
    EXPECT_EQ(Read(handle, block, 0, 1), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_INVALIDHANDLE);
    for (int bad : {handle, 0, -1, 9})
        EXPECT_EQ(akrip::CloseCDHandle(bad), 0) << bad;
    EXPECT_EQ(GetAspiLibError(), akrip::E_INVALIDHANDLE);
    EXPECT_GT(OpenImage(), 0) << "the drive can be opened again";
}

TEST_F(Akrip32, FaultSeamFailsReadsThenLetsThemThrough) {
    ScopedDiscImages images({MakeImage(folder_, "a", {300})});
    const int handle = OpenImage();
    Block block(26);
    seam::FailReads(40, 2);
    seam::FailReads(100, 1, akrip::E_NOASPI);
    EXPECT_EQ(Read(handle, block, 0, 26), 1) << "does not cover sector 40";
    EXPECT_EQ(Read(handle, block, 26, 26), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_ASPIERROR);
    EXPECT_EQ(Read(handle, block, 40, 1), 0);
    EXPECT_EQ(Read(handle, block, 26, 26), 1);
    EXPECT_EQ(Read(handle, block, 90, 26), 0);
    EXPECT_EQ(GetAspiLibError(), akrip::E_NOASPI);
    EXPECT_EQ(Read(handle, block, 90, 26), 1);
    EXPECT_EQ(seam::ReadCallCount(), 6);
    seam::FailReads(0, 1);
    seam::ClearReadFailures();
    EXPECT_EQ(seam::ReadCallCount(), 0);
    EXPECT_EQ(Read(handle, block, 0, 26), 1);
    EXPECT_EQ(seam::ReadCallCount(), 1);
}

}  // namespace
