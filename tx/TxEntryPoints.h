// The transmitter's IBIS-AMI entry points, written once over the schematic
// type.
//
// The entry points need of the schematic only its DFModel operations, its
// external ports WaveIn and WaveOut (CircularBuffer<double>), SamplesPerBit,
// BitTime, the four settings DE, VOD, gain and DE_range and the static
// LongestResponseSeconds() (how long its filter response lasts), so any
// schematic with that interface drops in: the transmitter library
// instantiates them with the transmitter schematic, the tests with
// schematics of their own.
#ifndef ORVEX_TX_ENTRY_POINTS_H
#define ORVEX_TX_ENTRY_POINTS_H

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ModelEntrySupport.h"
#include "TxParameters.h"

namespace Orvex {

// One transmitter instance: what the simulator's memory handle stands for
// from AMI_Init to AMI_Close. All the work is done inside AMI_Init; the
// instance only keeps the message and the settings.
template <class Schematic>
struct TxModelInstance {
    Schematic Model;
    Tessel::Entry::ModelMessage Message;
};

template <class Schematic>
class TxEntryPoints {
public:
    typedef TxModelInstance<Schematic> Instance;

    // AMI_Init: shapes every column of the impulse matrix in place with the
    // schematic, each column in a complete Setup, Initialize, Run per
    // sample, Finalize cycle. AMI_parameters_out is never written.
    static long Init(double* impulse_matrix, long row_size, long aggressors, double sample_interval,
                     double bit_time, const char* parameters_in, char** /*parameters_out*/, void** memory_handle,
                     char** msg) {
        // Without a place for the handle the instance could not be kept:
        // refused before the caller's matrix is touched.
        if (memory_handle == nullptr) {
            if (msg != nullptr) {
                *msg = const_cast<char*>(kNoMemoryHandleText);
            }
            return 0;
        }
        // Should anything below fail before the instance is stored, the
        // simulator's later AMI_Close receives a null handle.
        *memory_handle = nullptr;
        try {
            std::unique_ptr<Instance> instance(new Instance());
            const long result =
                ShapeMatrix(*instance, impulse_matrix, row_size, aggressors, sample_interval, bit_time,
                            parameters_in);
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

    // AMI_Close: AMI_Init already finalised the schematic; only frees. A
    // null handle is accepted; a handle that is not live (closed already,
    // or never handed out) is refused and left alone.
    static long Close(void* memory) {
        if (memory == nullptr) {
            return 1;
        }
        return Tessel::Entry::TakeBackInstance<Instance>(memory) ? 1 : 0;
    }

private:
    // Lives as long as the library, so that the simulator may keep it.
    static constexpr const char* kNoMemoryHandleText =
        "The IBIS-AMI model, Orvex_TX_AMI_01142014, received no AMI_memory_handle; the impulse_matrix was "
        "left as it came. ";

    static long ShapeMatrix(Instance& instance, double* matrix, long rowSize, long aggressors,
                            double sampleInterval, double bitTime, const char* parametersIn) {
        // A count that rounds to 0 is let through: the schematic's Setup
        // rejects it with its own message.
        const Tessel::Entry::SamplesPerBitCount samplesPerBit =
            Tessel::Entry::CountSamplesPerBit(sampleInterval, bitTime, 0, INT_MAX);
        if (samplesPerBit.Valid()) {
            instance.Model.SamplesPerBit = samplesPerBit.count;
        }
        LoadTxParameters(instance.Model, parametersIn != nullptr ? parametersIn : "",
                         instance.Message.MutableText());
        if (samplesPerBit.Valid()) {
            instance.Model.BitTime = bitTime;
        }

        std::string problems = MatrixProblems(matrix, rowSize, aggressors);
        if (!samplesPerBit.Valid()) {
            problems += Tessel::Entry::ModelText(kTxModelName, samplesPerBit.problem);
        } else {
            const std::string limit = Tessel::Entry::TimingLimitProblem(
                sampleInterval, bitTime, samplesPerBit.count, Schematic::LongestResponseSeconds());
            if (!limit.empty()) {
                problems += Tessel::Entry::ModelText(kTxModelName, limit);
            }
        }
        if (!problems.empty()) {
            instance.Message.Append(problems);
            return 0;
        }

        Tessel::Entry::ExternalPortItem waveIn(instance.Model.WaveIn);
        Tessel::Entry::ExternalPortItem waveOut(instance.Model.WaveOut);
        const size_t columns = aggressors >= 0 ? static_cast<size_t>(aggressors) + 1 : 0;
        const size_t samples = static_cast<size_t>(rowSize);
        bool ok = true;
        for (size_t column = 0; column < columns && ok; ++column) {
            ok = ShapeColumn(instance, matrix, column * samples, samples);
        }
        return ok ? 1 : 0;
    }

    // The matrix holds (aggressors + 1) columns of row_size samples; what
    // cannot be such a matrix is refused before anything is touched.
    static std::string MatrixProblems(const double* matrix, long rowSize, long aggressors) {
        using Tessel::Entry::ModelText;
        if (rowSize < 0) {
            return ModelText(kTxModelName, "received a negative row_size (" + std::to_string(rowSize) + "). ");
        }
        if (rowSize == 0) {
            return std::string();
        }
        if (matrix == nullptr) {
            return ModelText(kTxModelName,
                             "received no impulse_matrix for row_size " + std::to_string(rowSize) + ". ");
        }
        if (aggressors >= 0) {
            const uintmax_t columns = static_cast<uintmax_t>(aggressors) + 1;
            const uintmax_t mostSamples = static_cast<uintmax_t>(PTRDIFF_MAX) / sizeof(double);
            if (columns > mostSamples / static_cast<uintmax_t>(rowSize)) {
                return ModelText(kTxModelName, "cannot address an impulse_matrix of " +
                                                   std::to_string(columns) + " columns of " +
                                                   std::to_string(rowSize) + " samples. ");
            }
        }
        return std::string();
    }

    // One column through the schematic. Finalize is called also after a
    // failure; a failed firing leaves that sample and the rest of the column
    // as they came.
    static bool ShapeColumn(Instance& instance, double* matrix, size_t start, size_t samples) {
        Schematic& model = instance.Model;
        bool ok = true;
        if (!model.Setup()) {
            instance.Message.Append(Tessel::Entry::PhaseErrorText(kTxModelName, "Setup"));
            ok = false;
        } else if (!model.Initialize()) {
            instance.Message.Append(Tessel::Entry::PhaseErrorText(kTxModelName, "Initialize"));
            ok = false;
        } else {
            for (size_t i = 0; i < samples; ++i) {
                double& sample = matrix[start + i];
                model.WaveIn[0] = sample;
                if (!model.Run()) {
                    instance.Message.Append(Tessel::Entry::PhaseErrorText(kTxModelName, "Run"));
                    ok = false;
                    break;
                }
                sample = model.WaveOut[0];
            }
        }
        if (!model.Finalize()) {
            instance.Message.Append(Tessel::Entry::PhaseErrorText(kTxModelName, "Finalize"));
            ok = false;
        }
        return ok;
    }
};

}  // namespace Orvex

#endif
