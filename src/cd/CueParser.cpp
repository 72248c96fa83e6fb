#include "cd/CueParser.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <utility>

#include "cd/ImageFiles.h"
#include "general/modFiles.h"

namespace akrip::detail {
namespace {

void PutNumber(std::string& out, std::int64_t value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void PutText(std::string& out, const std::string& text) {
    PutNumber(out, static_cast<std::int64_t>(text.size()));
    out += text;
}

class WireReader {
  public:
    explicit WireReader(std::string_view data) : data_(data) {}
    bool Number(std::int64_t& value) {
        if (data_.size() < sizeof value)
            return false;
        std::memcpy(&value, data_.data(), sizeof value);
        data_.remove_prefix(sizeof value);
        return true;
    }
    bool Text(std::string& text) {
        std::int64_t size = 0;
        if (!Number(size) || size < 0 || static_cast<std::uint64_t>(size) > data_.size())
            return false;
        text.assign(data_.substr(0, static_cast<std::size_t>(size)));
        data_.remove_prefix(static_cast<std::size_t>(size));
        return true;
    }

  private:
    std::string_view data_;
};

// Runs in the child: parses, then sends what it printed and what it found.
[[noreturn]] void ParseInChild(const std::string& text, int out) {
    const int messages = ::memfd_create("libcue-messages", 0);
    if (messages >= 0)
        ::dup2(messages, STDERR_FILENO);
    Cd* cd = cue_parse_string(text.c_str());
    std::string printed;
    if (messages >= 0 && ::lseek(messages, 0, SEEK_SET) == 0)
        ReadAll(messages, printed, kMaxSheetBytes);
    std::string wire;
    PutText(wire, printed);
    PutNumber(wire, cd ? 1 : 0);
    const int count = cd ? cd_get_ntrack(cd) : 0;
    PutNumber(wire, count);
    for (int i = 1; i <= count; ++i) {
        const Track* track = cd_get_track(cd, i);
        const char* file = track_get_filename(track);
        PutText(wire, file ? file : "");
        PutNumber(wire, track_get_index(track, 0));
        PutNumber(wire, track_get_index(track, 1));
        PutNumber(wire, track_get_zero_post(track));
        PutNumber(wire, track_get_mode(track));
        PutNumber(wire, track_is_set_flag(track, FLAG_ANY));
    }
    ::_exit(modFiles::WriteAll(out, wire.data(), wire.size()) ? 0 : 1);
}

} // namespace

// libcue keeps its parser state in globals that a broken sheet leaves behind
// (the scanner's mode, the line count, an end-of-input toggle), so the next
// sheet parsed in the same process can come out wrong; and it prints its
// complaints to stderr. So every sheet is parsed in a child process of its
// own, which starts from libcue's pristine state and hands back, through a
// pipe, what it printed and what it found. The child only parses and
// writes, then leaves without running any exit handlers; glibc keeps malloc
// usable after fork.
bool ParseWithLibcue(const std::string& text, CueParse& result, std::string& problem) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        problem = "cannot start reading it: " + SystemReason();
        return false;
    }
    Fd readEnd(ends[0]);
    Fd writeEnd(ends[1]);
    const pid_t child = ::fork();
    if (child < 0) {
        problem = "cannot start reading it: " + SystemReason();
        return false;
    }
    if (child == 0)
        ParseInChild(text, writeEnd.get());
    writeEnd.Close(); // so the read below ends when the child does
    std::string wire;
    const bool received = ReadAll(readEnd.get(), wire, 64 * kMaxSheetBytes);
    readEnd.Close(); // a child still writing then ends rather than waits
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        problem = "libcue failed while reading it";
        return false;
    }
    WireReader in(wire);
    std::string printed;
    std::int64_t parsed = 0;
    std::int64_t count = 0;
    bool ok = in.Text(printed) && in.Number(parsed) && in.Number(count) && count >= 0;
    for (std::int64_t i = 0; ok && i < count; ++i) {
        CueTrack t;
        std::int64_t mode = 0;
        std::int64_t flags = 0;
        ok = in.Text(t.file) && in.Number(t.index0) && in.Number(t.index1) &&
             in.Number(t.postgap) && in.Number(mode) && in.Number(flags);
        t.postgap = std::max<std::int64_t>(t.postgap, 0);
        t.mode = static_cast<int>(mode);
        t.flags = static_cast<int>(flags);
        result.tracks.push_back(std::move(t));
    }
    if (!ok) {
        problem = "libcue failed while reading it";
        return false;
    }
    result.parsed = parsed != 0;
    // The first complaint that names a line says most; "bad character"
    // names none.
    std::string_view rest = printed;
    while (!rest.empty() && result.complaint.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        if (!line.empty() && line.front() >= '0' && line.front() <= '9')
            result.complaint = line;
    }
    if (result.complaint.empty())
        result.complaint = printed.substr(0, printed.find('\n'));
    return true;
}

// libcue prints "7: syntax error" for line 4: its scanner counts every line
// end twice. It notices a line that ends too soon only at the next one, so
// the line it names is "near" the fault.
std::string Complaint(const std::string& printed) {
    long reported = 0;
    const auto [end, ec] =
        std::from_chars(printed.data(), printed.data() + printed.size(), reported);
    if (ec != std::errc() || !std::string_view(end).starts_with(": "))
        return printed;
    return "near line " + std::to_string((reported + 1) / 2) + end;
}

} // namespace akrip::detail
