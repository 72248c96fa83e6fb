#pragma once
// What the tests of dorvane-rip share: the program run as a child process,
// shell commands' output, and files read whole.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"

extern char** environ;

namespace riptest {

using testsupport::ReadAll;

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
        if (!cwd.empty())
            posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        args.insert(args.begin(), DORVANE_RIP);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
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
        std::rewind(outFile);
        for (char c; std::fread(&c, 1, 1, outFile) == 1;)
            out += c;
        return status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }

    std::FILE* outFile = std::tmpfile();
    pid_t pid = -1;
    int errPipe = -1, status = 0;
    std::string out, err;
};

using testsupport::Command;

inline std::string Line(const std::string& text) {
    return "dorvane-rip: " + text + "\n";
}

} // namespace riptest
