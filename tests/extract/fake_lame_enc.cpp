// An encoder module whose stream never starts, with a result code no table
// knows: the program must still say something.

#include "output/lame_enc.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

using namespace lame_enc;

FAKE_EXPORT std::uint32_t beInitStream(BE_CONFIG*, std::uint32_t*, std::uint32_t*, HBE_STREAM*) {
    return 7;
}
FAKE_EXPORT std::uint32_t beEncodeChunk(HBE_STREAM, std::uint32_t, const std::int16_t*,
                                        std::uint8_t*, std::uint32_t*) {
    return 4;
}
FAKE_EXPORT std::uint32_t beDeinitStream(HBE_STREAM, std::uint8_t*, std::uint32_t*) {
    return 4;
}
FAKE_EXPORT std::uint32_t beCloseStream(HBE_STREAM) {
    return 4;
}
