#include "LocalRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace linksweep {

namespace {

bool Start(const std::string& line, pid_t& child, std::string& error) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::string shell = "/bin/sh";
    std::string flag = "-c";
    std::string command = line;
    char* arguments[] = {&shell[0], &flag[0], &command[0], nullptr};
    const int failure = posix_spawn(&child, shell.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failure != 0) {
        error = "cannot start /bin/sh: " + std::string(std::strerror(failure));
        return false;
    }
    return true;
}

// Waits for any one child; false when none is left.
bool WaitForOne() {
    int status = 0;
    for (;;) {
        if (waitpid(-1, &status, 0) >= 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace

size_t RunLocally(const std::vector<std::string>& lines, size_t jobs,
                  const std::function<void(size_t done, size_t total)>& progress, std::string& error) {
    if (jobs == 0) jobs = 1;
    size_t running = 0;
    size_t done = 0;
    size_t unstarted = 0;
    for (const std::string& line : lines) {
        if (running == jobs) {
            if (WaitForOne()) --running;
            if (progress) progress(++done, lines.size());
        }
        pid_t child = 0;
        if (Start(line, child, error)) {
            ++running;
        } else {
            ++unstarted;
            if (progress) progress(++done, lines.size());
        }
    }
    while (running > 0 && WaitForOne()) {
        --running;
        if (progress) progress(++done, lines.size());
    }
    return unstarted;
}

}  // namespace linksweep
