// A network's scattering parameters as a Touchstone file gives them: the
// frequency points and, at each, the full n x n matrix as complex numbers,
// with each port's reference impedance. Versions 1.x (the port count from
// the file name, .sNp) and 2.0 (keywords in brackets) are read; the option
// line's frequency unit and number format (RI, MA, DB) are applied, so that
// what comes out is always in hertz and real/imaginary parts.
#ifndef LINK_SIGNAL_TOUCHSTONE_H
#define LINK_SIGNAL_TOUCHSTONE_H

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

#include "Fft.h"

namespace linksim {

struct NetworkData {
    int ports = 0;
    std::vector<double> frequencies;    // Hz, strictly increasing
    std::vector<Complex> values;   // per frequency, ports x ports, row by row
    std::vector<double> referenceOhms;  // per port

    // S(row, column) at frequency point f; ports count from 1 as in the file.
    Complex S(size_t f, int row, int column) const {
        return values[f * size_t(ports * ports) + size_t(row - 1) * size_t(ports) + size_t(column - 1)];
    }
};

// The port count a version 1 file's name implies (".s4p" gives 4), or 0.
int PortsFromFileName(const std::string& path);

// Reads Touchstone text; portsFromName is what the file's name says (0 when
// it says nothing, as for ".ts"), needed by version 1 files only. False
// with one line in error that names the line where reading stopped.
bool ParseTouchstone(std::istream& in, int portsFromName, NetworkData& data, std::string& error);
bool ReadTouchstoneFile(const std::string& path, NetworkData& data, std::string& error);

}  // namespace linksim

#endif
