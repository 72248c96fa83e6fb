#include "cd/modAKRip32.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "cd/ImageDrives.h"

namespace modAKRip32 {

OpenDrive& Drive() {
    static OpenDrive drive;
    return drive;
}

std::optional<akrip::CDREC> GetCDEntry(int position) {
    akrip::CDLIST list{};
    akrip::GetCDList(&list);
    if (position < 0 || position >= akrip::kMaxDrives)
        return std::nullopt;
    return list.cd[position];
}

QString BytesToText(const char* bytes, int length) {
    QByteArray kept;
    for (int i = 0; i < length; ++i)
        if (bytes[i] != 0)
            kept.append(bytes[i]);
    // Our system code page is UTF-8, which is what image file names use.
    return QString::fromUtf8(kept);
}

QStringList DriveListTexts() {
    QStringList texts;
    const int last = akrip::GetNumAdapters();
    for (int p = 0; p <= last && p < akrip::kMaxDrives; ++p) {
        const auto entry = GetCDEntry(p);
        texts << (entry ? BytesToText(entry->id, sizeof entry->id) : QString());
    }
    return texts;
}

QString UseCommandLineImages(const std::vector<std::string>& paths) {
    akrip::SetCommandLineImages(paths);
    if (paths.empty())
        return {};
    // The text the drive list shows for it, cut to the record's 64 bytes.
    const std::string text = akrip::ImageDriveText(paths.front());
    return BytesToText(text.data(), static_cast<int>(std::min<std::size_t>(
                                        text.size(), sizeof akrip::CDREC::id - 1)));
}

bool OpenCD(int position) {
    const auto entry = GetCDEntry(position);
    if (!entry)
        return false;
    akrip::GETCDHAND request{};
    request.size = 12;
    request.ver = 1;
    request.ha = entry->ha;
    request.tgt = entry->tgt;
    request.lun = entry->lun;
    request.readType = 0;
    OpenDrive& drive = Drive();
    drive.CDHandle = akrip::GetCDHandle(&request) & 0xFF;
    if (drive.CDHandle == 0)
        return false;
    akrip::ModifyCDParms(drive.CDHandle, 36, 0);
    // A shorter disc read after a longer one must not keep the longer
    // disc's entries: the track count stops at the first zero entry.
    drive.DiscTOC = akrip::TOC{};
    return akrip::ReadTOC(drive.CDHandle, &drive.DiscTOC) == 1;
}

void CloseCD() {
    akrip::CloseCDHandle(Drive().CDHandle);
}

QString CDErrorText() {
    return CDErrorText(akrip::GetAspiLibError());
}

QString CDErrorText(int code) {
    static const std::array<const char*, 16> kTexts = {
        "No error...",
        "Unable to load WNASPI32.DLL (95/98/NT/2000) or use SCSI passthrough (NT/2000)",
        "Could not load ASPI function GetASPI32SupportInfo. Only occurs when an ASPI manager "
        "(WNASPI32.DLL) is found, but cannot be correctly loaded by the system. Most often "
        "indicates that ASPI is improperly installed.",
        "Could not load ASPI function SendASPI32Command. Only occurs when an ASPI manager "
        "(WNASPI32.DLL) is found, but cannot be correctly loaded by the system. Most often "
        "indicates that ASPI is improperly installed.",
        "An error was returned by the ASPI manager. Use GetAspiLibAspiError to retrieve the "
        "actual ASPI error.",
        "Unused in the current implementation",
        "The buffer passed to ReadCDAudioLBA or ReadCDAudioLBAEx is too small for the "
        "requested number of frames.",
        "The handle to the CD-ROM unit is invalid.",
        "All available slots for CD-ROM handles have been allocated.",
        "Results from passing a bad buf parameter to GetCDId (ie. a NULL pointer)",
        "The ha:tgt:lun values passed to GetCDHandle do not refer to a CD-ROM device.",
        "Unable to obtain an exclusive lock on a CD handle.",
        "Occurs when attempting to call GetCDHandle for a ha:tgt:lun value that has already "
        "been allocated.",
        "Invalid value for the LPGETCDHAND parameter to GetCDHandle",
        "Invalid version or size specified in LPGETCDHAND parameter to GetCDHandle",
        "An automatic jitter adjust failed during a call to ReadCDAudioLBAEx",
    };
    if (code > 0 || code < -15)
        return {};
    return QString::fromLatin1(kTexts[static_cast<std::size_t>(-code)]);
}

std::optional<std::int32_t> TocAddressToLba(const std::uint8_t addr[4]) {
    if (addr[0] >= 128)
        return std::nullopt;
    return static_cast<std::int32_t>((std::uint32_t{addr[0]} << 24) |
                                     (std::uint32_t{addr[1]} << 16) |
                                     (std::uint32_t{addr[2]} << 8) | std::uint32_t{addr[3]});
}

int TrackCount(const akrip::TOC& toc) {
    int i = 1;
    for (; i < 100; ++i) {
        const auto lba = TocAddressToLba(toc.tracks[i].addr);
        if (!lba || *lba == 0)
            break;
    }
    return i - 1;
}

std::int32_t TrackStart(const akrip::TOC& toc, int track) {
    if (track < 1 || track > 100)
        return 0;
    return TocAddressToLba(toc.tracks[track - 1].addr).value_or(0);
}

namespace {

// An image's drive text holds as many of its folders as tell it apart from
// the other images listed ("IMAGE b/album.cue"), so the text saved may hold
// more or fewer of them than the same image shows now.
bool SameImage(const QString& shown, const QString& saved) {
    const QString prefix = QStringLiteral("IMAGE ");
    if (!shown.startsWith(prefix) || !saved.startsWith(prefix))
        return false;
    const QString a = shown.mid(prefix.size());
    const QString b = saved.mid(prefix.size());
    const QString& shorter = a.size() <= b.size() ? a : b;
    const QString& longer = a.size() <= b.size() ? b : a;
    return !shorter.isEmpty() && longer.endsWith(shorter) &&
           (longer.size() == shorter.size() ||
            longer.at(longer.size() - shorter.size() - 1) == u'/');
}

} // namespace

int DriveIndexFor(const QStringList& driveList, const QString& savedDrive) {
    const auto exact = static_cast<int>(driveList.indexOf(savedDrive));
    if (exact >= 0)
        return exact;
    int found = -1;
    for (int i = 0; i < driveList.size(); ++i) {
        if (!SameImage(driveList[i], savedDrive))
            continue;
        if (found >= 0)
            return -1; // which one was meant cannot be told
        found = i;
    }
    return found;
}

} // namespace modAKRip32
