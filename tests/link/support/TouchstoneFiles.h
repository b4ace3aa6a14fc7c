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

// A coupled pair as a 4-port, ports 1 and 3 at one end and 1->2, 3->4
// through: each mode (even, odd) a skin-effect line of its own delay and
// impedance against the ports' reference, so that the near-end coupling
// (1-3, 2-4) starts at time 0 and the far-end coupling (1-4, 3-2) comes with
// the delay, as in a real pair. With seriesFarads, a capacitor in series in
// each leg at the far end (an AC-coupled channel), open at DC.
struct CoupledPair {
    SkinLine even, odd;
    double evenReflection, oddReflection;  // (Z - Zref) / (Z + Zref) of each mode
    double seriesFarads = 0.0;
    double referenceOhms = 50.0;

    // One mode as a 2-port: the line, then the capacitor when there is one.
    void Mode(double hertz, const SkinLine& line, double reflection, std::complex<double>& s11,
              std::complex<double>& s21, std::complex<double>& s22) const {
        const std::complex<double> p = line.At(hertz), g = reflection;
        const std::complex<double> denominator = 1.0 - g * g * p * p;
        s11 = s22 = g * (1.0 - p * p) / denominator;
        s21 = p * (1.0 - g * g) / denominator;
        if (seriesFarads <= 0.0) return;
        // The capacitor in series against the reference: y = j w C Zref.
        const std::complex<double> y(0.0, 2.0 * 3.14159265358979323846 * hertz * seriesFarads * referenceOhms);
        const std::complex<double> c11 = 1.0 / (1.0 + 2.0 * y), c21 = 2.0 * y / (1.0 + 2.0 * y);
        const std::complex<double> loop = 1.0 - s22 * c11;
        s11 = s11 + s21 * s21 * c11 / loop;
        s22 = c11 + c21 * c21 * s22 / loop;
        s21 = s21 * c21 / loop;
    }
    std::vector<std::complex<double>> At(double hertz) const {
        std::complex<double> e11, e21, e22, o11, o21, o22;
        Mode(hertz, even, evenReflection, e11, e21, e22);
        Mode(hertz, odd, oddReflection, o11, o21, o22);
        std::vector<std::complex<double>> s(16);
        auto set = [&s](int row, int column, std::complex<double> value) {
            s[size_t((row - 1) * 4 + column - 1)] = s[size_t((column - 1) * 4 + row - 1)] = value;
        };
        set(1, 1, 0.5 * (e11 + o11));
        set(3, 3, 0.5 * (e11 + o11));
        set(2, 2, 0.5 * (e22 + o22));
        set(4, 4, 0.5 * (e22 + o22));
        set(1, 3, 0.5 * (e11 - o11));  // near-end coupling
        set(2, 4, 0.5 * (e22 - o22));
        set(1, 2, 0.5 * (e21 + o21));  // through
        set(3, 4, 0.5 * (e21 + o21));
        set(1, 4, 0.5 * (e21 - o21));  // far-end coupling
        set(3, 2, 0.5 * (e21 - o21));
        return s;
    }
};

// The network with its ports renumbered: the file's port k is the
// network's port numbering[k - 1].
inline NetworkAt Renumbered(int ports, std::vector<int> numbering, NetworkAt network) {
    return [=](double hertz) {
        const std::vector<std::complex<double>> s = network(hertz);
        std::vector<std::complex<double>> renumbered(s.size());
        for (int row = 0; row < ports; ++row) {
            for (int column = 0; column < ports; ++column) {
                renumbered[size_t(row * ports + column)] =
                    s[size_t((numbering[size_t(row)] - 1) * ports + numbering[size_t(column)] - 1)];
            }
        }
        return renumbered;
    };
}

inline std::vector<double> EvenGrid(double step, double last) {
    std::vector<double> hertz;
    for (size_t i = 1; double(i) * step <= last * (1.0 + 1e-12); ++i) hertz.push_back(double(i) * step);
    return hertz;
}

#endif
