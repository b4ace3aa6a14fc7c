#include "IbisFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "InputFile.h"

namespace linksim {

namespace fs = std::filesystem;

namespace {

// Conductance below this (siemens) is no termination: a megohm.
const double kOpenConductance = 1e-6;

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Keywords compare without case, with blanks and underscores alike.
std::string KeywordKey(const std::string& keyword) {
    std::string key = Lower(keyword);
    std::replace(key.begin(), key.end(), '_', ' ');
    return key;
}

std::vector<std::string> Fields(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> fields;
    std::string field;
    while (in >> field) fields.push_back(field);
    return fields;
}

double Interpolate(const IvTable& table, double volts) {
    const std::vector<double>& v = table.volts;
    if (volts <= v.front()) return table.amps.front();
    if (volts >= v.back()) return table.amps.back();
    size_t i = 0;
    while (i + 2 < v.size() && v[i + 1] < volts) ++i;
    return table.amps[i] + (volts - v[i]) / (v[i + 1] - v[i]) * (table.amps[i + 1] - table.amps[i]);
}

// dI/dV over a span around volts; 0 for a missing table.
double Slope(const IvTable& table, double volts, double halfSpan) {
    if (table.Empty()) return 0.0;
    return (Interpolate(table, volts + halfSpan) - Interpolate(table, volts - halfSpan)) / (2.0 * halfSpan);
}

enum class Section { None, Package, Pin, Selector, Model, Table, Algorithmic, Other };

class IbisReader {
public:
    IbisReader(IbisFile& file, std::string& error) : m_file(file), m_error(error) {}

    bool ReadLine(std::string line, int lineNumber) {
        const size_t comment = line.find(m_commentChar);
        if (comment != std::string::npos) line.erase(comment);
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) return true;
        line = line.substr(first);
        m_line = lineNumber;
        if (line[0] == '[') return Keyword(line);
        switch (m_section) {
            case Section::Package: return PackageLine(Fields(line));
            case Section::Pin: return PinLine(Fields(line));
            case Section::Selector: return SelectorLine(Fields(line));
            case Section::Model: return ModelLine(line);
            case Section::Table: return TableLine(Fields(line));
            case Section::Algorithmic: return ExecutableLine(Fields(line));
            default: return true;
        }
    }

private:
    bool Fail(const std::string& text) {
        m_error = "line " + std::to_string(m_line) + ": " + text;
        return false;
    }

    bool Keyword(const std::string& line) {
        const size_t close = line.find(']');
        if (close == std::string::npos) return Fail("a keyword without its closing bracket");
        const std::string key = KeywordKey(line.substr(1, close - 1));
        const std::string rest = line.substr(close + 1);
        const std::vector<std::string> fields = Fields(rest);
        m_section = Section::Other;
        if (key == "comment char") {
            if (!fields.empty() && !fields[0].empty()) m_commentChar = fields[0][0];
        } else if (key == "component") {
            m_file.component = fields.empty() ? std::string() : fields[0];
        } else if (key == "package") {
            m_section = Section::Package;
        } else if (key == "pin") {
            m_section = Section::Pin;
        } else if (key == "model selector") {
            if (fields.empty()) return Fail("[Model Selector] without a name");
            m_file.selectors.push_back(IbisModelSelector{fields[0], {}});
            m_section = Section::Selector;
        } else if (key == "model") {
            if (fields.empty()) return Fail("[Model] without a name");
            m_file.models.emplace_back();
            m_file.models.back().name = fields[0];
            m_section = Section::Model;
        } else if (!m_file.models.empty() && (key == "voltage range" || key == "pulldown" || key == "pullup" ||
                                              key == "gnd clamp" || key == "power clamp" ||
                                              key == "algorithmic model")) {
            return ModelKeyword(key, fields);
        }
        return true;
    }

    bool ModelKeyword(const std::string& key, const std::vector<std::string>& fields) {
        IbisModel& model = m_file.models.back();
        if (key == "voltage range") {
            if (fields.empty() || !ParseScaledNumber(fields[0], model.supplyVolts)) {
                return Fail("[Voltage Range] needs a typical voltage");
            }
            m_section = Section::Model;
        } else if (key == "algorithmic model") {
            m_section = Section::Algorithmic;
        } else {
            m_table = key == "pulldown" ? &model.pulldown
                    : key == "pullup"   ? &model.pullup
                    : key == "gnd clamp" ? &model.gndClamp
                                         : &model.powerClamp;
            m_section = Section::Table;
        }
        return true;
    }

    bool PackageLine(const std::vector<std::string>& fields) {
        if (fields.size() < 2) return true;
        const std::string name = Lower(fields[0]);
        double* target = name == "r_pkg" ? &m_file.packageOhms
                       : name == "l_pkg" ? &m_file.packageHenries
                       : name == "c_pkg" ? &m_file.packageFarads
                                         : nullptr;
        if (target && !ParseScaledNumber(fields[1], *target)) return Fail("no typical value for " + fields[0]);
        return true;
    }

    bool SelectorLine(const std::vector<std::string>& fields) {
        m_file.selectors.back().models.push_back(fields[0]);
        return true;
    }

    bool PinLine(const std::vector<std::string>& fields) {
        if (fields.size() < 3) return Fail("a [Pin] row needs a pin, a signal and a model");
        m_file.pins.push_back(IbisPin{fields[0], fields[1], fields[2]});
        return true;
    }

    bool ModelLine(const std::string& line) {
        std::string text = line;
        std::replace(text.begin(), text.end(), '=', ' ');
        const std::vector<std::string> fields = Fields(text);
        if (fields.empty()) return Fail("a [Model] line holds nothing but '='");
        IbisModel& model = m_file.models.back();
        const std::string name = Lower(fields[0]);
        if (name == "model_type" && fields.size() > 1) {
            model.type = fields[1];
        } else if (name == "c_comp") {
            if (fields.size() < 2 || !ParseScaledNumber(fields[1], model.cCompFarads)) {
                return Fail("C_comp needs a typical value");
            }
        }
        return true;
    }

    bool TableLine(const std::vector<std::string>& fields) {
        double volts = 0.0;
        double amps = 0.0;
        if (fields.size() < 2 || !ParseScaledNumber(fields[0], volts) || !ParseScaledNumber(fields[1], amps)) {
            return Fail("an I-V row needs a voltage and a typical current");
        }
        if (!m_table->volts.empty() && volts <= m_table->volts.back()) {
            return Fail("the voltages of an I-V table must increase");
        }
        m_table->volts.push_back(volts);
        m_table->amps.push_back(amps);
        return true;
    }

    bool ExecutableLine(const std::vector<std::string>& fields) {
        const std::string keyword = fields.empty() ? std::string() : Lower(fields[0]);
        const ExecutableSide side = keyword == "executable_tx" ? ExecutableSide::Tx
                                    : keyword == "executable_rx" ? ExecutableSide::Rx
                                                                 : ExecutableSide::Both;
        if (keyword != "executable" && side == ExecutableSide::Both) return true;
        if (fields.size() < 4) return Fail(fields[0] + " needs a platform, a library and an .ami file");
        const fs::path folder = fs::path(m_file.path).parent_path();
        IbisExecutable executable{fields[1], (folder / fields[2]).string(), (folder / fields[3]).string(), false,
                                  side};
        for (const std::string& name : {fields[2], fields[3]}) {
            const fs::path relative = fs::path(name).lexically_normal();
            executable.outside = executable.outside || relative.is_absolute() ||
                                 (!relative.empty() && *relative.begin() == "..");
        }
        m_file.models.back().executables.push_back(executable);
        return true;
    }

    IbisFile& m_file;
    std::string& m_error;
    int m_line = 0;
    char m_commentChar = '|';
    Section m_section = Section::None;
    IvTable* m_table = nullptr;
};

}  // namespace

bool IbisModel::Drives() const {
    const std::string kind = Lower(type);
    return kind.find("output") != std::string::npos || kind.find("i/o") != std::string::npos ||
           kind == "3-state" || kind.find("open_") == 0;
}

bool IbisModel::Receives() const {
    const std::string kind = Lower(type);
    return kind.find("input") != std::string::npos || kind.find("i/o") != std::string::npos;
}

const IbisModelSelector* IbisFile::FindSelector(const std::string& name) const {
    for (const IbisModelSelector& selector : selectors) {
        if (selector.name == name) return &selector;
    }
    return nullptr;
}

const IbisModel* IbisFile::FindModel(const std::string& name) const {
    for (const IbisModel& model : models) {
        if (model.name == name) return &model;
    }
    return nullptr;
}

bool ParseScaledNumber(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(value)) return false;
    static const struct {
        char letter;
        double scale;
    } kScales[] = {{'T', 1e12}, {'G', 1e9}, {'M', 1e6}, {'k', 1e3}, {'m', 1e-3},
                   {'u', 1e-6}, {'n', 1e-9}, {'p', 1e-12}, {'f', 1e-15}};
    for (const auto& scale : kScales) {
        if (*end == scale.letter) {
            value *= scale.scale;
            break;
        }
    }
    return true;
}

double BufferImpedance(const IbisModel& model) {
    const double supply = model.supplyVolts;
    const double middle = supply / 2.0;
    const double halfSpan = supply > 0.0 ? supply / 4.0 : 0.1;
    // POWER-referenced tables are written against the supply minus the pin.
    const double clamps = Slope(model.gndClamp, middle, halfSpan) - Slope(model.powerClamp, supply - middle, halfSpan);
    double conductance = clamps;
    if (model.Drives() && (!model.pulldown.Empty() || !model.pullup.Empty())) {
        const double low = Slope(model.pulldown, middle, halfSpan);
        const double high = -Slope(model.pullup, supply - middle, halfSpan);
        const int halves = int(!model.pulldown.Empty()) + int(!model.pullup.Empty());
        conductance += (low + high) / double(halves);
    }
    return conductance > kOpenConductance ? 1.0 / conductance : std::numeric_limits<double>::infinity();
}

const IbisExecutable* ExecutableForThisPlatform(const IbisModel& model, ExecutableSide side) {
#ifdef _WIN32
    const std::string system = "windows";
#else
    const std::string system = "linux";
#endif
    const std::string bits = sizeof(void*) == 8 ? "_64" : "_32";
    for (const IbisExecutable& executable : model.executables) {
        const std::string platform = Lower(executable.platform);
        const bool sideFits =
            side == ExecutableSide::Both || executable.side == ExecutableSide::Both || executable.side == side;
        if (sideFits && platform.rfind(system, 0) == 0 && platform.size() >= 3 &&
            platform.compare(platform.size() - 3, 3, bits) == 0) {
            return &executable;
        }
    }
    return nullptr;
}

bool ReadIbisStream(std::istream& in, const std::string& path, IbisFile& file, std::string& error) {
    file = IbisFile();
    std::error_code ignored;
    file.path = fs::absolute(path, ignored).lexically_normal().string();
    IbisReader reader(file, error);
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        if (!reader.ReadLine(line, ++lineNumber)) {
            error = path + ": " + error;
            return false;
        }
    }
    if (file.models.empty()) {
        error = path + ": no [Model] in the file";
        return false;
    }
    return true;
}

bool ReadIbisFile(const std::string& path, IbisFile& file, std::string& error) {
    std::ifstream in;
    if (!OpenInputFile(path, "the IBIS file", kMaxIbisFileBytes, in, error)) return false;
    return ReadIbisStream(in, path, file, error);
}

namespace {

// "1 (TX_P, model tx_buf, Output)", each pin of the file, for a refusal.
std::string PinList(const IbisFile& file) {
    std::string list;
    for (const IbisPin& entry : file.pins) {
        const IbisModel* model = file.FindModel(entry.model);
        list += (list.empty() ? "" : ", ") + entry.pin + " (" + entry.signal + ", " + entry.model +
                (model ? ", " + model->type : std::string()) + ")";
    }
    return list.empty() ? "none" : list;
}

// The pin named by pin or signal name: exactly, else case-insensitively
// when that finds one pin only; null otherwise.
const IbisPin* FindPin(const IbisFile& file, const std::string& name) {
    for (const IbisPin& entry : file.pins) {
        if (entry.pin == name || entry.signal == name) return &entry;
    }
    const IbisPin* found = nullptr;
    for (const IbisPin& entry : file.pins) {
        if (Lower(entry.pin) == Lower(name) || Lower(entry.signal) == Lower(name)) {
            if (found != nullptr && found != &entry) return nullptr;
            found = &entry;
        }
    }
    return found;
}

}  // namespace

namespace {

// The model a pin's model column names: a [Model] itself, or one of a
// [Model Selector]'s (by name, else its first). Null with error otherwise.
const IbisModel* ModelOfPin(const IbisFile& file, const IbisPin& pin, const std::string& modelName, const char* option,
                            std::string& error) {
    const IbisModelSelector* selector = file.FindSelector(pin.model);
    if (selector == nullptr) {
        const IbisModel* model = file.FindModel(pin.model);
        if (model == nullptr) error = "pin " + pin.pin + " names the model " + pin.model + ", which " + file.path + " lacks";
        return model;
    }
    std::string listed;
    for (const std::string& name : selector->models) {
        if (modelName.empty() || name == modelName) {
            const IbisModel* model = file.FindModel(name);
            if (model == nullptr) error = "the [Model Selector] " + selector->name + " names the model " + name + ", which " + file.path + " lacks";
            return model;
        }
        listed += (listed.empty() ? "" : ", ") + name;
    }
    error = std::string(option) + " " + modelName + ": not one of the models of the [Model Selector] " + selector->name +
            " of pin " + pin.pin + " (" + listed + ")";
    return nullptr;
}

// Without a pin: the model named, or the one of the end's kind with an
// [Algorithmic Model].
const IbisModel* ModelOfKind(const IbisFile& file, bool transmitter, const std::string& modelName, std::string& error) {
    const char* role = transmitter ? "transmitter" : "receiver";
    const char* pinOption = transmitter ? "--tx-pin" : "--rx-pin";
    if (!modelName.empty()) {
        const IbisModel* model = file.FindModel(modelName);
        if (model == nullptr) {
            error = std::string(transmitter ? "--tx-model-name " : "--rx-model-name ") + modelName + ": no [Model] of that name in " + file.path;
        }
        return model;
    }
    const IbisModel* model = nullptr;
    for (const IbisModel& candidate : file.models) {
        if ((transmitter ? candidate.Drives() : candidate.Receives()) && !candidate.executables.empty()) {
            if (model != nullptr) {
                error = std::string("more than one ") + role + " model with an [Algorithmic Model] in " + file.path +
                        ": choose one with " + pinOption + "; its pins: " + PinList(file);
                return nullptr;
            }
            model = &candidate;
        }
    }
    if (model == nullptr) error = std::string("no ") + role + " model with an [Algorithmic Model] in " + file.path;
    return model;
}

}  // namespace

bool ChooseModel(const IbisFile& file, bool transmitter, const IbisEndChoice& end, const IbisModel*& model,
                 std::string& error) {
    const char* role = transmitter ? "transmitter" : "receiver";
    const char* option = transmitter ? "--tx-pin" : "--rx-pin";
    const char* nameOption = transmitter ? "--tx-model-name" : "--rx-model-name";
    model = nullptr;
    if (!end.pin.empty()) {
        const IbisPin* entry = FindPin(file, end.pin);
        if (entry == nullptr) {
            error = std::string(option) + " " + end.pin + ": no one pin or signal of that name with a [Model] in " +
                    file.path + "; its pins: " + PinList(file);
            return false;
        }
        model = ModelOfPin(file, *entry, end.modelName, nameOption, error);
        if (model == nullptr) return false;
        if (!(transmitter ? model->Drives() : model->Receives())) {
            error = std::string(option) + " " + end.pin + ": its model " + model->name + " is Model_type " + model->type +
                    ", which cannot " + (transmitter ? "drive" : "receive") + "; the pins of " + file.path + ": " +
                    PinList(file);
            model = nullptr;
            return false;
        }
    } else if ((model = ModelOfKind(file, transmitter, end.modelName, error)) == nullptr) {
        return false;
    }
    if (ExecutableForThisPlatform(*model, transmitter ? ExecutableSide::Tx : ExecutableSide::Rx) == nullptr) {
        error = "the " + std::string(role) + " model " + model->name + " has no executable for this platform in " +
                file.path;
        model = nullptr;
        return false;
    }
    return true;
}

bool ChooseLinkModels(const IbisFile& txFile, const IbisFile& rxFile, const IbisEndChoice& txEnd,
                      const IbisEndChoice& rxEnd, bool allowOutsideExecutables, IbisChoice& choice, std::string& error) {
    const IbisModel* tx = nullptr;
    const IbisModel* rx = nullptr;
    if (!ChooseModel(txFile, true, txEnd, tx, error) || !ChooseModel(rxFile, false, rxEnd, rx, error)) return false;
    const struct {
        const IbisModel* model;
        const IbisFile& file;
        ExecutableSide side;
    } ends[] = {{tx, txFile, ExecutableSide::Tx}, {rx, rxFile, ExecutableSide::Rx}};
    for (const auto& end : ends) {
        const IbisExecutable* executable = ExecutableForThisPlatform(*end.model, end.side);
        if (executable->outside && !allowOutsideExecutables) {
            error = "the model " + end.model->name + " of " + end.file.path + " names its executable outside the file's "
                    "folder (" + executable->library + "): give --allow-outside-executables to load it";
            return false;
        }
    }
    choice.file = txFile;
    choice.rxFile = rxFile;
    choice.tx = *tx;
    choice.rx = *rx;
    choice.txPin = txEnd.pin.empty() ? std::string() : FindPin(txFile, txEnd.pin)->pin;
    choice.rxPin = rxEnd.pin.empty() ? std::string() : FindPin(rxFile, rxEnd.pin)->pin;
    choice.chosen = true;
    return true;
}

std::string FindIbisNaming(const std::string& folder, const std::string& libraryName) {
    std::error_code failure;
    std::vector<std::string> candidates;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, failure)) {
        if (Lower(entry.path().extension().string()) == ".ibs") candidates.push_back(entry.path().string());
    }
    std::sort(candidates.begin(), candidates.end());
    for (const std::string& candidate : candidates) {
        IbisFile file;
        std::string ignored;
        if (!ReadIbisFile(candidate, file, ignored)) continue;
        for (const IbisModel& model : file.models) {
            const IbisExecutable* executable = ExecutableForThisPlatform(model);
            if (executable && fs::path(executable->library).filename() == libraryName) return candidate;
        }
    }
    return std::string();
}

}  // namespace linksim
