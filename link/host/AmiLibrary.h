// An IBIS-AMI model library loaded by path, and one model instance of it,
// called the way a channel simulator calls them.
#ifndef LINK_AMI_LIBRARY_H
#define LINK_AMI_LIBRARY_H

#include <string>
#include <vector>

#include "AmiFunctions.h"

namespace linksim {

class AmiLibrary {
public:
    AmiLibrary() = default;
    ~AmiLibrary();
    AmiLibrary(const AmiLibrary&) = delete;
    AmiLibrary& operator=(const AmiLibrary&) = delete;

    // Opens the library and finds its entry points; AMI_Init and AMI_Close
    // are required, AMI_GetWave only when needsGetWave. A file that is not
    // there is reported as such.
    bool Load(const std::string& path, bool needsGetWave, std::string& error);

    // False, with "cannot load the model library PATH: there is no such
    // file" in error, when nothing is at path.
    static bool Exists(const std::string& path, std::string& error);

    AmiInitFunction Init() const { return m_init; }
    AmiGetWaveFunction GetWave() const { return m_getWave; }
    AmiCloseFunction Close() const { return m_close; }
    const std::string& Path() const { return m_path; }

private:
    void* m_handle = nullptr;
    std::string m_path;
    AmiInitFunction m_init = nullptr;
    AmiGetWaveFunction m_getWave = nullptr;
    AmiCloseFunction m_close = nullptr;
};

// One instance of a model, from AMI_Init to AMI_Close. Every call runs
// inside a ModelCall, so a crash or a hang names the model and the entry
// point where orvex-link keeps watch.
class AmiModelInstance {
public:
    // name: how reports call the model (its .ami root name); the library's
    // file name when empty.
    explicit AmiModelInstance(const AmiLibrary& library, const std::string& name = "");
    ~AmiModelInstance() { Close(); }
    AmiModelInstance(const AmiModelInstance&) = delete;
    AmiModelInstance& operator=(const AmiModelInstance&) = delete;

    // Calls AMI_Init on the impulse matrix, processed in place: the through
    // response and one column per aggressor after it, of equal length, one
    // column after the other. message receives the model's msg text (also on
    // failure) and parametersOut its AMI_parameters_out, copied at once.
    bool Initialize(std::vector<double>& impulseMatrix, double sampleInterval, double bitTime,
                    const std::string& parameters, long aggressors = 0);
    // One AMI_GetWave call; clockTimes must have the room simulators give.
    bool ProcessWave(double* wave, long count, double* clockTimes);
    // AMI_Close, once; false if the model reported a failure.
    bool Close();

    const std::string& Message() const { return m_message; }
    const std::string& ParametersOut() const { return m_parametersOut; }
    const std::string& LastGetWaveParametersOut() const { return m_lastGetWaveParametersOut; }

private:
    const AmiLibrary& m_library;
    std::string m_name;
    void* m_memory = nullptr;
    bool m_open = false;
    std::string m_message;
    std::string m_parametersOut;
    std::string m_lastGetWaveParametersOut;
};

// Room for the clock times of one AMI_GetWave call of waveSize samples:
// IBIS asks for more than the clocks expected, and a receiver tracking data
// faster than the nominal rate, or an edge on a block boundary, finds one
// more than waveSize / samplesPerBit. So: that count, one more, the
// terminator, and a sixteenth on top.
size_t ClockTimesCapacity(long waveSize, int samplesPerBit);
size_t ClockTimesCapacity(long waveSize, int samplesPerBit);

}  // namespace linksim

#endif
