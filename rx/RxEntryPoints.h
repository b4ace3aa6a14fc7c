// The receiver's IBIS-AMI entry points, written once over the schematic type.
//
// The entry points need of the schematic only its DFModel operations, its
// external ports WaveIn, ClockOut and WaveOut (CircularBuffer<double>), its
// SamplesPerBit and BitTime, the eleven model parameters and the static
// LongestResponseSeconds() (how long its longest filter response lasts), so
// any schematic with that interface drops in: the receiver library
// instantiates them with the receiver schematic, the tests with schematics of
// their own.
#ifndef ORVEX_RX_ENTRY_POINTS_H
#define ORVEX_RX_ENTRY_POINTS_H

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "ClockTimeDelivery.h"
#include "DFErrorHandler.h"
#include "ModelEntrySupport.h"
#include "RxParameters.h"

namespace Orvex {

// The eye monitor keeps one histogram column per sample of a unit interval,
// 256 of them: more samples per bit than that cannot be measured. With one
// sample per bit the clock recovery sees no edge to lock to and delivers
// no clock at all, so at least two are needed.
const int kRxFewestSamplesPerBit = 2;
const int kRxMostSamplesPerBit = 256;

// One receiver instance: what the simulator's memory handle stands for from
// AMI_Init to AMI_Close. Members are destroyed in reverse order: the port
// arrays first, then the clock-time list, the message and the schematic.
template <class Schematic>
struct RxModelInstance {
    Schematic Model;
    Tessel::Entry::ModelMessage Message;
    std::vector<double> ClockTimeList;  // clock times of one AMI_GetWave call
    int32_t SamplesPerBitCount = 0;
    // Clock times that did not fit the simulator's array wait here.
    ClockTimeDelivery Delivery;
    bool DropReported = false;

    // The schematic's phases run: Setup was called, so Finalize is due.
    bool Started = false;
    // Setup and Initialize succeeded, so the schematic holds its connection
    // memory and may be fired.
    bool Running = false;

    Tessel::Entry::ExternalPortItem WaveInItem{Model.WaveIn};
    Tessel::Entry::ExternalPortItem ClockOutItem{Model.ClockOut};
    Tessel::Entry::ExternalPortItem WaveOutItem{Model.WaveOut};
};

// A schematic that can use the samples of a block before it fires on them
// is offered them (see the receiver schematic's OfferUpcoming); others are not.
template <class Schematic>
auto OfferBlockAhead(Schematic& schematic, const double* wave, size_t count, int)
    -> decltype(schematic.OfferUpcoming(wave, count), void()) {
    schematic.OfferUpcoming(wave, count);
}
template <class Schematic>
void OfferBlockAhead(Schematic&, const double*, size_t, long) {}

template <class Schematic>
class RxEntryPoints {
public:
    typedef RxModelInstance<Schematic> Instance;

    // AMI_Init: the receiver leaves the impulse response alone, so the
    // matrix, row_size and aggressors are never looked at, nor is
    // AMI_parameters_out.
    static long Init(double* /*impulse_matrix*/, long /*row_size*/, long /*aggressors*/, double sample_interval,
                     double bit_time, const char* parameters_in, char** /*parameters_out*/, void** memory_handle,
                     char** msg) {
        // Should anything below fail before the instance is stored, the
        // simulator's later AMI_Close receives a null handle, not whatever
        // the handle held before.
        if (memory_handle != nullptr) {
            *memory_handle = nullptr;
        }
        try {
            std::unique_ptr<Instance> instance(new Instance());
            const long result = Start(*instance, sample_interval, bit_time, parameters_in);
            Instance* stored = instance.get();
            if (!Tessel::Entry::StoreInstance(std::move(instance), memory_handle)) {
                return 0;
            }
            stored->Message.HandOut(msg);
            return result;
        } catch (...) {
            return 0;
        }
    }

    // AMI_GetWave: fires the schematic once per sample, in place, and
    // delivers the clock times found, with a -1.0 terminator.
    static long GetWave(double* wave, long wave_size, double* clock_times, char** /*parameters_out*/,
                        void* memory) {
        Instance* instance = Tessel::Entry::LiveInstance<Instance>(memory);
        const bool usable = instance != nullptr && instance->Running && wave_size >= 0 &&
                            (wave != nullptr || wave_size == 0);
        if (!usable) {
            return 0;
        }
        try {
            return ProcessBlock(*instance, wave, wave_size, clock_times);
        } catch (...) {
            return 0;
        }
    }

    // AMI_Close: finalises the schematic and frees the instance, also when
    // Finalize fails. A null handle is accepted; a handle that is not live
    // (closed already, or never handed out) is refused and left alone.
    static long Close(void* memory) {
        if (memory == nullptr) {
            return 1;
        }
        std::unique_ptr<Instance> instance = Tessel::Entry::TakeBackInstance<Instance>(memory);
        if (!instance) {
            return 0;
        }
        try {
            return !instance->Started || instance->Model.Finalize() ? 1 : 0;
        } catch (...) {
            return 0;
        }
    }

private:
    static long Start(Instance& instance, double sampleInterval, double bitTime, const char* parametersIn) {
        const Tessel::Entry::SamplesPerBitCount samplesPerBit =
            Tessel::Entry::CountSamplesPerBit(sampleInterval, bitTime, kRxFewestSamplesPerBit, kRxMostSamplesPerBit);
        if (samplesPerBit.Valid()) {
            instance.SamplesPerBitCount = samplesPerBit.count;
            instance.Model.SamplesPerBit = samplesPerBit.count;
            instance.Model.BitTime = bitTime;
        }
        LoadRxParameters(instance.Model, parametersIn != nullptr ? parametersIn : "",
                         instance.Message.MutableText());
        // Every block divides by or indexes with the samples per bit: with an
        // unusable count the schematic is never started.
        if (!samplesPerBit.Valid()) {
            instance.Message.Append(Tessel::Entry::ModelText(kRxModelName, samplesPerBit.problem));
            return 0;
        }
        const std::string limit = Tessel::Entry::TimingLimitProblem(sampleInterval, bitTime, samplesPerBit.count,
                                                                    Schematic::LongestResponseSeconds());
        if (!limit.empty()) {
            instance.Message.Append(Tessel::Entry::ModelText(kRxModelName, limit));
            return 0;
        }
        instance.Started = true;
        if (!instance.Model.Setup()) {
            instance.Message.Append(Tessel::Entry::PhaseErrorText(kRxModelName, "Setup"));
            return 0;
        }
        if (!instance.Model.Initialize()) {
            instance.Message.Append(Tessel::Entry::PhaseErrorText(kRxModelName, "Initialize"));
            return 0;
        }
        instance.Running = true;
        return 1;
    }

    static long ProcessBlock(Instance& instance, double* wave, long waveSize, double* clockTimes) {
        std::vector<double>& clockTimeList = instance.ClockTimeList;
        clockTimeList.resize(static_cast<size_t>(waveSize) + 1, 0.0);
        size_t count = 0;
        long result = 1;
        // The samples ahead of the one being fired are still the caller's
        // input: each is overwritten only after its own firing. The offer
        // is withdrawn before the array goes back to the caller.
        OfferBlockAhead(instance.Model, wave, static_cast<size_t>(waveSize), 0);
        for (long i = 0; i < waveSize; ++i) {
            instance.Model.WaveIn[0] = wave[i];
            if (!instance.Model.Run()) {
                // The rest of the block keeps its input values.
                instance.Message.Append(Tessel::Entry::PhaseErrorText(kRxModelName, "Run"));
                result = 0;
                break;
            }
            wave[i] = instance.Model.WaveOut[0];
            const double clockTime = instance.Model.ClockOut[0];
            if (clockTime >= 0.0) {  // negative or NaN: no clock edge in this sample
                clockTimeList[count++] = clockTime;
            }
        }
        OfferBlockAhead(instance.Model, nullptr, 0, 0);
        if (clockTimes != nullptr) {
            DeliverClockTimes(instance, count, waveSize, clockTimes);
        }
        return result;
    }

    // The simulator provides room for wave_size / samples per bit + 1
    // entries. Times that do not fit wait for the next call; should more
    // pile up than can wait (a clock faster than the nominal bit time does,
    // over a long enough run, whatever the block size), the oldest are
    // dropped, and the first such drop of an instance is reported on
    // standard error.
    static void DeliverClockTimes(Instance& instance, size_t found, long waveSize, double* clockTimes) {
        const size_t limit =
            static_cast<size_t>(static_cast<int64_t>(
                std::floor(static_cast<double>(waveSize) / instance.SamplesPerBitCount))) + 1;
        const size_t dropped = instance.Delivery.Deliver(instance.ClockTimeList.data(), found, limit, clockTimes);
        if (dropped > 0 && !instance.DropReported) {
            instance.DropReported = true;
            const std::string text = Tessel::Entry::ModelText(
                kRxModelName, "dropped clock times: more than " + std::to_string(ClockTimeDelivery::kMostPending) +
                                  " did not fit the clock_times arrays (wave_size / samples per bit + 1 entries)."
                                  " A clock faster than the nominal bit time finds more times than those arrays"
                                  " hold, whatever the block size; over a long run the surplus outgrows what can"
                                  " wait.");
            Tessel::DFErrorHandler::PostWarning(nullptr, text.c_str());
        }
    }
};

}  // namespace Orvex

#endif
