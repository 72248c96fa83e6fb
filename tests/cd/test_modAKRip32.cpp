// The library's error texts and the sector rules of the table of contents.

#include "cd/modAKRip32.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace modAKRip32;

namespace {

void SetAddress(akrip::TOC& toc, int entry, std::uint32_t lba) {
    for (int b = 0; b < 4; ++b)
        toc.tracks[entry].addr[b] = static_cast<std::uint8_t>(lba >> (24 - 8 * b));
}

TEST(CDErrorText, TableAndItsEnds) {
    EXPECT_EQ(CDErrorText(0), QStringLiteral("No error..."));
    EXPECT_EQ(CDErrorText(-15), QStringLiteral("An automatic jitter adjust failed during a call "
                                               "to ReadCDAudioLBAEx"));
    for (int code : {1, -16, 100, -1000})
        EXPECT_TRUE(CDErrorText(code).isEmpty()) << code;
}

TEST(TableOfContents, AddressesTrackStartsAndCounts) {
    const std::uint8_t small[4] = {0, 1, 2, 3}, big[4] = {0x7F, 0xFF, 0xFF, 0xFF}, huge[4] = {128};
    EXPECT_EQ(TocAddressToLba(small), 0x010203);
    EXPECT_EQ(TocAddressToLba(big), INT32_MAX);
    EXPECT_FALSE(TocAddressToLba(huge).has_value());

    // A full disc: 99 tracks, lead-out in entry 99; the scan stops at the table's end.
    akrip::TOC full{};
    for (int i = 0; i < 100; ++i)
        SetAddress(full, i, 150 + 1000 * static_cast<std::uint32_t>(i));
    EXPECT_EQ(TrackCount(full), 99);
    EXPECT_EQ(TrackStart(full, 1), 150);
    EXPECT_EQ(TrackStart(full, 100), 99150); // the lead-out: the end of track 99

    // A zero entry ends the disc, whatever stands behind it.
    SetAddress(full, 5, 0);
    EXPECT_EQ(TrackCount(full), 4);
    SetAddress(full, 1, 0);
    EXPECT_EQ(TrackCount(full), 0);
}

} // namespace
