// A fresh temporary folder made the working folder for as long as the object
// lives: the receiver appends its adaptation log, "adapt.txt", to the working
// folder, so every test that runs an adaptation gets a folder of its own.
#ifndef TESTS_SUPPORT_SCRATCH_FOLDER_H
#define TESTS_SUPPORT_SCRATCH_FOLDER_H

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "WorkingFolder.h"

class ScratchFolder {
public:
    ScratchFolder() { m_folder.EnterTemporary("rx-test", m_error); }

    bool Ready() const { return m_folder.Entered(); }
    const std::string& Path() const { return m_folder.Path(); }

    // The lines of a file in this folder; none if it does not exist.
    std::vector<std::string> Lines(const std::string& file) const {
        std::vector<std::string> lines;
        std::ifstream in(Path() + "/" + file);
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }

    std::string Text(const std::string& file) const {
        std::ifstream in(Path() + "/" + file);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    linksim::WorkingFolder m_folder;
    std::string m_error;
};

#endif
