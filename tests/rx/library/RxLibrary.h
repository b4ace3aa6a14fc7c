// The receiver library as a simulator drives it: loaded by path, an instance
// opened with a parameter string, the waveform handed over in blocks, the
// clock times read up to their terminator, and the instance closed.
#ifndef TESTS_RX_LIBRARY_RX_LIBRARY_H
#define TESTS_RX_LIBRARY_RX_LIBRARY_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "ModelLibrary.h"

const double kBitTime = 1e-10;
const int kSamplesPerBit = 32;
const double kSampleInterval = kBitTime / kSamplesPerBit;
const long kBlockSamples = 1024 * kSamplesPerBit;

inline const ModelLibrary& ReceiverLibrary() {
    static const ModelLibrary library(std::string(TESSEL_KIT_DIR) + "/Orvex_RX_AMI_05272013.so");
    return library;
}

// What one AMI_GetWave call delivered.
struct Delivery {
    size_t firstSample = 0;
    long samples = 0;
    long result = 0;
    std::vector<double> clockTimes;  // before the terminator
    size_t limit = 0;                // wave_size / samples per bit + 1 entries
    bool AtLimit() const { return clockTimes.size() + 1 == limit; }
};

// The outputs of a run: the waveform as it came back, every clock time
// delivered, and what each call delivered.
struct RunOutput {
    std::vector<double> wave;
    std::vector<double> clockTimes;
    std::vector<Delivery> deliveries;
};

class RxInstance {
public:
    explicit RxInstance(const std::string& parameters) {
        const ModelLibrary& library = ReceiverLibrary();
        m_init = library.Find<AmiInitFunction>("AMI_Init");
        m_getWave = library.Find<AmiGetWaveFunction>("AMI_GetWave");
        m_close = library.Find<AmiCloseFunction>("AMI_Close");
        if (m_init == nullptr || m_getWave == nullptr || m_close == nullptr) return;
        std::vector<char> text(parameters.begin(), parameters.end());
        text.push_back('\0');
        char* msg = nullptr;
        m_initResult = m_init(nullptr, 0, 0, kSampleInterval, kBitTime, text.data(), nullptr, &m_handle, &msg);
        if (msg != nullptr) m_message = msg;
    }
    ~RxInstance() {
        if (m_handle != nullptr) m_close(m_handle);
    }
    RxInstance(const RxInstance&) = delete;
    RxInstance& operator=(const RxInstance&) = delete;

    bool Opened() const { return m_handle != nullptr && m_initResult == 1; }
    const std::string& Message() const { return m_message; }

    // One call over wave[first, first + count), in place.
    Delivery GetWave(std::vector<double>& wave, size_t first, long count) {
        Delivery delivery;
        delivery.firstSample = first;
        delivery.samples = count;
        delivery.limit = static_cast<size_t>(count / kSamplesPerBit) + 1;
        std::vector<double> clockTimes(delivery.limit + 1, -7.0);  // one spare to see overruns
        delivery.result = m_getWave(count > 0 ? wave.data() + first : nullptr, count, clockTimes.data(), nullptr,
                                    m_handle);
        EXPECT_EQ(clockTimes[delivery.limit], -7.0) << "written past the limit";
        size_t k = 0;
        while (k < delivery.limit && clockTimes[k] != -1.0) delivery.clockTimes.push_back(clockTimes[k++]);
        EXPECT_LT(k, delivery.limit) << "no terminator within the limit";
        return delivery;
    }

private:
    AmiInitFunction m_init = nullptr;
    AmiGetWaveFunction m_getWave = nullptr;
    AmiCloseFunction m_close = nullptr;
    void* m_handle = nullptr;
    long m_initResult = 0;
    std::string m_message;
};

// A parameter string under the model's root.
inline std::string RxParameters(const std::string& leaves) { return "(Orvex_RX_AMI_05272013 " + leaves + ")"; }

// The whole waveform through one instance, in calls of the given sizes
// (cycled; the last call takes what is left). afterEachCall runs after every
// call, with the sample count done so far.
template <typename AfterEachCall>
RunOutput RunThrough(RxInstance& instance, const std::vector<double>& input, const std::vector<long>& sizes,
                     AfterEachCall afterEachCall) {
    RunOutput run;
    run.wave = input;
    size_t next = 0;
    for (size_t call = 0; next < input.size(); ++call) {
        const long size = std::min<long>(sizes[call % sizes.size()], static_cast<long>(input.size() - next));
        run.deliveries.push_back(instance.GetWave(run.wave, next, size));
        const Delivery& delivery = run.deliveries.back();
        EXPECT_EQ(delivery.result, 1) << "call " << call;
        run.clockTimes.insert(run.clockTimes.end(), delivery.clockTimes.begin(), delivery.clockTimes.end());
        next += static_cast<size_t>(size);
        afterEachCall(next);
    }
    return run;
}

inline RunOutput RunThrough(RxInstance& instance, const std::vector<double>& input, const std::vector<long>& sizes) {
    return RunThrough(instance, input, sizes, [](size_t) {});
}

#endif
