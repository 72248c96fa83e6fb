#include "verify/ArResponse.h"

namespace verify {
namespace {

constexpr std::size_t kHeaderBytes = 13;
constexpr std::size_t kTrackBytes = 9;

std::uint32_t Le32(std::string_view b, std::size_t at) {
    return std::uint32_t(static_cast<unsigned char>(b[at])) |
           std::uint32_t(static_cast<unsigned char>(b[at + 1])) << 8 |
           std::uint32_t(static_cast<unsigned char>(b[at + 2])) << 16 |
           std::uint32_t(static_cast<unsigned char>(b[at + 3])) << 24;
}

void PutLe32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

ArResponse Refused(std::string why) {
    ArResponse r;
    r.error = std::move(why);
    return r;
}

} // namespace

ArResponse ParseArResponse(std::string_view bytes) {
    if (bytes.size() > kMaxResponseBytes)
        return Refused("the answer is " + std::to_string(bytes.size()) +
                       " bytes long, more than the 1 MB an answer may be");
    if (bytes.empty())
        return Refused("the answer is empty");
    ArResponse r;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::string number = std::to_string(r.entries.size() + 1);
        if (bytes.size() - at < kHeaderBytes)
            return Refused("the answer ends inside the head of entry " + number + " (" +
                           std::to_string(bytes.size() - at) + " of 13 bytes)");
        const int count = static_cast<unsigned char>(bytes[at]);
        if (count == 0 || count > 99)
            return Refused("entry " + number + " claims " + std::to_string(count) +
                           " tracks; a disc has 1 to 99");
        ArEntry e;
        e.id1 = Le32(bytes, at + 1);
        e.id2 = Le32(bytes, at + 5);
        e.cddb = Le32(bytes, at + 9);
        at += kHeaderBytes;
        const std::size_t need = std::size_t(count) * kTrackBytes;
        if (bytes.size() - at < need)
            return Refused("the answer ends inside entry " + number + ", which claims " +
                           std::to_string(count) + " tracks (" + std::to_string(need) +
                           " bytes) but has " + std::to_string(bytes.size() - at) + " left");
        for (int t = 0; t < count; ++t, at += kTrackBytes)
            e.tracks.push_back(ArTrackEntry{static_cast<unsigned char>(bytes[at]),
                                            Le32(bytes, at + 1), Le32(bytes, at + 5)});
        r.entries.push_back(std::move(e));
    }
    return r;
}

std::string FormatArResponse(const std::vector<ArEntry>& entries) {
    std::string out;
    for (const ArEntry& e : entries) {
        out.push_back(static_cast<char>(e.tracks.size()));
        PutLe32(out, e.id1);
        PutLe32(out, e.id2);
        PutLe32(out, e.cddb);
        for (const ArTrackEntry& t : e.tracks) {
            out.push_back(static_cast<char>(t.confidence));
            PutLe32(out, t.crc);
            PutLe32(out, t.sector450);
        }
    }
    return out;
}

} // namespace verify
