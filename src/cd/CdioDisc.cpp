// Real drives and NRG images through libcdio. The layer calls in
// here under its own mutex, because libcdio's logging is not reentrant
// across threads.

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include "cd/Disc.h"
#include "cd/akrip32.h"

namespace akrip::detail {
namespace {

struct CdioCloser {
    void operator()(CdIo_t* p) const noexcept { cdio_destroy(p); }
};
using CdioPtr = std::unique_ptr<CdIo_t, CdioCloser>;

struct DeviceListFree {
    void operator()(char** list) const noexcept { cdio_free_device_list(list); }
};
using DeviceListPtr = std::unique_ptr<char*, DeviceListFree>;

// The log handler runs inside libcdio calls, which happen under the layer's
// mutex, so it keeps its message behind a mutex of its own.
std::mutex logMutex;
std::string lastLogMessage;

const char* LevelName(cdio_log_level_t level) {
    switch (level) {
    case CDIO_LOG_DEBUG:
        return "debug";
    case CDIO_LOG_INFO:
        return "info";
    case CDIO_LOG_WARN:
        return "warning";
    case CDIO_LOG_ERROR:
        return "error";
    case CDIO_LOG_ASSERT:
        return "assert";
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

std::string Trimmed(const char* text) {
    std::string_view s(text);
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

std::uint8_t ControlBits(CdIo_t* p, track_t track) {
    std::uint8_t control = 0;
    if (cdio_get_track_format(p, track) != TRACK_FORMAT_AUDIO)
        control |= kDataTrack;
    if (cdio_get_track_copy_permit(p, track) == CDIO_TRACK_FLAG_TRUE)
        control |= kCopyPermitted;
    if (cdio_get_track_preemphasis(p, track) == CDIO_TRACK_FLAG_TRUE)
        control |= kPreEmphasis;
    return control;
}

std::string CdText(const cdtext_t* text, cdtext_field_t field, track_t track) {
    const char* value = cdtext_get_const(text, field, track);
    return value ? value : "";
}

class CdioDisc final : public Disc {
  public:
    CdioDisc(CdioPtr cdio, std::uint64_t device, std::uint64_t inode)
        : cdio_(std::move(cdio)), device_(device), inode_(inode) {}

    // libcdio hands CD-Text over as UTF-8.
    DiscText Text() override {
        CdIo_t* p = cdio_.get();
        const cdtext_t* text = cdio_get_cdtext(p);
        const track_t first = cdio_get_first_track_num(p);
        const track_t last = cdio_get_last_track_num(p);
        if (!text || first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK)
            return {};
        DiscText disc{
            CdText(text, CDTEXT_FIELD_TITLE, 0), CdText(text, CDTEXT_FIELD_PERFORMER, 0), {}};
        for (int track = first; track <= last; ++track) {
            const auto t = static_cast<track_t>(track);
            disc.tracks.push_back(
                {CdText(text, CDTEXT_FIELD_TITLE, t), CdText(text, CDTEXT_FIELD_PERFORMER, t)});
        }
        return disc;
    }

    // An image holds its audio itself.
    bool ReadsFile(std::uint64_t device, std::uint64_t inode) override {
        return inode_ != 0 && device == device_ && inode == inode_;
    }

    std::string Driver() const override {
        const char* name = cdio_get_driver_name(cdio_.get());
        return std::string("libcdio's ") + (name ? name : "unknown") + " driver";
    }

    std::optional<DiscTable> Table() override {
        CdIo_t* p = cdio_.get();
        const track_t first = cdio_get_first_track_num(p);
        const track_t last = cdio_get_last_track_num(p);
        if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first == 0 || last < first)
            return std::nullopt;
        DiscTable table;
        for (int track = first; track <= last; ++track) {
            const auto t = static_cast<track_t>(track);
            const lsn_t lsn = cdio_get_track_lsn(p, t);
            if (lsn == CDIO_INVALID_LSN)
                return std::nullopt;
            table.tracks.push_back({track, ControlBits(p, t), lsn});
        }
        const lsn_t leadout = cdio_get_track_lsn(p, CDIO_CDROM_LEADOUT_TRACK);
        if (leadout == CDIO_INVALID_LSN)
            return std::nullopt;
        table.leadout = leadout;
        return table;
    }

    // libcdio cuts a read that runs past the lead-out short and still reports
    // success; the buffer would then hold stale bytes.
    std::int32_t ReadableEnd() override {
        const lsn_t leadout = cdio_get_track_lsn(cdio_.get(), CDIO_CDROM_LEADOUT_TRACK);
        return leadout == CDIO_INVALID_LSN ? -1 : leadout;
    }

    bool Read(std::int32_t start, std::uint32_t count, unsigned char* out) override {
        return cdio_read_audio_sectors(cdio_.get(), out, start, count) == DRIVER_OP_SUCCESS;
    }

  private:
    CdioPtr cdio_;
    std::uint64_t device_;
    std::uint64_t inode_; // 0: a real drive
};

} // namespace

// libcdio's own handler prints to the terminal and even exits the process on
// an error message, so ours must be in place before the first libcdio call.
void InstallCdioLogHandler() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler(LogHandler); });
}

std::vector<std::string> CdioDevices() {
    InstallCdioLogHandler();
    std::vector<std::string> devices;
    DeviceListPtr list(cdio_get_devices(DRIVER_DEVICE));
    for (char** d = list.get(); d && *d; ++d)
        devices.emplace_back(*d);
    return devices;
}

std::string CdioDriveDescription(const std::string& device) {
    InstallCdioLogHandler();
    // A drive we cannot ask still gets a name, so it can be told apart.
    CdioPtr p(cdio_open(device.c_str(), DRIVER_DEVICE));
    cdio_hwinfo_t hw{};
    if (!p || !cdio_get_hwinfo(p.get(), &hw))
        return device;
    std::string text;
    for (const char* part : {hw.psz_vendor, hw.psz_model, hw.psz_revision}) {
        const std::string piece = Trimmed(part);
        if (piece.empty())
            continue;
        if (!text.empty())
            text += ' ';
        text += piece;
    }
    return text.empty() ? device : text;
}

std::unique_ptr<Disc> OpenCdioDisc(const std::string& path, bool image) {
    InstallCdioLogHandler();
    CdioPtr p(cdio_open(path.c_str(), image ? DRIVER_UNKNOWN : DRIVER_DEVICE));
    if (!p)
        return nullptr;
    struct stat info {};
    if (image && ::stat(path.c_str(), &info) != 0)
        info = {};
    return std::make_unique<CdioDisc>(std::move(p), info.st_dev, info.st_ino);
}

std::string LastCdioMessage() {
    std::lock_guard lock(logMutex);
    return lastLogMessage;
}

} // namespace akrip::detail
