// What the Windows test programs read from a loaded DLL's own headers (the
// DLLs it imports, the names it exports), and their check counting: each
// program prints one line per failed check and "N passed, N failed".
#ifndef TESTS_WINDOWS_WINDOWS_MODULE_H
#define TESTS_WINDOWS_WINDOWS_MODULE_H

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <set>
#include <string>

namespace WindowsModule {

inline const unsigned char* Base(HMODULE module) { return reinterpret_cast<const unsigned char*>(module); }

inline const IMAGE_DATA_DIRECTORY& Directory(HMODULE module, int entry) {
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base(module));
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(Base(module) + dos->e_lfanew);
    return nt->OptionalHeader.DataDirectory[entry];
}

// The DLLs named in the import table, in lower case.
inline std::set<std::string> ImportedDlls(HMODULE module) {
    std::set<std::string> names;
    const IMAGE_DATA_DIRECTORY& directory = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (directory.VirtualAddress == 0) return names;
    for (const IMAGE_IMPORT_DESCRIPTOR* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(Base(module) + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
        std::string name = reinterpret_cast<const char*>(Base(module) + entry->Name);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        names.insert(name);
    }
    return names;
}

// The names in the export table.
inline std::set<std::string> ExportedNames(HMODULE module) {
    std::set<std::string> names;
    const IMAGE_DATA_DIRECTORY& directory = Directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (directory.VirtualAddress == 0) return names;
    const IMAGE_EXPORT_DIRECTORY* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(Base(module) + directory.VirtualAddress);
    const DWORD* nameOffsets = reinterpret_cast<const DWORD*>(Base(module) + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        names.insert(reinterpret_cast<const char*>(Base(module) + nameOffsets[i]));
    }
    return names;
}

// Only the system's own DLLs: the C++ runtime and libgcc are linked in.
inline bool SystemDll(const std::string& lowerCaseName) {
    return lowerCaseName == "kernel32.dll" || lowerCaseName == "msvcrt.dll" ||
           lowerCaseName.rfind("api-ms-win-", 0) == 0;
}

class Checks {
public:
    void Check(bool condition, const std::string& what) {
        if (condition) {
            ++m_passed;
        } else {
            ++m_failed;
            std::printf("FAILED: %s\n", what.c_str());
        }
    }
    // Prints the closing line; the program's exit status.
    int Summary() const {
        std::printf("%d passed, %d failed\n", m_passed, m_failed);
        return m_failed == 0 ? 0 : 1;
    }

private:
    int m_passed = 0;
    int m_failed = 0;
};

}  // namespace WindowsModule

#endif
