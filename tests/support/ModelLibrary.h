// Loading a model library the way a channel simulator does (dlopen by
// path, dlsym of the IBIS-AMI functions), and reading what the library file
// exports and needs with the binutils tools.
#ifndef TESTS_SUPPORT_MODEL_LIBRARY_H
#define TESTS_SUPPORT_MODEL_LIBRARY_H

#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "AmiFunctions.h"


// The library stays mapped after dlclose (RTLD_NODELETE), as in a simulator
// that keeps its models loaded: the C++ runtime linked into the library
// allocates an exception-handling reserve once and never frees it, which a
// leak checker would report the moment the library is unmapped.
class ModelLibrary {
public:
    explicit ModelLibrary(const std::string& path)
        : m_pHandle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
        if (m_pHandle == nullptr) {
            const char* error = dlerror();
            m_sError = error != nullptr ? error : "dlopen failed";
        }
    }
    ~ModelLibrary() {
        if (m_pHandle != nullptr) dlclose(m_pHandle);
    }
    ModelLibrary(const ModelLibrary&) = delete;
    ModelLibrary& operator=(const ModelLibrary&) = delete;

    bool Loaded() const { return m_pHandle != nullptr; }
    const std::string& Error() const { return m_sError; }

    template <typename Function>
    Function Find(const char* name) const {
        return m_pHandle != nullptr ? reinterpret_cast<Function>(dlsym(m_pHandle, name)) : nullptr;
    }

private:
    void* m_pHandle;
    std::string m_sError;
};

// Everything a command prints on standard output.
inline std::string CommandOutput(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char chunk[4096];
    size_t read;
    while ((read = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, read);
    pclose(pipe);
    return output;
}

// Names of the dynamic symbols the library defines (mangled).
inline std::set<std::string> ExportedSymbols(const std::string& path) {
    std::set<std::string> names;
    std::istringstream lines(CommandOutput("nm -D --defined-only --format=posix '" + path + "' 2>/dev/null"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name;
        if (fields >> name) names.insert(name);
    }
    return names;
}

// The shared libraries the library file asks for at load time.
inline std::set<std::string> NeededLibraries(const std::string& path) {
    std::set<std::string> needed;
    std::istringstream lines(CommandOutput("readelf -d --wide '" + path + "' 2>/dev/null"));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("(NEEDED)") == std::string::npos) continue;
        const size_t open = line.find('[');
        const size_t close = line.find(']', open);
        if (open != std::string::npos && close != std::string::npos) {
            needed.insert(line.substr(open + 1, close - open - 1));
        }
    }
    return needed;
}

// Whatever the library needs beyond the C library, libm and the dynamic
// loader, which every simulator host has; the C++ runtime and libgcc_s in
// particular must be linked in.
inline std::set<std::string> UnexpectedDependencies(const std::string& path) {
    // libpthread.so.0: where the thread functions lived before glibc 2.34,
    // named so that a library built here loads on an older C library.
    static const std::set<std::string> allowed = {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2",
                                                  "libpthread.so.0"};
    std::set<std::string> unexpected;
    for (const std::string& library : NeededLibraries(path)) {
        if (allowed.count(library) == 0) unexpected.insert(library);
    }
    return unexpected;
}

// The sanitizer runtime is a dependency of its own in a sanitizer build.
#if defined(__SANITIZE_ADDRESS__)
#define MODEL_LIBRARY_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MODEL_LIBRARY_SANITIZED 1
#endif
#endif
#ifndef MODEL_LIBRARY_SANITIZED
#define MODEL_LIBRARY_SANITIZED 0
#endif

#endif
