// Where a run works: a fresh folder inside the output folder, in which the
// models run and leave their files. Only a run that completes moves its
// files into the output folder, replacing an earlier run's; a run that fails
// leaves the earlier run's results as they were and its own folder removed.
#ifndef LINK_APP_RUN_FOLDER_H
#define LINK_APP_RUN_FOLDER_H

#include <string>

namespace linksim {

class RunFolder {
public:
    RunFolder() = default;
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Makes the output folder if needed, takes its lock (another run in it
    // at the same time is refused; where the file system has no locks,
    // warning says so and the run goes on), checks it takes files, and
    // makes the run's own folder inside it. False with one line in error.
    bool Prepare(const std::string& outputFolder, std::string& error, std::string& warning);
    const std::string& Path() const { return m_staging; }

    // Removes the earlier run's outputs (names: the files a run may leave)
    // and moves every file of this run into the output folder.
    bool Commit(const char* const* names, size_t count, std::string& error);

    static constexpr const char* kLockName = ".orvex-link.lock";

private:
    int m_lock = -1;
    std::string m_output;
    std::string m_staging;
};

}  // namespace linksim

#endif
