// Where a run works: a fresh folder inside the output folder, in which the
// models run and leave their files. Only a run that completes moves its
// files into the output folder, replacing an earlier run's; a run that fails
// leaves the earlier run's results as they were and its own folder removed.
// An interrupted run (SIGINT, SIGTERM, SIGHUP) says so and leaves them as
// they were too; the next run into the folder removes what it abandoned.
#ifndef LINK_APP_RUN_FOLDER_H
#define LINK_APP_RUN_FOLDER_H

#include <filesystem>
#include <string>
#include <vector>

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

    // Moves every file of this run into the output folder over the earlier
    // run's, and removes those of the earlier run's outputs (names: the
    // files a run may leave) this run did not make. An interruption waits
    // for the move to finish.
    bool Commit(const char* const* names, size_t count, std::string& error);

    static constexpr const char* kLockName = ".orvex-link.lock";

private:
    bool MoveIntoPlace(const char* const* names, size_t count, std::string& error);
    void RemoveEarlierOutputs(const char* const* names, size_t count, const std::vector<std::filesystem::path>& made);

    int m_lock = -1;
    std::string m_output;
    std::string m_staging;
};

}  // namespace linksim

#endif
