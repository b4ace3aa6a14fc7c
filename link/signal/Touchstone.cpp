#include "Touchstone.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "InputFile.h"

namespace linksim {

namespace {

enum class NumberFormat { RealImaginary, MagnitudeAngle, DecibelAngle };

// Far more frequency points than any file holds, and a count that fits.
const double kMostFrequencies = 1e9;
enum class MatrixLayout { Full, Lower, Upper };

struct OptionLine {
    bool seen = false;
    double hertzPerUnit = 1e9;  // GHz unless the line says otherwise
    std::string parameter = "S";
    NumberFormat format = NumberFormat::MagnitudeAngle;
    double referenceOhms = 50.0;
};

std::string Upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool ParseNumber(const std::string& token, double& value) {
    char* end = nullptr;
    value = std::strtod(token.c_str(), &end);
    return end != token.c_str() && *end == '\0' && std::isfinite(value);
}

bool ParseOptionLine(const std::string& text, OptionLine& options, std::string& error) {
    std::istringstream fields(text.substr(1));
    std::string word;
    options.seen = true;
    while (fields >> word) {
        const std::string key = Upper(word);
        if (key == "HZ") options.hertzPerUnit = 1.0;
        else if (key == "KHZ") options.hertzPerUnit = 1e3;
        else if (key == "MHZ") options.hertzPerUnit = 1e6;
        else if (key == "GHZ") options.hertzPerUnit = 1e9;
        else if (key == "THZ") options.hertzPerUnit = 1e12;
        else if (key == "S" || key == "Y" || key == "Z" || key == "H" || key == "G") options.parameter = key;
        else if (key == "RI") options.format = NumberFormat::RealImaginary;
        else if (key == "MA") options.format = NumberFormat::MagnitudeAngle;
        else if (key == "DB") options.format = NumberFormat::DecibelAngle;
        else if (key == "R") {
            std::string value;
            if (!(fields >> value) || !ParseNumber(value, options.referenceOhms) || options.referenceOhms <= 0.0) {
                error = "the option line's R needs a positive reference impedance";
                return false;
            }
        } else {
            error = "the option line has an unknown field " + word;
            return false;
        }
    }
    return true;
}

Complex ToComplex(double a, double b, NumberFormat format) {
    const double degrees = 3.14159265358979323846 / 180.0;
    switch (format) {
        case NumberFormat::RealImaginary:
            return Complex(a, b);
        case NumberFormat::MagnitudeAngle:
            return std::polar(a, b * degrees);
        case NumberFormat::DecibelAngle:
            break;
    }
    return std::polar(std::pow(10.0, a / 20.0), b * degrees);
}

// What the keywords and the option line say, and the numbers of the network
// data with the line each came from.
struct FileContents {
    int version = 1;
    int ports = 0;
    bool twoPortOrderGiven = false;
    bool order12First = false;  // [Two-Port Data Order] 12_21
    long frequencyCount = -1;
    MatrixLayout layout = MatrixLayout::Full;
    std::vector<double> references;
    OptionLine options;
    std::vector<double> numbers;
    std::vector<int> numberLines;
};

class TouchstoneReader {
public:
    TouchstoneReader(FileContents& contents, std::string& error) : m_file(contents), m_error(error) {}

    bool ReadLine(const std::string& rawLine, int lineNumber) {
        m_line = lineNumber;
        const std::string text = Trim(rawLine.substr(0, rawLine.find('!')));
        if (text.empty()) return true;
        if (text[0] == '#') {
            // Only the first option line counts, as in every reader.
            return m_file.options.seen || Fail(ParseOptionLine(text, m_file.options, m_error));
        }
        if (text[0] == '[') return Fail(ReadKeyword(text));
        if (m_referencesWanted > 0) return Fail(ReadReferences(text));
        if (m_file.version == 2 && !m_inData) {
            if (m_inInformation) return true;
            m_error = "numbers outside [Network Data]";
            return Fail(false);
        }
        if (m_dataEnded) return true;
        std::istringstream fields(text);
        std::string token;
        while (fields >> token) {
            double value = 0.0;
            if (!ParseNumber(token, value)) {
                m_error = "'" + token + "' is not a number";
                return Fail(false);
            }
            m_file.numbers.push_back(value);
            m_file.numberLines.push_back(lineNumber);
        }
        return true;
    }

    bool Finish() {
        if (m_referencesWanted > 0) {
            m_error = "[Reference] gives fewer impedances than there are ports";
            return false;
        }
        return true;
    }

private:
    bool Fail(bool ok) {
        if (!ok) m_error = "line " + std::to_string(m_line) + ": " + m_error;
        return ok;
    }

    bool ReadKeyword(const std::string& text) {
        const size_t close = text.find(']');
        if (close == std::string::npos) {
            m_error = "a keyword without its closing bracket";
            return false;
        }
        const std::string keyword = Upper(text.substr(0, close + 1));
        const std::string rest = Trim(text.substr(close + 1));
        if (keyword == "[VERSION]") {
            if (rest.rfind("2.", 0) != 0) {
                m_error = "Touchstone version " + rest + " is not read (1.x and 2.0 are)";
                return false;
            }
            m_file.version = 2;
        } else if (keyword == "[NUMBER OF PORTS]") {
            double ports = 0.0;
            if (!ParseNumber(rest, ports) || ports < 1.0 || ports > 64.0 || ports != std::floor(ports)) {
                m_error = "[Number of Ports] needs a whole number from 1 to 64";
                return false;
            }
            m_file.ports = int(ports);
        } else if (keyword == "[TWO-PORT DATA ORDER]") {
            m_file.twoPortOrderGiven = true;
            if (rest == "12_21") m_file.order12First = true;
            else if (rest != "21_12") {
                m_error = "[Two-Port Data Order] is 12_21 or 21_12, not " + rest;
                return false;
            }
        } else if (keyword == "[NUMBER OF FREQUENCIES]") {
            double count = 0.0;
            if (!ParseNumber(rest, count) || count < 1.0 || count > kMostFrequencies || count != std::floor(count)) {
                m_error = "[Number of Frequencies] needs a whole number from 1 to 1e9";
                return false;
            }
            m_file.frequencyCount = long(count);
        } else if (keyword == "[REFERENCE]") {
            if (m_file.ports == 0) {
                m_error = "[Reference] before [Number of Ports]";
                return false;
            }
            m_referencesWanted = m_file.ports;
            if (!rest.empty()) return ReadReferences(rest);
        } else if (keyword == "[MATRIX FORMAT]") {
            const std::string layout = Upper(rest);
            if (layout == "FULL") m_file.layout = MatrixLayout::Full;
            else if (layout == "LOWER") m_file.layout = MatrixLayout::Lower;
            else if (layout == "UPPER") m_file.layout = MatrixLayout::Upper;
            else {
                m_error = "[Matrix Format] is Full, Lower or Upper, not " + rest;
                return false;
            }
        } else if (keyword == "[MIXED-MODE ORDER]") {
            m_error = "mixed-mode data are not read; give the single-ended network";
            return false;
        } else if (keyword == "[NETWORK DATA]") {
            m_inData = true;
        } else if (keyword == "[NOISE DATA]" || keyword == "[END]") {
            m_inData = false;
            m_dataEnded = true;
        } else if (keyword == "[BEGIN INFORMATION]") {
            m_inInformation = true;
        } else if (keyword == "[END INFORMATION]") {
            m_inInformation = false;
        }
        // Other keywords ([Number of Noise Frequencies], ...) change nothing here.
        return true;
    }

    bool ReadReferences(const std::string& text) {
        std::istringstream fields(text);
        std::string token;
        while (m_referencesWanted > 0 && fields >> token) {
            double ohms = 0.0;
            if (!ParseNumber(token, ohms) || ohms <= 0.0) {
                m_error = "[Reference] needs positive impedances, not " + token;
                return false;
            }
            m_file.references.push_back(ohms);
            --m_referencesWanted;
        }
        return true;
    }

    FileContents& m_file;
    std::string& m_error;
    int m_line = 0;
    int m_referencesWanted = 0;
    bool m_inData = false;
    bool m_dataEnded = false;
    bool m_inInformation = false;
};

// The matrix positions (row, column, from 0) of the pairs of one record,
// in the order the file writes them.
std::vector<std::pair<int, int>> PairOrder(const FileContents& file) {
    const int n = file.ports;
    std::vector<std::pair<int, int>> order;
    // A full two-port matrix is written N11 N21 N12 N22 unless a version 2
    // file says 12_21; a triangle is written row by row whatever the order.
    if (n == 2 && file.layout == MatrixLayout::Full && !(file.version == 2 && file.order12First)) {
        return {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    }
    for (int row = 0; row < n; ++row) {
        const int first = file.layout == MatrixLayout::Upper ? row : 0;
        const int last = file.layout == MatrixLayout::Lower ? row : n - 1;
        for (int column = first; column <= last; ++column) order.emplace_back(row, column);
    }
    return order;
}

bool CheckHeader(const FileContents& file, std::string& error) {
    if (file.ports < 1) {
        error = "the number of ports is unknown: name the file .sNp or give [Number of Ports]";
    } else if (file.options.parameter != "S") {
        error = "only S-parameters are read; this file holds " + file.options.parameter + "-parameters";
    } else if (file.version == 2 && file.ports == 2 && !file.twoPortOrderGiven) {
        error = "a version 2 two-port file needs [Two-Port Data Order]";
    } else if (file.version == 2 && !file.references.empty() && int(file.references.size()) != file.ports) {
        error = "[Reference] gives fewer impedances than there are ports";
    } else {
        return true;
    }
    return false;
}

// How many numbers the line holding number `at` holds, when it starts there.
size_t NumbersOnLine(const FileContents& file, size_t at) {
    if (at > 0 && file.numberLines[at - 1] == file.numberLines[at]) return 0;
    size_t end = at;
    while (end < file.numbers.size() && file.numberLines[end] == file.numberLines[at]) ++end;
    return end - at;
}

bool BuildNetwork(const FileContents& file, NetworkData& data, std::string& error) {
    const std::vector<std::pair<int, int>> order = PairOrder(file);
    const size_t recordSize = 1 + 2 * order.size();
    const int n = file.ports;
    data = NetworkData();
    data.ports = n;
    data.referenceOhms = file.references.empty() ? std::vector<double>(size_t(n), file.options.referenceOhms)
                                                 : file.references;
    const bool symmetric = file.layout != MatrixLayout::Full;
    size_t at = 0;
    while (at < file.numbers.size()) {
        const double frequency = file.numbers[at] * file.options.hertzPerUnit;
        const std::string where = "line " + std::to_string(file.numberLines[at]) + ": ";
        if (!data.frequencies.empty() && frequency <= data.frequencies.back()) {
            // A version 1 two-port's noise parameters follow its network
            // data, starting again from a lower frequency, five numbers a
            // line; anything else is a frequency out of order.
            if (file.version == 1 && n == 2 && NumbersOnLine(file, at) == 5) break;
            error = where + "the frequencies do not increase";
            return false;
        }
        if (frequency < 0.0) {
            error = where + "a negative frequency";
            return false;
        }
        if (file.numbers.size() - at < recordSize) {
            error = where + "the last frequency point is incomplete";
            return false;
        }
        data.frequencies.push_back(frequency);
        const size_t base = data.values.size();
        data.values.resize(base + size_t(n * n));
        for (size_t pair = 0; pair < order.size(); ++pair) {
            const Complex value =
                ToComplex(file.numbers[at + 1 + 2 * pair], file.numbers[at + 2 + 2 * pair], file.options.format);
            const int row = order[pair].first;
            const int column = order[pair].second;
            data.values[base + size_t(row * n + column)] = value;
            if (symmetric) data.values[base + size_t(column * n + row)] = value;
        }
        at += recordSize;
    }
    if (file.frequencyCount >= 0 && long(data.frequencies.size()) != file.frequencyCount) {
        error = "[Number of Frequencies] says " + std::to_string(file.frequencyCount) + " but the data hold " +
                std::to_string(data.frequencies.size());
        return false;
    }
    if (data.frequencies.size() < 2) {
        error = "fewer than two frequency points";
        return false;
    }
    return true;
}

}  // namespace

int PortsFromFileName(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return 0;
    const std::string extension = Upper(path.substr(dot + 1));
    if (extension.size() < 3 || extension.front() != 'S' || extension.back() != 'P') return 0;
    const std::string digits = extension.substr(1, extension.size() - 2);
    if (digits.empty() || digits.size() > 2 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) return 0;
    return std::atoi(digits.c_str());
}

bool ParseTouchstone(std::istream& in, int portsFromName, NetworkData& data, std::string& error) {
    FileContents file;
    TouchstoneReader reader(file, error);
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        if (!reader.ReadLine(line, ++lineNumber)) return false;
    }
    if (!reader.Finish()) return false;
    if (file.ports == 0) file.ports = portsFromName;
    return CheckHeader(file, error) && BuildNetwork(file, data, error);
}

bool ReadTouchstoneFile(const std::string& path, NetworkData& data, std::string& error) {
    std::ifstream file;
    if (!OpenInputFile(path, "the Touchstone file", kMaxChannelFileBytes, file, error)) return false;
    if (!ParseTouchstone(file, PortsFromFileName(path), data, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace linksim
