// Touchstone files written by the tests, and the analytic line they hold:
// a skin-effect line, H(s) = exp(-s delay - k sqrt(s)), causal and with a
// closed-form step response, so that a channel read back from its file can
// be checked against the exact answer.
#ifndef LINK_TEST_TOUCHSTONE_FILES_H
#define LINK_TEST_TOUCHSTONE_FILES_H

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

struct TouchstoneLayout {
    int version = 1;
    std::string format = "RI";  // RI, MA or DB
    std::string unit = "GHz";
    double referenceOhms = 50.0;
    bool order12First = false;  // version 2 two-ports only
};

typedef std::function<std::vector<std::complex<double>>(double hertz)> NetworkAt;  // row by row

inline void WriteTouchstone(const std::string& path, int ports, const std::vector<double>& hertz,
                            const NetworkAt& network, const TouchstoneLayout& layout = TouchstoneLayout()) {
    const double unit = layout.unit == "Hz" ? 1.0 : layout.unit == "MHz" ? 1e6 : 1e9;
    std::ofstream out(path);
    out.precision(12);
    out << "! written by the link tests\n";
    if (layout.version == 2) {
        out << "[Version] 2.0\n";
    }
    out << "# " << layout.unit << " S " << layout.format << " R " << layout.referenceOhms << "\n";
    if (layout.version == 2) {
        out << "[Number of Ports] " << ports << "\n";
        if (ports == 2) out << "[Two-Port Data Order] " << (layout.order12First ? "12_21" : "21_12") << "\n";
        out << "[Number of Frequencies] " << hertz.size() << "\n[Network Data]\n";
    }
    auto pair = [&](std::complex<double> value) {
        if (layout.format == "RI") {
            out << ' ' << value.real() << ' ' << value.imag();
        } else {
            const double magnitude = std::abs(value);
            // Nothing at all is written as -300 dB, as tools write it.
            out << ' ' << (layout.format == "DB" ? 20.0 * std::log10(std::max(magnitude, 1e-15)) : magnitude) << ' '
                << std::arg(value) * 180.0 / 3.14159265358979323846;
        }
    };
    for (double f : hertz) {
        const std::vector<std::complex<double>> s = network(f);
        out << f / unit;
        if (ports == 2) {
            const bool rowsFirst = layout.version == 2 && layout.order12First;
            pair(s[0]);
            pair(rowsFirst ? s[1] : s[2]);
            pair(rowsFirst ? s[2] : s[1]);
            pair(s[3]);
            out << '\n';
            continue;
        }
        for (int row = 0; row < ports; ++row) {
            for (int column = 0; column < ports; ++column) {
                if (column > 0 && column % 4 == 0) out << '\n';
                pair(s[size_t(row * ports + column)]);
            }
            out << '\n';
        }
    }
    if (layout.version == 2) out << "[End]\n";
}

// The skin-effect line with lossDb at nyquistHertz.
struct SkinLine {
    double k;
    double delay;
    SkinLine(double lossDb, double nyquistHertz, double delaySeconds)
        : k(lossDb / (20.0 / std::log(10.0)) / std::sqrt(3.14159265358979323846 * nyquistHertz)),
          delay(delaySeconds) {}
    std::complex<double> At(double hertz) const {
        const std::complex<double> s(0.0, 2.0 * 3.14159265358979323846 * hertz);
        return std::exp(-s * delay - k * std::sqrt(s));
    }
    double Step(double t) const { return t <= delay ? 0.0 : std::erfc(k / (2.0 * std::sqrt(t - delay))); }
};

// The through line between the given ports of a network of `ports` ports
// (pairs of 1-based ports, both directions), matched, nothing else coupled.
inline NetworkAt Lines(int ports, std::vector<std::pair<int, int>> throughs, std::function<std::complex<double>(double)> line) {
    return [=](double hertz) {
        std::vector<std::complex<double>> s(size_t(ports * ports), 0.0);
        const std::complex<double> value = line(hertz);
        for (const auto& through : throughs) {
            s[size_t((through.second - 1) * ports + through.first - 1)] = value;
            s[size_t((through.first - 1) * ports + through.second - 1)] = value;
        }
        return s;
    };
}

inline std::vector<double> EvenGrid(double step, double last) {
    std::vector<double> hertz;
    for (size_t i = 1; double(i) * step <= last * (1.0 + 1e-12); ++i) hertz.push_back(double(i) * step);
    return hertz;
}

#endif
