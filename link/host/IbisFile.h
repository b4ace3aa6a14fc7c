// An IBIS file read the way a channel simulator reads it for an IBIS-AMI
// link: the component's package, its pins, and per buffer [Model] its type,
// pad capacitance (C_comp), supply, I-V tables and the [Algorithmic Model]
// executables with their .ami files. Only the typical column is kept.
#ifndef LINK_HOST_IBIS_FILE_H
#define LINK_HOST_IBIS_FILE_H

#include <istream>
#include <string>
#include <vector>

namespace linksim {

struct IvTable {
    std::vector<double> volts;
    std::vector<double> amps;  // into the buffer
    bool Empty() const { return volts.size() < 2; }
};

// Which side of a buffer an executable models: an I/O buffer may name one
// for its receiver (Executable_Rx) and one for its driver (Executable_Tx).
enum class ExecutableSide { Both, Tx, Rx };

struct IbisExecutable {
    std::string platform;  // <operating system>_<compiler>_<bits>
    std::string library;   // absolute: the .ibs file's folder is the kit's
    std::string ami;
    // The file names the library or .ami outside its own folder (an
    // absolute path, or one that climbs out with ..).
    bool outside = false;
    ExecutableSide side = ExecutableSide::Both;
};

struct IbisModel {
    std::string name;
    std::string type;  // Model_type as written
    double cCompFarads = 0.0;
    double supplyVolts = 0.0;  // [Voltage Range]; 0 when absent
    IvTable pulldown, pullup, gndClamp, powerClamp;
    std::vector<IbisExecutable> executables;

    bool Drives() const;    // an output of some kind
    bool Receives() const;  // an input (I/O buffers do both)
};

struct IbisPin {
    std::string pin;
    std::string signal;
    std::string model;
};

// A [Model Selector]: the models a pin's model name may stand for, the
// default first.
struct IbisModelSelector {
    std::string name;
    std::vector<std::string> models;
};

struct IbisFile {
    std::string path;
    std::string component;
    double packageOhms = 0.0;  // per pin, typical
    double packageHenries = 0.0;
    double packageFarads = 0.0;
    std::vector<IbisPin> pins;
    std::vector<IbisModel> models;
    std::vector<IbisModelSelector> selectors;

    const IbisModel* FindModel(const std::string& name) const;
    const IbisModelSelector* FindSelector(const std::string& name) const;
};

// False with one line in error naming the line that could not be read.
bool ReadIbisFile(const std::string& path, IbisFile& file, std::string& error);
// The same from a stream, as the file at path would be read.
bool ReadIbisStream(std::istream& in, const std::string& path, IbisFile& file, std::string& error);

// A number with an IBIS scale letter (T G M k m u n p f) and any unit after
// it: "0.80pF", "-10.00mA", "1.00nH", "50". False for "NA" and non-numbers.
bool ParseScaledNumber(const std::string& text, double& value);

// The buffer's impedance per leg as its I-V tables give it around
// mid-supply: a driver's pull-down and pull-up averaged, with the clamps in
// parallel; an input's clamps alone. Infinity where the tables conduct
// nothing there (an unterminated input).
double BufferImpedance(const IbisModel& model);

// The model's executable for the platform this program runs on (operating
// system and bits must match) and for that side of the buffer (Both: any
// side), or null.
const IbisExecutable* ExecutableForThisPlatform(const IbisModel& model, ExecutableSide side = ExecutableSide::Both);

// How one end's model is chosen: by its pin (or signal) name, and by model
// name among the models of the pin's [Model Selector] (empty: its first);
// without a pin, the model so named, else the one model of the end's kind
// with an [Algorithmic Model].
struct IbisEndChoice {
    std::string pin;
    std::string modelName;
};

// The transmitter's (driving) or receiver's model: the one of the pin named
// (by pin or signal name, exactly, else case-insensitively when that finds
// one pin) when pin is not empty, which must be able to drive or receive,
// else the one model of that kind with an [Algorithmic Model]. False with
// one line in error, which lists the file's pins and their models.
bool ChooseModel(const IbisFile& file, bool transmitter, const IbisEndChoice& end, const IbisModel*& model,
                 std::string& error);
inline bool ChooseModel(const IbisFile& file, bool transmitter, const std::string& pin, const IbisModel*& model,
                        std::string& error) {
    return ChooseModel(file, transmitter, IbisEndChoice{pin, ""}, model, error);
}

// The IBIS files of a run as read once (the same file at both ends, or
// one per end), and the two models their pins chose.
struct IbisChoice {
    bool chosen = false;
    IbisFile file;    // the transmitter's
    IbisFile rxFile;  // the receiver's
    IbisModel tx;
    IbisModel rx;
    std::string txPin;  // the pins as the files name them; empty: by Model_type
    std::string rxPin;
    const IbisExecutable* TxExecutable() const { return ExecutableForThisPlatform(tx, ExecutableSide::Tx); }
    const IbisExecutable* RxExecutable() const { return ExecutableForThisPlatform(rx, ExecutableSide::Rx); }
};
// An executable outside its file's folder is loaded only when allowed.
bool ChooseLinkModels(const IbisFile& txFile, const IbisFile& rxFile, const IbisEndChoice& tx,
                      const IbisEndChoice& rx, bool allowOutsideExecutables, IbisChoice& choice, std::string& error);

// An IBIS file in folder whose [Algorithmic Model] names libraryName for
// this platform, or empty: where a model's analog data are, when only its
// library was given.
std::string FindIbisNaming(const std::string& folder, const std::string& libraryName);

}  // namespace linksim

#endif
