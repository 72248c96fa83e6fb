#pragma once
// What the tests of dorvane-rip share: the program run as a child process,
// and a disc image made for each test with what the independent tools say
// of it.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "VerifyTestSupport.h"

extern char** environ;

namespace riptest {

using testsupport::Command;
using testsupport::ReadAll;
using namespace verifytest;

// dorvane-rip with its standard output into a file and its standard error on
// a pipe, run to its end unless told not to wait.
struct Child {
    explicit Child(std::vector<std::string> args, bool wait = true, const std::string& cwd = {}) {
        int toErr[2];
        if (!outFile || ::pipe2(toErr, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ::fileno(outFile), 1);
        posix_spawn_file_actions_adddup2(&actions, toErr[1], 2);
        posix_spawn_file_actions_addchdir_np(&actions, cwd.empty() ? "." : cwd.c_str());
        args.insert(args.begin(), DORVANE_RIP);
        std::vector<char*> argv(args.size() + 1);
        std::transform(args.begin(), args.end(), argv.begin(), [](auto& a) { return a.data(); });
        if (::posix_spawn(&pid, DORVANE_RIP, &actions, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " DORVANE_RIP);
        posix_spawn_file_actions_destroy(&actions);
        ::close(toErr[1]);
        errPipe = toErr[0];
        if (wait)
            Finish();
    }
    ~Child() {
        if (pid > 0)
            Finish();
        std::fclose(outFile);
    }
    // Reads standard error until it holds text (never, for nullptr) or closes.
    bool ReadUntil(const char* text) {
        char buffer[4096];
        for (ssize_t n; !text || err.find(text) == std::string::npos;
             err.append(buffer, std::size_t(n)))
            if ((n = ::read(errPipe, buffer, sizeof buffer)) <= 0)
                return false;
        return true;
    }
    // The exit status; 1000 + the signal for a child the signal killed.
    int Finish() {
        ReadUntil(nullptr);
        ::close(errPipe), ::waitpid(pid, &status, 0), pid = -1;
        out = ReadAll("/proc/self/fd/" + std::to_string(::fileno(outFile)));
        return status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }

    std::FILE* outFile = std::tmpfile();
    pid_t pid = -1;
    int errPipe = -1, status = 0;
    std::string out, err;
};

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline std::string Line(const std::string& text) {
    return "dorvane-rip: " + text + "\n";
}

inline std::string Hex(std::uint32_t v) {
    return QString::number(v, 16).rightJustified(8, u'0').toStdString();
}

// Long enough that the tag's size and its album frame's need the syncsafe form.
inline const std::string kAlbum =
    "Álbum Uno, edición especial con todas las tomas alternativas, los ensayos de estudio y "
    "las versiones en directo de la gira de 1998";

// disc.cue of these track lengths (sectors), with titles in its sheet; its
// audio (the BIN's bytes), and its ids as libdiscid gives them and
// AccurateRip's own client counts them.
struct Disc {
    testsupport::TempFolder folder;
    std::vector<std::int32_t> lengths, starts{0};
    std::string cue = folder.file("disc.cue"), pcm;
    std::uint32_t id1 = 0, id2 = 0, cddb = 0;
    std::string musicBrainz, arFile; // arFile: the database's path for the disc

    explicit Disc(std::vector<std::int32_t> trackLengths, std::uint32_t seed = 3)
        : lengths(std::move(trackLengths)) {
        std::string sheet = ReadAll(testsupport::MakeImage(folder, "disc", lengths, seed)), list;
        pcm = ReadAll(folder.file("disc.bin"));
        sheet.insert(sheet.find("TRACK 02 AUDIO\n") + 15, "    PERFORMER \"Guest\"\n");
        sheet.insert(sheet.find("TRACK 01 AUDIO\n") + 15,
                     "    TITLE \"Señal / Ruido\"\n    ISRC GBAYE9800012\n");
        WriteFile(cue, "REM GENRE \"Hard Rock\"\nREM DATE 1998\nREM DISCNUMBER 1\n"
                       "REM TOTALDISCS 2\nCATALOG 0724349691121\nTITLE \"" +
                           kAlbum + "\"\nPERFORMER \"Los Ejemplos\"\n" + sheet);
        for (const std::int32_t length : lengths) {
            list += std::to_string(starts.back()) + ",";
            starts.push_back(starts.back() + length);
        }
        std::istringstream(
            Python("import sys, libdiscid\n"
                   "s = [int(x) for x in sys.argv[1].split(',')]\n"
                   "n = len(s) - 1\n"
                   "d = libdiscid.put(1, n, s[n] + 150, [x + 150 for x in s[:n]])\n"
                   "a = '%08x' % sum(s)\n"
                   "b = '%08x' % sum(max(x, 1) * (i + 1) for i, x in enumerate(s))\n"
                   "print(d.id, d.freedb_id, a, b, '%s/%s/%s/dBAR-%03d-%s-%s-%s.bin'\n"
                   "      % (a[7], a[6], a[5], n, a, b, d.freedb_id))\n",
                   {list + std::to_string(starts.back())})) >>
            musicBrainz >> std::hex >> cddb >> id1 >> id2 >> arFile;
    }
    // The track's audio, or its first sectors.
    std::string Track(int number, std::int32_t sectors = -1) const {
        const auto i = std::size_t(number - 1);
        return pcm.substr(std::size_t(starts[i]) * 2352,
                          std::size_t(sectors >= 0 ? sectors : lengths[i]) * 2352);
    }
};

} // namespace riptest
