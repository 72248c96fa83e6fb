// The CD audio library layer over libcdio. All state sits behind one mutex;
// every libcdio call is made while holding it, because libcdio's logging is
// not reentrant across threads.

#include "cd/akrip32.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cd/akrip32_testing.h"

namespace akrip {
namespace {

struct CdioCloser {
    void operator()(CdIo_t* p) const noexcept { cdio_destroy(p); }
};
using CdioPtr = std::unique_ptr<CdIo_t, CdioCloser>;

struct DeviceListFree {
    void operator()(char** list) const noexcept { cdio_free_device_list(list); }
};
using DeviceListPtr = std::unique_ptr<char*, DeviceListFree>;

struct Drive {
    bool image = false;
    std::string path;  // device node or image file

    bool operator==(const Drive&) const = default;
};

struct Slot {
    bool open = false;
    Drive drive;
    CdioPtr cdio;               // null: the drive has no disc we can read
    std::int64_t dataSectors = -1;  // sectors the image's data files hold; -1: no such bound
};

struct ReadFault {
    std::int32_t sector;
    int times;
    int code;
};

struct State {
    std::mutex mutex;
    int lastError = SS_OK;
    std::array<Slot, kMaxDrives> slots;
    std::vector<ReadFault> faults;
    int readCalls = 0;
};

State& Global() {
    static State state;
    return state;
}

// The log handler runs inside libcdio calls, which happen under the main
// mutex, so it keeps its message behind a mutex of its own.
std::mutex logMutex;
std::string lastLogMessage;

const char* LevelName(cdio_log_level_t level) {
    switch (level) {
    case CDIO_LOG_DEBUG: return "debug";
    case CDIO_LOG_INFO: return "info";
    case CDIO_LOG_WARN: return "warning";
    case CDIO_LOG_ERROR: return "error";
    case CDIO_LOG_ASSERT: return "assert";
    }
    return "?";
}

void LogHandler(cdio_log_level_t level, const char message[]) {
    if (level != CDIO_LOG_DEBUG) {
        std::lock_guard lock(logMutex);
        lastLogMessage = message ? message : "";
    }
    const char* wanted = std::getenv("DORVANE_CDIO_LOG");
    if (wanted && std::strcmp(wanted, "1") == 0)
        std::fprintf(stderr, "libcdio %s: %s\n", LevelName(level), message ? message : "");
}

// libcdio's own handler prints to the terminal and even exits the process on
// an error message, so ours must be in place before the first libcdio call.
void InstallLogHandler() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler(LogHandler); });
}

// Real drives first, then the images named in DORVANE_DISC_IMAGES; read
// afresh each time, since discs and the variable change while we run.
std::vector<Drive> ListDrives() {
    std::vector<Drive> drives;
    DeviceListPtr devices(cdio_get_devices(DRIVER_DEVICE));
    for (char** d = devices.get(); d && *d && drives.size() < kMaxDrives; ++d)
        drives.push_back({false, *d});

    const char* env = std::getenv("DORVANE_DISC_IMAGES");
    std::string_view rest = env ? env : "";
    while (!rest.empty() && drives.size() < kMaxDrives) {
        const auto colon = rest.find(':');
        const std::string_view piece = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!piece.empty())
            drives.push_back({true, std::string(piece)});
    }
    return drives;
}

std::string Trimmed(const char* text) {
    std::string_view s(text);
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

std::string DriveDescription(const Drive& drive) {
    if (drive.image)
        return "IMAGE " + std::filesystem::path(drive.path).filename().string();

    // A drive we cannot ask still gets a name, so it can be told apart.
    CdioPtr p(cdio_open(drive.path.c_str(), DRIVER_DEVICE));
    cdio_hwinfo_t hw{};
    if (!p || !cdio_get_hwinfo(p.get(), &hw))
        return drive.path;
    std::string text;
    for (const char* part : {hw.psz_vendor, hw.psz_model, hw.psz_revision}) {
        const std::string piece = Trimmed(part);
        if (piece.empty())
            continue;
        if (!text.empty())
            text += ' ';
        text += piece;
    }
    return text.empty() ? drive.path : text;
}

// The data files a CUE sheet (FILE) or cdrdao TOC (FILE, AUDIOFILE, DATAFILE)
// names. A relative name is found where libcdio looks for it: next to a CUE
// sheet, but in the working folder for a TOC.
std::vector<std::string> SheetDataFiles(const std::string& sheet, bool toc) {
    std::vector<std::string> files;
    std::ifstream in(sheet);
    const std::filesystem::path folder = std::filesystem::path(sheet).parent_path();
    std::string line;
    while (std::getline(in, line)) {
        if (toc) {
            const auto comment = line.find("//");
            if (comment != std::string::npos)
                line.erase(comment);
        }
        std::string_view s(line);
        const auto start = s.find_first_not_of(" \t\r");
        if (start == std::string_view::npos)
            continue;
        s.remove_prefix(start);
        const auto keywordEnd = std::min(s.find_first_of(" \t"), s.size());
        std::string keyword(s.substr(0, keywordEnd));
        std::transform(keyword.begin(), keyword.end(), keyword.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        const bool named = keyword == "FILE" || (toc && (keyword == "AUDIOFILE" || keyword == "DATAFILE"));
        if (!named)
            continue;
        s.remove_prefix(keywordEnd);
        const auto nameStart = s.find_first_not_of(" \t");
        if (nameStart == std::string_view::npos)
            continue;
        s.remove_prefix(nameStart);
        std::string_view name;
        if (s.front() == '"') {
            s.remove_prefix(1);
            name = s.substr(0, s.find('"'));
        } else {
            name = s.substr(0, s.find_first_of(" \t\r"));
        }
        if (name.empty())
            continue;
        const std::filesystem::path file(name);
        files.push_back((file.is_absolute() || toc ? file : folder / file).string());
    }
    return files;
}

// How many sectors the image's data files hold, or -1 when the image type
// has no separate data file (NRG keeps its audio inside the image itself).
// libcdio answers reads past the end of a BIN with success and stale bytes,
// so this bound is checked on every read. For several data files the sum is
// used: it is only an upper bound, but libcdio's lead-out covers the rest.
// A file named twice (cdrdao TOCs name one file per track) counts once.
std::int64_t DataFileSectors(CdIo_t* p, const std::string& imagePath) {
    const driver_id_t driver = cdio_get_driver_id(p);
    if (driver != DRIVER_BINCUE && driver != DRIVER_CDRDAO)
        return -1;
    const char* sheetArg = cdio_get_arg(p, "cue");
    const std::string sheet = sheetArg ? sheetArg : imagePath;
    const std::vector<std::string> files = SheetDataFiles(sheet, driver == DRIVER_CDRDAO);
    std::int64_t bytes = 0;
    for (const std::string& file : std::set<std::string>(files.begin(), files.end())) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(file, ec);
        if (!ec)
            bytes += static_cast<std::int64_t>(size);
    }
    return bytes / kSectorBytes;
}

Slot* OpenSlot(State& s, int handle) {
    if (handle < 1 || handle > kMaxDrives)
        return nullptr;
    Slot& slot = s.slots[static_cast<std::size_t>(handle - 1)];
    return slot.open ? &slot : nullptr;
}

int Fail(State& s, int code) {
    s.lastError = code;
    return 0;
}

std::uint8_t ControlBits(CdIo_t* p, track_t track) {
    std::uint8_t control = 0;
    if (cdio_get_track_format(p, track) != TRACK_FORMAT_AUDIO)
        control |= 0x04;
    if (cdio_get_track_copy_permit(p, track) == CDIO_TRACK_FLAG_TRUE)
        control |= 0x02;
    if (cdio_get_track_preemphasis(p, track) == CDIO_TRACK_FLAG_TRUE)
        control |= 0x01;
    return control;
}

void SetEntry(TOCTRACK& entry, std::uint8_t control, std::uint8_t number, lsn_t lsn) {
    entry.ADR = static_cast<std::uint8_t>(0x10 | control);  // ADR 1: position data
    entry.trackNumber = number;
    const auto value = static_cast<std::uint32_t>(lsn);
    entry.addr[0] = static_cast<std::uint8_t>(value >> 24);
    entry.addr[1] = static_cast<std::uint8_t>(value >> 16);
    entry.addr[2] = static_cast<std::uint8_t>(value >> 8);
    entry.addr[3] = static_cast<std::uint8_t>(value);
}

}  // namespace

// The program lists drive positions 0 to this result inclusive, so it is the
// highest position, not the count: with the count, the settings window would
// show one empty phantom drive after the real ones, and with no drives at all
// -1 gives an empty list instead of one blank entry.
int GetNumAdapters() {
    InstallLogHandler();
    State& s = Global();
    std::lock_guard lock(s.mutex);
    const auto count = static_cast<int>(ListDrives().size());
    s.lastError = SS_OK;
    return count - 1;
}

void GetCDList(CDLIST* list) {
    InstallLogHandler();
    if (!list)
        return;
    State& s = Global();
    std::lock_guard lock(s.mutex);
    const std::vector<Drive> drives = ListDrives();
    std::memset(list, 0, sizeof(CDLIST));
    list->max = kMaxDrives;
    list->num = static_cast<std::uint8_t>(drives.size());
    for (std::size_t i = 0; i < drives.size(); ++i) {
        CDREC& rec = list->cd[i];
        rec.ha = 1;  // so an all-zero record never names a drive
        rec.tgt = static_cast<std::uint8_t>(i);
        rec.lun = 0;
        const std::string id = DriveDescription(drives[i]);
        std::memcpy(rec.id, id.data(), std::min(id.size(), sizeof(rec.id) - 1));
    }
    s.lastError = SS_OK;
}

int GetCDHandle(GETCDHAND* request) {
    InstallLogHandler();
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (!request)
        return Fail(s, E_NULLPARAM);
    if (request->size != 12 || request->ver != 1)
        return Fail(s, E_BADVERSION);
    const std::vector<Drive> drives = ListDrives();
    if (request->ha != 1 || request->lun != 0 || request->tgt >= drives.size())
        return Fail(s, E_NOTCDROM);
    const Drive& drive = drives[request->tgt];
    if (std::any_of(s.slots.begin(), s.slots.end(),
                    [&](const Slot& slot) { return slot.open && slot.drive == drive; }))
        return Fail(s, E_ALREADYALLOC);
    const auto free = std::find_if(s.slots.begin(), s.slots.end(),
                                   [](const Slot& slot) { return !slot.open; });
    if (free == s.slots.end())
        return Fail(s, E_NOSLOTS);

    // A drive that cannot be opened still gets its handle, like a drive with
    // no disc in it: ReadTOC is where that shows.
    Slot& slot = *free;
    slot.open = true;
    slot.drive = drive;
    slot.cdio.reset(cdio_open(drive.path.c_str(), drive.image ? DRIVER_UNKNOWN : DRIVER_DEVICE));
    slot.dataSectors = slot.cdio && drive.image ? DataFileSectors(slot.cdio.get(), drive.path) : -1;
    s.lastError = SS_OK;
    return static_cast<int>(free - s.slots.begin()) + 1;
}

int ModifyCDParms(int handle, int /*param*/, int /*value*/) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (!OpenSlot(s, handle))
        return Fail(s, E_INVALIDHANDLE);
    s.lastError = SS_OK;
    return 1;
}

int ReadTOC(int handle, TOC* toc) {
    InstallLogHandler();
    State& s = Global();
    std::lock_guard lock(s.mutex);
    Slot* slot = OpenSlot(s, handle);
    if (!slot)
        return Fail(s, E_INVALIDHANDLE);
    if (!toc)
        return Fail(s, E_NULLPARAM);
    std::memset(toc, 0, sizeof(TOC));
    CdIo_t* p = slot->cdio.get();
    if (!p)
        return Fail(s, E_ASPIERROR);
    const track_t first = cdio_get_first_track_num(p);
    const track_t last = cdio_get_last_track_num(p);
    if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first == 0 || last < first ||
        last - first + 1 > 99)
        return Fail(s, E_ASPIERROR);
    const int count = last - first + 1;
    std::uint8_t control = 0;
    for (int i = 0; i < count; ++i) {
        const auto track = static_cast<track_t>(first + i);
        const lsn_t lsn = cdio_get_track_lsn(p, track);
        if (lsn == CDIO_INVALID_LSN) {
            std::memset(toc, 0, sizeof(TOC));
            return Fail(s, E_ASPIERROR);
        }
        control = ControlBits(p, track);
        SetEntry(toc->tracks[i], control, track, lsn);
    }
    const lsn_t leadout = cdio_get_track_lsn(p, CDIO_CDROM_LEADOUT_TRACK);
    if (leadout == CDIO_INVALID_LSN) {
        std::memset(toc, 0, sizeof(TOC));
        return Fail(s, E_ASPIERROR);
    }
    SetEntry(toc->tracks[count], control, 0xAA, leadout);
    // The program never reads tocLen; it is stored in the machine's order,
    // little-endian like the header's other numbers.
    toc->tocLen = static_cast<std::uint16_t>((count + 1) * 8 + 2);
    toc->firstTrack = first;
    toc->lastTrack = last;
    s.lastError = SS_OK;
    return 1;
}

int ReadCDAudioLBA(int handle, TRACKBUF* block) {
    InstallLogHandler();
    State& s = Global();
    std::lock_guard lock(s.mutex);
    ++s.readCalls;
    Slot* slot = OpenSlot(s, handle);
    if (!slot)
        return Fail(s, E_INVALIDHANDLE);
    if (!block)
        return Fail(s, E_NULLPARAM);
    const std::uint64_t bytes = std::uint64_t{block->numFrames} * kSectorBytes;
    if (bytes > block->maxLen)
        return Fail(s, E_BUFTOOSMALL);
    if (block->numFrames == 0) {
        block->len = 0;
        s.lastError = SS_OK;
        return 1;
    }
    CdIo_t* p = slot->cdio.get();
    if (!p)
        return Fail(s, E_ASPIERROR);

    // libcdio cuts a read that runs past the lead-out short and still reports
    // success, and its image driver takes a short read of the BIN as success
    // too; the buffer would then hold stale bytes. So the range is checked
    // here, and startFrame from 2^31 on counts as a negative sector.
    const std::int64_t start = block->startFrame;
    const std::int64_t end = start + block->numFrames;
    const lsn_t leadout = cdio_get_track_lsn(p, CDIO_CDROM_LEADOUT_TRACK);
    if (start > INT32_MAX || leadout == CDIO_INVALID_LSN || end > leadout ||
        (slot->dataSectors >= 0 && end > slot->dataSectors))
        return Fail(s, E_ASPIERROR);

    for (ReadFault& fault : s.faults) {
        if (fault.times > 0 && fault.sector >= start && fault.sector < end) {
            --fault.times;
            return Fail(s, fault.code);
        }
    }

    if (cdio_read_audio_sectors(p, block->buf, static_cast<lsn_t>(start), block->numFrames) !=
        DRIVER_OP_SUCCESS)
        return Fail(s, E_ASPIERROR);
    block->len = static_cast<std::uint32_t>(bytes);
    s.lastError = SS_OK;
    return 1;
}

int CloseCDHandle(int handle) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    Slot* slot = OpenSlot(s, handle);
    if (!slot)
        return Fail(s, E_INVALIDHANDLE);
    *slot = Slot{};
    s.lastError = SS_OK;
    return 1;
}

int GetAspiLibError() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    return s.lastError;
}

namespace testing {

void FailReads(std::int32_t sector, int times, int errorCode) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (times > 0)
        s.faults.push_back({sector, times, errorCode});
}

void ClearReadFailures() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    s.faults.clear();
    s.readCalls = 0;
}

int ReadCallCount() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    return s.readCalls;
}

void CloseAllHandles() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    for (Slot& slot : s.slots)
        slot = Slot{};
    s.lastError = SS_OK;
}

std::string LastLibraryMessage() {
    std::lock_guard lock(logMutex);
    return lastLogMessage;
}

}  // namespace testing
}  // namespace akrip
