#pragma once
// The CD audio library layer: eight functions and their packed records, the
// way the rest of the program expects a CD extraction library to behave.
// Built over libcdio and our own CUE sheet reader (Disc.h). The drives are
// the real CD drives libcdio finds, then one drive per disc image named on
// the command line or in DORVANE_DISC_IMAGES (ImageDrives.h), at most 8 in
// all.
//
// Numbers are little-endian except TOCTRACK::addr, which is most significant
// byte first. Every record is packed byte for byte; the static_asserts below
// pin sizes and offsets.

#include <cstddef>
#include <cstdint>
#include <string>

namespace akrip {

#pragma pack(push, 1)

struct CDREC {
    std::uint8_t ha;
    std::uint8_t tgt;
    std::uint8_t lun;
    std::uint8_t pad;
    char id[65];           // the drive's description, zero-filled
    std::uint8_t info[52]; // further drive information (not read by the program)
};

struct CDLIST {
    std::uint8_t max;
    std::uint8_t num;
    CDREC cd[8];
};

struct GETCDHAND {
    std::uint8_t size; // must be 12
    std::uint8_t ver;  // must be 1
    std::uint8_t ha;
    std::uint8_t tgt;
    std::uint8_t lun;
    std::uint8_t readType;
    std::uint8_t rest[10]; // zero: jitter correction off
};

struct TOCTRACK {
    std::uint8_t rsvd;
    std::uint8_t ADR;
    std::uint8_t trackNumber;
    std::uint8_t rsvd2;
    std::uint8_t addr[4]; // start sector, most significant byte first
};

struct TOC {
    std::uint16_t tocLen;
    std::uint8_t firstTrack;
    std::uint8_t lastTrack;
    TOCTRACK tracks[100];
};

struct TRACKBUF {
    std::uint32_t startFrame;
    std::uint32_t numFrames;
    std::uint32_t maxLen;
    std::uint32_t len;
    std::uint32_t status;
    std::int32_t startOffset;
    std::uint8_t buf[1]; // the audio area; the block is allocated larger
};

#pragma pack(pop)

static_assert(sizeof(CDREC) == 121);
static_assert(offsetof(CDREC, id) == 4);
static_assert(offsetof(CDREC, info) == 69);
static_assert(sizeof(CDLIST) == 970);
static_assert(offsetof(CDLIST, cd) == 2);
static_assert(sizeof(GETCDHAND) == 16);
static_assert(offsetof(GETCDHAND, tgt) == 3);
static_assert(offsetof(GETCDHAND, readType) == 5);
static_assert(sizeof(TOCTRACK) == 8);
static_assert(offsetof(TOCTRACK, trackNumber) == 2);
static_assert(offsetof(TOCTRACK, addr) == 4);
static_assert(sizeof(TOC) == 804);
static_assert(offsetof(TOC, tracks) == 4);
static_assert(offsetof(TRACKBUF, numFrames) == 4);
static_assert(offsetof(TRACKBUF, len) == 12);
static_assert(offsetof(TRACKBUF, startOffset) == 20);
static_assert(offsetof(TRACKBUF, buf) == 24);

constexpr std::size_t kTrackBufHeader = 24;
constexpr int kSectorBytes = 2352;
constexpr int kMaxDrives = 8;

// Error codes of GetAspiLibError.
enum ErrorCode : int {
    SS_OK = 0,
    E_NOASPI = -1,    // no access to the drives at all
    E_ASPIERROR = -4, // the drive or image answered a command with an error
    E_BUFTOOSMALL = -6,
    E_INVALIDHANDLE = -7,
    E_NOSLOTS = -8,
    E_NOTCDROM = -10, // ha:tgt:lun name no drive
    E_ALREADYALLOC = -12,
    E_NULLPARAM = -13,
    E_BADVERSION = -14,
};

// Drive positions 0 to the result are listed by the program.
int GetNumAdapters();
void GetCDList(CDLIST* list);
// Handle 1..8 of the drive, or 0 on failure.
int GetCDHandle(GETCDHAND* request);
int ModifyCDParms(int handle, int param, int value);
// 1 when the table was read.
int ReadTOC(int handle, TOC* toc);
// 1 when numFrames * 2352 bytes of audio now stand at buf.
int ReadCDAudioLBA(int handle, TRACKBUF* block);
int CloseCDHandle(int handle);
int GetAspiLibError();
// Beyond the library's own: why the last ReadCDAudioLBA on this thread that
// reached the disc failed, in the system's words ("Input/output error") or
// the image's ("the image's audio ends early"); empty after a good read.
std::string LastReadReason();

} // namespace akrip
