#include "AmiLibrary.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>

#include "InputFile.h"
#include "ModelWatch.h"

namespace linksim {

namespace {
// dlsym hands out data pointers; the entry points are functions.
template <typename Function>
Function FindSymbol(void* handle, const char* name) {
    void* symbol = dlsym(handle, name);
    Function function = nullptr;
    static_assert(sizeof(function) == sizeof(symbol), "function and data pointers differ in size");
    std::memcpy(&function, &symbol, sizeof(function));
    return function;
}
}  // namespace

AmiLibrary::~AmiLibrary() {
    if (m_handle != nullptr) {
        dlclose(m_handle);
    }
}

bool AmiLibrary::Exists(const std::string& path, std::string& error) {
    std::error_code failure;
    if (!std::filesystem::exists(path, failure)) {
        error = "cannot load the model library " + path + ": there is no such file";
        return false;
    }
    // dlopen would wait forever on a FIFO, and read a device to its end.
    return CheckRegularFile(path, "the model library", kMaxModelLibraryBytes, error);
}

bool AmiLibrary::Load(const std::string& path, bool needsGetWave, std::string& error) {
    m_path = path;
    if (!Exists(path, error)) return false;
    // Local binding: two models in one process must never see each other.
    // The library stays mapped after dlclose, as in a simulator that keeps
    // its models loaded: a C++ runtime linked into a model allocates its
    // exception-handling reserve once and never frees it, which the leak
    // checker would report the moment the library is unmapped.
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (m_handle == nullptr) {
        const char* reason = dlerror();
        error = "cannot load the model library " + path + (reason ? std::string(": ") + reason : std::string());
        return false;
    }
    m_init = FindSymbol<AmiInitFunction>(m_handle, "AMI_Init");
    m_getWave = FindSymbol<AmiGetWaveFunction>(m_handle, "AMI_GetWave");
    m_close = FindSymbol<AmiCloseFunction>(m_handle, "AMI_Close");
    const char* missing = m_init == nullptr    ? "AMI_Init"
                          : m_close == nullptr ? "AMI_Close"
                          : (needsGetWave && m_getWave == nullptr) ? "AMI_GetWave"
                                                                   : nullptr;
    if (missing != nullptr) {
        error = "the model library " + path + " has no entry point " + missing +
                (std::string(missing) == "AMI_GetWave" ? " although its .ami file says GetWave_Exists True" : "");
        return false;
    }
    return true;
}

AmiModelInstance::AmiModelInstance(const AmiLibrary& library, const std::string& name)
    : m_library(library), m_name(name.empty() ? std::filesystem::path(library.Path()).filename().string() : name) {}

bool AmiModelInstance::Initialize(std::vector<double>& impulseMatrix, double sampleInterval, double bitTime,
                                  const std::string& parameters, long aggressors) {
    std::vector<char> text(parameters.begin(), parameters.end());
    text.push_back('\0');
    char* parametersOut = nullptr;
    char* message = nullptr;
    const long rowSize = long(impulseMatrix.size() / size_t(aggressors + 1));
    const ModelCall call(m_name, "AMI_Init");
    const long result = m_library.Init()(impulseMatrix.data(), rowSize, aggressors, sampleInterval, bitTime,
                                         text.data(), &parametersOut, &m_memory, &message);
    // The model owns both texts; keep copies, they may change later. The
    // instance is closed even after a failure: AMI_Init hands it back anyway.
    m_open = true;
    m_message = message ? message : "";
    m_parametersOut = parametersOut ? parametersOut : "";
    return result != 0;
}

bool AmiModelInstance::ProcessWave(double* wave, long count, double* clockTimes) {
    char* parametersOut = nullptr;
    bool ok = false;
    {
        const ModelCall call(m_name, "AMI_GetWave");
        ok = m_library.GetWave()(wave, count, clockTimes, &parametersOut, m_memory) != 0;
    }
    // The model owns the text and may change it on the next call.
    if (parametersOut != nullptr) m_lastGetWaveParametersOut = parametersOut;
    return ok;
}

bool AmiModelInstance::Close() {
    if (!m_open) {
        return true;
    }
    m_open = false;
    // A model that handed back no instance has nothing to close, and not
    // every model guards against a null handle.
    if (m_memory == nullptr) return true;
    const ModelCall call(m_name, "AMI_Close");
    return m_library.Close()(m_memory) != 0;
}

size_t ClockTimesCapacity(long waveSize, int samplesPerBit) {
    const size_t clocks = size_t(waveSize / samplesPerBit);
    return clocks + 2 + clocks / 16;
}

}  // namespace linksim
