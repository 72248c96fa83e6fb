// File names as the bytes open(2) gets: any bytes survive the trip through a
// QString, and a name that is valid UTF-8 reads as the text it spells.

#include "general/modFiles.h"

#include <gtest/gtest.h>

using modFiles::PathBytes;
using modFiles::PathFromBytes;

TEST(PathBytes, AnyBytesRoundTripAndUtf8ReadsAsText) {
    const std::pair<QByteArray, bool> names[] = {
        // bytes, valid UTF-8
        {"/home/ann/Music", true},
        {"Bj\xC3\xB6rk \xE2\x99\xAB \xF0\x9F\x98\x80", true},
        {"caf\xE9", false},                      // Latin-1
        {"\xFF\xFE/\x80", false},                // bytes no UTF-8 starts with
        {"a\xC3", false},                        // a sequence cut short
        {"\xC0\xAF", false},                     // an overlong "/"
        {"\xED\xA0\x80\xED\xB2\x80", false},     // encoded surrogates
        {"\xF4\x90\x80\x80", false},             // past U+10FFFF
        {"\xF0\x90\x82\x80\xED\xB2\x80", false}, // U+10080, whose low half looks like an escape
    };
    for (const auto& [bytes, valid] : names) {
        EXPECT_EQ(PathBytes(PathFromBytes(bytes)), bytes) << bytes.toHex().constData();
        if (valid)
            EXPECT_EQ(PathFromBytes(bytes), QString::fromUtf8(bytes));
        else
            EXPECT_NE(PathFromBytes(bytes), QString::fromUtf8(bytes))
                << "two names would read alike";
    }
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(PathBytes(PathFromBytes(all)), all);
}
