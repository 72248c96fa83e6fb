// The CD audio library layer: records, handles and range checks over three
// kinds of disc, libcdio's and our own CUE sheet and TOC file readers
// (Disc.h). No table reaches the program unchecked. All state
// sits behind one mutex; every disc call is made while holding it, because
// neither libcdio's logging nor libcue's parser is reentrant.

#include "cd/akrip32.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cd/CueImage.h"
#include "cd/Disc.h"
#include "cd/DiscInfo.h"
#include "cd/ImageDrives.h"
#include "cd/TocImage.h"
#include "cd/akrip32_testing.h"

namespace akrip {
namespace {

using detail::Disc;
using detail::DiscTable;

struct Drive {
    bool image = false;
    std::string path; // device node or image file

    bool operator==(const Drive&) const = default;
};

struct Slot {
    bool open = false;
    Drive drive;
    std::unique_ptr<Disc> disc; // null: the drive has no disc we can read
};

struct ReadFault {
    std::int32_t sector;
    int times;
    int code;
};

// Like the system's own last error, each thread has its own: extraction
// jobs read the disc side by side, and each must see the error of its read.
thread_local int lastError = SS_OK;
// Why the last read on this thread failed, in the system's words or the
// image's; empty after a read that worked.
thread_local std::string lastReadReason;

struct State {
    std::mutex mutex;
    std::array<Slot, kMaxDrives> slots;
    std::vector<ReadFault> faults;
    int readCalls = 0;
    std::vector<std::string> commandLineImages;
};

State& Global() {
    static State state;
    return state;
}

std::string CurrentFolder() {
    std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
    return folder ? folder.get() : "";
}

// Taken while the process starts, before main() runs: start-up makes the
// program's own folder current before it looks at any image.
const std::string startFolder = CurrentFolder();

std::string Resolved(std::string_view path) {
    if (path.front() == '/' || startFolder.empty())
        return std::string(path);
    return startFolder + (startFolder.back() == '/' ? "" : "/") + std::string(path);
}

// Real drives first, then the command line's images, then the variable's;
// read afresh each time, since discs and the variable change while we run.
std::vector<Drive> ListDrives(const State& s) {
    std::vector<Drive> drives;
    for (const std::string& device : detail::CdioDevices())
        if (drives.size() < kMaxDrives)
            drives.push_back({false, device});
    for (const std::string& image : s.commandLineImages)
        if (drives.size() < kMaxDrives && !image.empty())
            drives.push_back({true, Resolved(image)});

    const char* env = std::getenv("DORVANE_DISC_IMAGES");
    std::string_view rest = env ? env : "";
    while (!rest.empty() && drives.size() < kMaxDrives) {
        const auto colon = rest.find(':');
        const std::string_view piece = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!piece.empty())
            drives.push_back({true, Resolved(piece)});
    }
    return drives;
}

bool HasExtension(const std::string& path, std::string_view wanted) {
    if (path.size() < wanted.size())
        return false;
    std::string extension = path.substr(path.size() - wanted.size());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == wanted;
}

bool IsCueSheet(const std::string& path) {
    return HasExtension(path, ".cue");
}
bool IsTocFile(const std::string& path) {
    return HasExtension(path, ".toc");
}

// How messages name what a drive holds.
std::string Named(const Drive& drive) {
    if (!drive.image)
        return "the disc in " + drive.path;
    return (IsCueSheet(drive.path)  ? "the CUE sheet "
            : IsTocFile(drive.path) ? "the TOC file "
                                    : "the disc image ") +
           drive.path;
}

// The disc a drive holds, or null with `problem` said; an image libcdio
// cannot open is explained only when asked. A disc whose table does not
// hold together is refused, whichever driver made it.
std::unique_ptr<Disc> OpenDisc(const Drive& drive, std::string& problem, bool explain = true) {
    std::unique_ptr<Disc> disc;
    if (drive.image && IsCueSheet(drive.path)) {
        disc = detail::OpenCueImage(drive.path, problem);
    } else if (drive.image && IsTocFile(drive.path)) {
        disc = detail::OpenTocImage(drive.path, problem);
    } else {
        disc = detail::OpenCdioDisc(drive.path, drive.image);
        if (!disc && drive.image && explain) {
            problem = detail::LastCdioMessage();
            if (problem.empty())
                problem = "not a disc image that can be read (CUE, TOC or NRG)";
        }
    }
    if (!disc)
        return nullptr;
    const std::optional<DiscTable> table = disc->Table();
    const std::string wrong = table ? detail::TableProblem(*table) : std::string();
    if (!wrong.empty()) {
        problem = "the table " + disc->Driver() + " gives cannot be right: " + wrong;
        return nullptr;
    }
    return disc;
}

// A drive whose disc cannot be used makes a drive without a disc, like any
// drive that cannot be read; the one line on stderr tells the person what to
// mend. A real drive without a disc says nothing.
std::unique_ptr<Disc> OpenDisc(const Drive& drive) {
    std::string problem;
    auto disc = OpenDisc(drive, problem, false);
    if (!disc && !problem.empty())
        std::fprintf(stderr, "Dorvane: cannot use %s: %s\n", Named(drive).c_str(), problem.c_str());
    return disc;
}

Slot* OpenSlot(State& s, int handle) {
    if (handle < 1 || handle > kMaxDrives)
        return nullptr;
    Slot& slot = s.slots[static_cast<std::size_t>(handle - 1)];
    return slot.open ? &slot : nullptr;
}

int Fail(State& /*s*/, int code) {
    lastError = code;
    return 0;
}

void SetEntry(TOCTRACK& entry, std::uint8_t control, std::uint8_t number, std::int32_t lsn) {
    entry.ADR = static_cast<std::uint8_t>(0x10 | control); // ADR 1: position data
    entry.trackNumber = number;
    const auto value = static_cast<std::uint32_t>(lsn);
    entry.addr[0] = static_cast<std::uint8_t>(value >> 24);
    entry.addr[1] = static_cast<std::uint8_t>(value >> 16);
    entry.addr[2] = static_cast<std::uint8_t>(value >> 8);
    entry.addr[3] = static_cast<std::uint8_t>(value);
}

} // namespace

// The program lists drive positions 0 to this result inclusive, so it is the
// highest position, not the count: with the count, the settings window would
// show one empty phantom drive after the real ones, and with no drives at all
// -1 gives an empty list instead of one blank entry.
int GetNumAdapters() {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    const auto count = static_cast<int>(ListDrives(s).size());
    lastError = SS_OK;
    return count - 1;
}

namespace {

// The drive texts of the images among the drives, in drive order: images
// of the same file name are told apart by their folders.
std::vector<std::string> ImageTexts(const std::vector<Drive>& drives) {
    std::vector<std::string> paths;
    for (const Drive& drive : drives)
        if (drive.image)
            paths.push_back(drive.path);
    return ImageDriveTexts(paths);
}

} // namespace

void GetCDList(CDLIST* list) {
    if (!list)
        return;
    State& s = Global();
    std::lock_guard lock(s.mutex);
    const std::vector<Drive> drives = ListDrives(s);
    const std::vector<std::string> imageTexts = ImageTexts(drives);
    std::size_t image = 0;
    std::memset(list, 0, sizeof(CDLIST));
    list->max = kMaxDrives;
    list->num = static_cast<std::uint8_t>(drives.size());
    for (std::size_t i = 0; i < drives.size(); ++i) {
        CDREC& rec = list->cd[i];
        rec.ha = 1; // so an all-zero record never names a drive
        rec.tgt = static_cast<std::uint8_t>(i);
        rec.lun = 0;
        const std::string id =
            drives[i].image ? imageTexts[image++] : detail::CdioDriveDescription(drives[i].path);
        std::memcpy(rec.id, id.data(), std::min(id.size(), sizeof(rec.id) - 1));
    }
    lastError = SS_OK;
}

int GetCDHandle(GETCDHAND* request) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (!request)
        return Fail(s, E_NULLPARAM);
    if (request->size != 12 || request->ver != 1)
        return Fail(s, E_BADVERSION);
    const std::vector<Drive> drives = ListDrives(s);
    if (request->ha != 1 || request->lun != 0 || request->tgt >= drives.size())
        return Fail(s, E_NOTCDROM);
    const Drive& drive = drives[request->tgt];
    if (std::any_of(s.slots.begin(), s.slots.end(),
                    [&](const Slot& slot) { return slot.open && slot.drive == drive; }))
        return Fail(s, E_ALREADYALLOC);
    const auto free =
        std::find_if(s.slots.begin(), s.slots.end(), [](const Slot& slot) { return !slot.open; });
    if (free == s.slots.end())
        return Fail(s, E_NOSLOTS);

    // A drive that cannot be opened still gets its handle, like a drive with
    // no disc in it: ReadTOC is where that shows.
    Slot& slot = *free;
    slot.open = true;
    slot.drive = drive;
    slot.disc = OpenDisc(drive);
    lastError = SS_OK;
    return static_cast<int>(free - s.slots.begin()) + 1;
}

int ModifyCDParms(int handle, int /*param*/, int /*value*/) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    if (!OpenSlot(s, handle))
        return Fail(s, E_INVALIDHANDLE);
    lastError = SS_OK;
    return 1;
}

int ReadTOC(int handle, TOC* toc) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    Slot* slot = OpenSlot(s, handle);
    if (!slot)
        return Fail(s, E_INVALIDHANDLE);
    if (!toc)
        return Fail(s, E_NULLPARAM);
    std::memset(toc, 0, sizeof(TOC));
    const std::optional<DiscTable> table = slot->disc ? slot->disc->Table() : std::nullopt;
    if (!table || !detail::TableProblem(*table).empty())
        return Fail(s, E_ASPIERROR);
    const auto count = static_cast<int>(table->tracks.size());
    for (int i = 0; i < count; ++i) {
        const detail::DiscTrack& track = table->tracks[static_cast<std::size_t>(i)];
        SetEntry(toc->tracks[i], track.control, static_cast<std::uint8_t>(track.number),
                 track.start);
    }
    SetEntry(toc->tracks[count], table->tracks.back().control, 0xAA, table->leadout);
    // The program never reads tocLen; it is stored in the machine's order,
    // little-endian like the header's other numbers.
    toc->tocLen = static_cast<std::uint16_t>((count + 1) * 8 + 2);
    toc->firstTrack = static_cast<std::uint8_t>(table->tracks.front().number);
    toc->lastTrack = static_cast<std::uint8_t>(table->tracks.back().number);
    lastError = SS_OK;
    return 1;
}

int ReadCDAudioLBA(int handle, TRACKBUF* block) {
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
        lastError = SS_OK;
        return 1;
    }
    Disc* disc = slot->disc.get();
    if (!disc)
        return Fail(s, E_ASPIERROR);

    // A read must lie wholly on the disc: a disc would otherwise hand back a
    // short read as success with stale bytes in the buffer. startFrame from
    // 2^31 on counts as a negative sector.
    const std::int64_t start = block->startFrame;
    const std::int64_t end = start + block->numFrames;
    if (start > INT32_MAX || end > disc->ReadableEnd())
        return Fail(s, E_ASPIERROR);

    for (ReadFault& fault : s.faults) {
        if (fault.times > 0 && fault.sector >= start && fault.sector < end) {
            --fault.times;
            lastReadReason = std::strerror(EIO);
            return Fail(s, fault.code);
        }
    }

    errno = 0;
    if (!disc->Read(static_cast<std::int32_t>(start), block->numFrames, block->buf)) {
        // A file cut short fails without a system error.
        lastReadReason = errno != 0 ? std::strerror(errno) : "the image's audio ends early";
        return Fail(s, E_ASPIERROR);
    }
    lastReadReason.clear();
    block->len = static_cast<std::uint32_t>(bytes);
    lastError = SS_OK;
    return 1;
}

int CloseCDHandle(int handle) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    Slot* slot = OpenSlot(s, handle);
    if (!slot)
        return Fail(s, E_INVALIDHANDLE);
    *slot = Slot{};
    lastError = SS_OK;
    return 1;
}

int GetAspiLibError() {
    return lastError;
}

std::string LastReadReason() {
    return lastReadReason;
}

namespace detail {

std::string TableProblem(const DiscTable& table) {
    if (table.tracks.empty() || table.tracks.size() > 99)
        return "it lists " + std::to_string(table.tracks.size()) + " tracks; a disc has 1 to 99";
    auto at = [](std::int64_t sector) {
        char text[48];
        std::snprintf(
            text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(sector / 4500),
            static_cast<long long>(sector / 75 % 60), static_cast<long long>(sector % 75));
        return sector < 0 ? "sector " + std::to_string(sector) : std::string(text);
    };
    for (std::size_t i = 0; i < table.tracks.size(); ++i) {
        const DiscTrack& t = table.tracks[i];
        const std::string name = "track " + std::to_string(t.number);
        if (t.number < 1 || t.number > 99 || (i > 0 && t.number != table.tracks[i - 1].number + 1))
            return name + " is out of number order";
        if (t.start < 0)
            return name + " starts at " + at(t.start) + ", before the disc";
        const bool last = i + 1 == table.tracks.size();
        const std::int64_t next = last ? table.leadout : table.tracks[i + 1].start;
        if (next <= t.start)
            return name + " starts at " + at(t.start) + ", not before " +
                   (last ? "the lead-out at " + at(table.leadout)
                         : "track " + std::to_string(table.tracks[i + 1].number) + " at " +
                               at(next));
    }
    return {};
}

} // namespace detail

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
    lastError = SS_OK;
}

std::string LastLibraryMessage() {
    return detail::LastCdioMessage();
}

} // namespace testing

void SetCommandLineImages(std::vector<std::string> paths) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    s.commandLineImages = std::move(paths);
}

const std::string& StartFolder() {
    return startFolder;
}

DiscText ReadDiscText(int handle) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    const Slot* slot = OpenSlot(s, handle);
    return slot && slot->disc ? slot->disc->Text() : DiscText{};
}

bool IsImageHandle(int handle) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    const Slot* slot = OpenSlot(s, handle);
    return slot && slot->drive.image;
}

bool DiscReadsFile(int handle, std::uint64_t device, std::uint64_t inode) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    const Slot* slot = OpenSlot(s, handle);
    return slot && slot->disc && slot->disc->ReadsFile(device, inode);
}

std::string ImageDriveText(const std::string& path) {
    State& s = Global();
    std::lock_guard lock(s.mutex);
    const std::vector<Drive> drives = ListDrives(s);
    const std::vector<std::string> texts = ImageTexts(drives);
    std::size_t image = 0;
    for (const Drive& drive : drives) {
        if (!drive.image)
            continue;
        if (!path.empty() && drive.path == Resolved(path))
            return texts[image];
        ++image;
    }
    return ImageDriveTexts({path}).front();
}
} // namespace akrip

// ---------------------------------------------------------------------------
// For the command line, which names its sources by path: where a device or an
// image sits in the drive list, and why an image cannot be read.
namespace akrip {
namespace {

std::string Canonical(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

} // namespace

int DrivePositionOf(const std::string& path) {
    if (path.empty())
        return -1;
    State& s = Global();
    std::lock_guard lock(s.mutex);
    const std::string wanted = Canonical(Resolved(path));
    const std::vector<Drive> drives = ListDrives(s);
    for (std::size_t i = 0; i < drives.size(); ++i)
        if (Canonical(drives[i].path) == wanted)
            return static_cast<int>(i);
    return -1;
}

std::string ImageProblem(const std::string& path) {
    if (path.empty())
        return "no file named";
    State& s = Global();
    std::lock_guard lock(s.mutex);
    std::string problem;
    const std::unique_ptr<Disc> disc = OpenDisc({true, Resolved(path)}, problem);
    if (!disc)
        return problem.empty() ? "cannot be read" : problem;
    if (!disc->Table())
        return "no table of contents can be read from it";
    return {};
}

} // namespace akrip
