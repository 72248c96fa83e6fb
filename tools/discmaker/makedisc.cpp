// makedisc: writes an audio-CD image (a CUE sheet and its BIN, WAVE, AIFF or
// FLAC file) for trying the program without a drive, or with --windows the
// shape a Windows ripper leaves (DiscMaker.h). Prints the path of the .cue
// it wrote.
//
//   makedisc [--pregap] [--seed N] [--type T] [--windows [--data-track]] OUT_FOLDER BASENAME LEN1
//   [LEN2 ...] makedisc --demo OUT_FOLDER

#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "DiscMaker.h"

namespace {

int Usage() {
    std::fputs("usage: makedisc [--pregap] [--seed N] [--type T] [--windows [--data-track]]\n"
               "                OUT_FOLDER BASENAME LEN1 [LEN2 ...]\n"
               "       makedisc --demo OUT_FOLDER\n"
               "Track lengths are in sectors (75 per second). T is the audio file's type:\n"
               "bin (the default), motorola, wav, aiff or flac.\n"
               "--windows writes one sound file per track (wav unless T says aiff or flac) in\n"
               "OUT_FOLDER/BASENAME, and a sheet naming them as a Windows ripper does: \"\\\"\n"
               "between folders, other letter case, .wav, gaps at the end of the file before.\n"
               "--data-track ends that sheet with an Enhanced CD's data track never ripped.\n",
               stderr);
    return 2;
}

bool ParseType(const std::string& text, discmaker::FileType& type) {
    using discmaker::FileType;
    static const std::pair<const char*, FileType> kTypes[] = {
        {"bin", FileType::Binary}, {"motorola", FileType::Motorola}, {"wav", FileType::Wave},
        {"aiff", FileType::Aiff},  {"flac", FileType::Flac},
    };
    for (const auto& [name, value] : kTypes)
        if (text == name) {
            type = value;
            return true;
        }
    return false;
}

// Whole numbers only: "12abc" or "-3" would otherwise slip through stoul.
bool ParseNumber(const std::string& text, unsigned long long max, unsigned long long& value) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return value <= max;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    discmaker::DiscPlan plan;
    std::string folder;
    std::string name;
    bool windows = false;
    bool dataTrack = false;
    try {
        if (!args.empty() && args[0] == "--demo") {
            if (args.size() != 2)
                return Usage();
            folder = args[1];
            name = "demo";
            // Eight tracks of 22 to 44 seconds: 4 minutes 10 in all.
            for (int seconds : {31, 24, 38, 27, 44, 22, 35, 29})
                plan.trackSectors.push_back(seconds * discmaker::kSectorsPerSecond);
        } else {
            std::size_t i = 0;
            for (; i < args.size() && args[i].starts_with("--"); ++i) {
                unsigned long long seed = 0;
                if (args[i] == "--pregap") {
                    plan.pregap = true;
                } else if (args[i] == "--windows") {
                    windows = true;
                } else if (args[i] == "--data-track") {
                    dataTrack = true;
                } else if (args[i] == "--seed" && i + 1 < args.size() &&
                           ParseNumber(args[i + 1], 0xffffffffULL, seed)) {
                    plan.seed = static_cast<std::uint32_t>(seed);
                    ++i;
                } else if (args[i] == "--type" && i + 1 < args.size() &&
                           ParseType(args[i + 1], plan.type)) {
                    ++i;
                } else {
                    return Usage();
                }
            }
            if (args.size() - i < 3 || (dataTrack && !windows))
                return Usage();
            folder = args[i];
            name = args[i + 1];
            for (std::size_t j = i + 2; j < args.size(); ++j) {
                unsigned long long length = 0;
                if (!ParseNumber(args[j], 0x7fffffffULL, length) || length == 0) {
                    std::fprintf(stderr, "makedisc: \"%s\" is not a track length in sectors\n",
                                 args[j].c_str());
                    return 2;
                }
                plan.trackSectors.push_back(static_cast<std::int32_t>(length));
            }
        }
        if (windows && (plan.type == discmaker::FileType::Binary ||
                        plan.type == discmaker::FileType::Motorola))
            plan.type = discmaker::FileType::Wave;
        std::puts((windows ? discmaker::WriteWindowsRip(folder, name, plan, dataTrack)
                           : discmaker::WriteCueBin(folder, name, plan))
                      .c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "makedisc: %s\n", e.what());
        return 1;
    }
}
