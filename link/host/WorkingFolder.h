// The process's working folder moved somewhere for as long as an object
// lives: models write their side files (the receiver's adapt.txt) into the
// working folder, so a run works inside its output folder and every test or
// benchmark that runs a model inside a fresh temporary folder of its own.
#ifndef LINK_WORKING_FOLDER_H
#define LINK_WORKING_FOLDER_H

#include <string>

namespace linksim {

class WorkingFolder {
public:
    WorkingFolder() = default;
    // Back where it was; a temporary folder is removed with its contents.
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    // Works in folder from now on; false with one line in error.
    bool Enter(const std::string& folder, std::string& error);
    // Works in a new empty folder under the system's temporary folder
    // (TMPDIR or /tmp), named from prefix.
    bool EnterTemporary(const std::string& prefix, std::string& error);
    // Back where it was (the temporary folder stays until destruction).
    void Restore();

    bool Entered() const { return m_entered; }
    // The folder worked in, absolute; empty before Enter.
    const std::string& Path() const { return m_path; }

private:
    std::string m_previous;
    std::string m_path;
    bool m_entered = false;
    bool m_temporary = false;
};

}  // namespace linksim

#endif
