#include "LocalRunner.h"

#include <sys/wait.h>

#include <cerrno>
#include <map>

namespace linksweep {

size_t RunLocally(size_t count, size_t jobs, const std::function<CornerSpec(size_t index)>& specOf,
                  const std::function<void(size_t done, size_t total)>& progress, std::string& error) {
    if (jobs == 0) jobs = 1;
    std::map<pid_t, CornerSpec> running;
    size_t done = 0;
    size_t unstarted = 0;
    const auto ended = [&] {
        if (progress) progress(++done, count);
    };
    // Waits for any one corner and records it; false when none is left.
    const auto waitForOne = [&] {
        int status = 0;
        pid_t child;
        while ((child = waitpid(-1, &status, 0)) < 0) {
            if (errno != EINTR) return false;
        }
        const auto corner = running.find(child);
        if (corner == running.end()) return true;  // not one of ours
        FinishCorner(corner->second, status);
        running.erase(corner);
        ended();
        return true;
    };
    for (size_t index = 0; index < count; ++index) {
        while (running.size() >= jobs && waitForOne()) {
        }
        CornerSpec spec = specOf(index);
        pid_t child = 0;
        if (StartCorner(spec, child, error)) {
            running.emplace(child, std::move(spec));
        } else {
            ++unstarted;
            ended();
        }
    }
    while (!running.empty() && waitForOne()) {
    }
    return unstarted;
}

}  // namespace linksweep
