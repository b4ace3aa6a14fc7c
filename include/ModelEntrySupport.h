// What the IBIS-AMI entry points of both models have in common: the message
// text of a model instance and the rules for handing it to the simulator,
// the one-item arrays behind a schematic's external ports, the samples-per-bit
// count and the limits on the times, and the register of live instances
// through which an instance is stored in the simulator's memory handle and
// recognised when it comes back.
//
// Header only, so that each model library carries its own hidden copy.
#ifndef TESSEL_MODEL_ENTRY_SUPPORT_H
#define TESSEL_MODEL_ENTRY_SUPPORT_H

#include <atomic>
#include <cmath>
#include <iomanip>
#include <list>
#include <locale>
#include <memory>
#include <sstream>
#include <string>
#include <unordered_set>

#include "CircularBuffer.h"
#include "TimeResponseFIR.h"

namespace Tessel {
namespace Entry {

// "The IBIS-AMI model, <model>, <rest>": the opening of every text the entry
// points write about their arguments.
inline std::string ModelText(const char* modelName, const std::string& rest) {
    return std::string("The IBIS-AMI model, ") + modelName + ", " + rest;
}

// "Error occurred in <model>::<phase>(). ": a schematic operation failed.
inline std::string PhaseErrorText(const char* modelName, const char* phase) {
    return std::string("Error occurred in ") + modelName + "::" + phase + "(). ";
}

// A number as the texts show it, independent of the host's locale.
inline std::string NumberText(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::setprecision(12) << value;
    return text.str();
}

// The accumulated message text of one model instance.
//
// The simulator keeps the pointer it receives through msg and may read it at
// any time until it closes the instance, while later calls keep appending to
// the instance's text. So every text handed out is a snapshot in storage of
// its own that never moves or changes until the instance is destroyed.
class ModelMessage {
public:
    void Append(const std::string& text) { m_sText += text; }
    bool Empty() const { return m_sText.empty(); }
    const std::string& Text() const { return m_sText; }
    // For code that composes messages into a plain string (parameter loading).
    std::string& MutableText() { return m_sText; }

    // Stores a pointer to the current text through msg. With no text, or no
    // place to store the pointer, the caller's pointer is left as it was.
    void HandOut(char** msg) {
        if (msg == nullptr || m_sText.empty()) {
            return;
        }
        m_HandedOut.push_back(m_sText);
        *msg = &m_HandedOut.back()[0];
    }

private:
    std::string m_sText;
    std::list<std::string> m_HandedOut;  // list: elements never move
};

// The one-item array behind one external port of a schematic, attached
// with size 1, rate 1 and current position 0. The entry points own it; the
// schematic only views it. Destroying it detaches the port first, so that no
// view is left pointing at freed memory.
class ExternalPortItem {
public:
    explicit ExternalPortItem(CircularBuffer<double>& port) : m_port(port), m_pItem(new double[1]()) {
        m_port.SetBuffer(m_pItem, 1, 1, 0);
    }
    ~ExternalPortItem() {
        m_port.SetBuffer(nullptr, 0, 0, 0);
        delete[] m_pItem;
    }
    ExternalPortItem(const ExternalPortItem&) = delete;
    ExternalPortItem& operator=(const ExternalPortItem&) = delete;

private:
    CircularBuffer<double>& m_port;
    double* m_pItem;
};

// Samples per unit interval, counted the way both models count them:
// bit_time / sample_interval + 0.5, truncated towards zero. The count is only
// formed when it lies in [lowest, highest]; otherwise `problem` holds the
// text that says why (after "The IBIS-AMI model, <model>, ").
struct SamplesPerBitCount {
    int count = 0;
    std::string problem;
    bool Valid() const { return problem.empty(); }
};

inline SamplesPerBitCount CountSamplesPerBit(double sampleInterval, double bitTime, int lowest, int highest) {
    SamplesPerBitCount result;
    const std::string arguments =
        "bit_time = " + NumberText(bitTime) + " s, sample_interval = " + NumberText(sampleInterval) + " s";
    const bool timesUsable = std::isfinite(bitTime) && bitTime > 0.0 && std::isfinite(sampleInterval) &&
                             sampleInterval > 0.0;
    if (!timesUsable) {
        result.problem = "needs a finite, positive bit time and sample interval (" + arguments + "). ";
        return result;
    }
    // Compared before the conversion: converting a double outside the int
    // range is undefined, and a ratio of two finite numbers may be infinite.
    const double rounded = bitTime / sampleInterval + 0.5;
    if (!(rounded >= lowest && rounded < static_cast<double>(highest) + 1.0)) {
        const std::string supported = lowest > 0 ? std::to_string(lowest) + " to " + std::to_string(highest)
                                                 : "at most " + std::to_string(highest);
        result.problem = "cannot run with " + NumberText(std::trunc(rounded)) + " samples per bit (" + arguments +
                         "); it supports " + supported + ". ";
        return result;
    }
    result.count = static_cast<int>(rounded);
    return result;
}

// The longest unit interval either model accepts, in seconds. No serial
// link runs at less than a bit per second, and the response tables last
// nanoseconds; far beyond it, the taps (response times the sample interval)
// and the times the clock recovery computes overflow to inf and NaN.
const double kLongestBitTime = 1.0;

// Why the models' filters cannot be built for this timing ("" when they
// can), after "The IBIS-AMI model, <model>, ": a unit interval beyond
// kLongestBitTime, or a sample rate (samplesPerBit / bitTime) at which the
// longest response table would need more than TimeResponseFIR::kMostTaps
// taps. Checked before anything is built, since building such filters alone
// takes gigabytes and seconds.
inline std::string TimingLimitProblem(double sampleInterval, double bitTime, int samplesPerBit,
                                      double longestResponseSeconds) {
    const std::string arguments =
        "bit_time = " + NumberText(bitTime) + " s, sample_interval = " + NumberText(sampleInterval) + " s";
    if (!(bitTime <= kLongestBitTime)) {
        return "cannot run with a bit time above " + NumberText(kLongestBitTime) + " s (" + arguments + "). ";
    }
    const double taps = TimeResponseFIR::TapCount(samplesPerBit / bitTime, longestResponseSeconds);
    if (!(taps <= TimeResponseFIR::kMostTaps)) {
        const double shortestInterval = longestResponseSeconds / TimeResponseFIR::kMostTaps;
        return "cannot run with " + arguments + ": its filters would need " + NumberText(taps) +
               " taps, and at most " + std::to_string(TimeResponseFIR::kMostTaps) +
               " are supported (sample intervals above " + NumberText(shortestInterval) + " s). ";
    }
    return std::string();
}

// The instances one library has handed out and not yet taken back. A host
// may hand back a pointer twice (a double AMI_Close), after closing it, or
// one that no AMI_Init returned: the entry points look every handle up here
// once per call and refuse what is not live, instead of using freed or
// foreign memory. Safe to use from any number of threads.
class LiveInstances {
public:
    // False (nothing registered) when memory runs out.
    bool Add(const void* instance) {
        Guard guard(m_busy);
        try {
            return m_instances.insert(instance).second;
        } catch (...) {
            return false;
        }
    }
    bool Contains(const void* instance) const {
        Guard guard(m_busy);
        return m_instances.count(instance) != 0;
    }
    // False when the instance was not live.
    bool Remove(const void* instance) {
        Guard guard(m_busy);
        return m_instances.erase(instance) != 0;
    }

private:
    // A spin lock: held only for one set operation, and the Windows
    // toolchain's C++ library has no std::mutex.
    class Guard {
    public:
        explicit Guard(std::atomic_flag& busy) : m_busy(busy) {
            while (m_busy.test_and_set(std::memory_order_acquire)) {
            }
        }
        ~Guard() { m_busy.clear(std::memory_order_release); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        std::atomic_flag& m_busy;
    };

    mutable std::atomic_flag m_busy = ATOMIC_FLAG_INIT;
    std::unordered_set<const void*> m_instances;
};

// The register of one kind of instance. Never destroyed, so that a host
// that closes its instances while the process exits still finds it.
template <class Instance>
LiveInstances& LiveInstancesOf() {
    static LiveInstances* const instances = new LiveInstances();
    return *instances;
}

// Hands an instance to the simulator through its memory handle and
// registers it as live. Without a place to store it (or memory to register
// it) the instance could never be closed, so it is freed and the call
// reports failure.
template <class Instance>
bool StoreInstance(std::unique_ptr<Instance> instance, void** memoryHandle) {
    if (memoryHandle == nullptr || !LiveInstancesOf<Instance>().Add(instance.get())) {
        return false;
    }
    *memoryHandle = instance.release();
    return true;
}

// The live instance behind a handle the simulator passed, or null for a
// null, closed or foreign handle.
template <class Instance>
Instance* LiveInstance(void* memory) {
    return memory != nullptr && LiveInstancesOf<Instance>().Contains(memory) ? static_cast<Instance*>(memory)
                                                                               : nullptr;
}

// Takes an instance back from the simulator for good: the instance, or null
// (and nothing changes) when the handle is not live.
template <class Instance>
std::unique_ptr<Instance> TakeBackInstance(void* memory) {
    if (memory == nullptr || !LiveInstancesOf<Instance>().Remove(memory)) {
        return nullptr;
    }
    return std::unique_ptr<Instance>(static_cast<Instance*>(memory));
}

}  // namespace Entry
}  // namespace Tessel

#endif
