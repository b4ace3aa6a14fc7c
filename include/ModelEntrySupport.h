// What the IBIS-AMI entry points of both models have in common: the message
// text of a model instance and the rules for handing it to the simulator,
// the one-item arrays behind a schematic's external ports, the samples-per-bit
// count, and storing an instance through the simulator's memory handle.
//
// Header only, so that each model library carries its own hidden copy.
#ifndef TESSEL_MODEL_ENTRY_SUPPORT_H
#define TESSEL_MODEL_ENTRY_SUPPORT_H

#include <cmath>
#include <iomanip>
#include <list>
#include <locale>
#include <memory>
#include <sstream>
#include <string>

#include "CircularBuffer.h"

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

// Hands an instance to the simulator through its memory handle. Without a
// place to store it the instance could never be closed, so it is freed and
// the call reports failure.
template <class Instance>
bool StoreInstance(std::unique_ptr<Instance> instance, void** memoryHandle) {
    if (memoryHandle == nullptr) {
        return false;
    }
    *memoryHandle = instance.release();
    return true;
}

}  // namespace Entry
}  // namespace Tessel

#endif
