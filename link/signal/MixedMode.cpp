#include "MixedMode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace linksim {

namespace {

// Power gains up to this excess are rounding in the file, not activity
// (real through files exceed 0 dB by a few thousandths near DC).
const double kPassivityToleranceDb = 0.01;

double Decibels(double magnitude) { return 20.0 * std::log10(std::max(magnitude, 1e-30)); }

}  // namespace

bool ParsePortMap(const std::string& text, PortMap& map, std::string& error) {
    int ports[4] = {0, 0, 0, 0};
    std::istringstream fields(text);
    std::string field;
    int count = 0;
    while (std::getline(fields, field, ',')) {
        char* end = nullptr;
        const long port = std::strtol(field.c_str(), &end, 10);
        if (count == 4 || field.empty() || *end != '\0' || port < 1 || port > 64) {
            error = "--ports takes four port numbers A,B,C,D (input P, input N, output P, output N), not " + text;
            return false;
        }
        ports[count++] = int(port);
    }
    for (int i = 0; i < count; ++i) {
        for (int j = i + 1; j < count; ++j) {
            if (ports[i] == ports[j]) count = 0;
        }
    }
    if (count != 4) {
        error = "--ports takes four different port numbers A,B,C,D, not " + text;
        return false;
    }
    map = PortMap{ports[0], ports[1], ports[2], ports[3]};
    return true;
}

std::string PortMapText(const PortMap& map) {
    return std::to_string(map.inP) + "," + std::to_string(map.inN) + "," + std::to_string(map.outP) + "," +
           std::to_string(map.outN);
}

bool DifferentialThrough(const NetworkData& network, const PortMap& map, DifferentialPath& path,
                         std::vector<std::string>& warnings, std::string& error) {
    path = DifferentialPath();
    path.frequencies = network.frequencies;
    const size_t count = network.frequencies.size();
    if (network.ports == 2) {
        path.referenceOhms = network.referenceOhms[0];
        for (size_t f = 0; f < count; ++f) {
            path.s11.push_back(network.S(f, 1, 1));
            path.s12.push_back(network.S(f, 1, 2));
            path.s21.push_back(network.S(f, 2, 1));
            path.s22.push_back(network.S(f, 2, 2));
        }
        return true;
    }
    const int used[4] = {map.inP, map.inN, map.outP, map.outN};
    double referenceSum = 0.0;
    for (int port : used) {
        if (port > network.ports) {
            error = "port " + std::to_string(port) + " of --ports " + PortMapText(map) + " is not in a " +
                    std::to_string(network.ports) + "-port network";
            return false;
        }
        referenceSum += network.referenceOhms[size_t(port - 1)];
    }
    for (int port : used) {
        if (std::fabs(network.referenceOhms[size_t(port - 1)] - referenceSum / 4.0) > 1e-9 * referenceSum) {
            warnings.push_back("the ports " + PortMapText(map) +
                               " have unequal reference impedances; their mean is taken for the pair");
            break;
        }
    }
    path.referenceOhms = 2.0 * referenceSum / 4.0;
    // Differential-mode waves: (a_P - a_N) / sqrt(2) at each end.
    auto differential = [&](size_t f, int rowP, int rowN, int columnP, int columnN) {
        return 0.5 * (network.S(f, rowP, columnP) - network.S(f, rowP, columnN) - network.S(f, rowN, columnP) +
                      network.S(f, rowN, columnN));
    };
    // Common-mode waves out, (b_P + b_N) / sqrt(2), from differential ones in.
    auto commonFromDifferential = [&](size_t f, int rowP, int rowN, int columnP, int columnN) {
        return 0.5 * (network.S(f, rowP, columnP) - network.S(f, rowP, columnN) + network.S(f, rowN, columnP) -
                      network.S(f, rowN, columnN));
    };
    for (size_t f = 0; f < count; ++f) {
        path.scd21.push_back(commonFromDifferential(f, map.outP, map.outN, map.inP, map.inN));
        path.s11.push_back(differential(f, map.inP, map.inN, map.inP, map.inN));
        path.s12.push_back(differential(f, map.inP, map.inN, map.outP, map.outN));
        path.s21.push_back(differential(f, map.outP, map.outN, map.inP, map.inN));
        path.s22.push_back(differential(f, map.outP, map.outN, map.outP, map.outN));
    }
    return true;
}

namespace {

// The largest singular value of the square matrix m (n x n, row by row):
// the square root of the largest eigenvalue of m^H m, by power iteration
// from a start that no real network is orthogonal to.
double LargestSingularValue(const Complex* m, int n) {
    const size_t count = static_cast<size_t>(n);
    std::vector<Complex> v(count, Complex(1.0, 0.0));
    std::vector<Complex> w(count);
    std::vector<Complex> u(count);
    for (int i = 0; i < n; ++i) v[size_t(i)] += Complex(0.001 * (i + 1), 0.0007 * (i + 2));
    double value = 0.0;
    for (int iteration = 0; iteration < 200; ++iteration) {
        for (int r = 0; r < n; ++r) {  // u = m v
            Complex sum = 0.0;
            for (int c = 0; c < n; ++c) sum += m[r * n + c] * v[size_t(c)];
            u[size_t(r)] = sum;
        }
        for (int c = 0; c < n; ++c) {  // w = m^H u
            Complex sum = 0.0;
            for (int r = 0; r < n; ++r) sum += std::conj(m[r * n + c]) * u[size_t(r)];
            w[size_t(c)] = sum;
        }
        double norm = 0.0, previous = 0.0;
        for (const Complex& x : w) norm += std::norm(x);
        for (const Complex& x : v) previous += std::norm(x);
        norm = std::sqrt(norm);
        if (norm == 0.0) return 0.0;
        const double estimate = std::sqrt(norm / std::sqrt(previous));
        for (int i = 0; i < n; ++i) v[size_t(i)] = w[size_t(i)] / norm;
        if (std::fabs(estimate - value) <= 1e-12 * estimate) return estimate;
        value = estimate;
    }
    return value;
}

void KeepWorse(PassivityExcess& worst, double gainDb, double hertz) {
    if (gainDb > worst.excessDb) {
        worst.excessDb = gainDb;
        worst.frequencyHz = hertz;
    }
}

}  // namespace

PassivityExcess WorstPassivityExcess(const NetworkData& network) {
    PassivityExcess worst;
    const size_t cells = size_t(network.ports * network.ports);
    for (size_t f = 0; f < network.frequencies.size(); ++f) {
        KeepWorse(worst, Decibels(LargestSingularValue(&network.values[f * cells], network.ports)),
                  network.frequencies[f]);
    }
    return worst;
}

PassivityExcess WorstPassivityExcess(const DifferentialPath& path) {
    PassivityExcess worst;
    for (size_t f = 0; f < path.frequencies.size(); ++f) {
        const Complex matrix[4] = {path.s11[f], path.s12[f], path.s21[f], path.s22[f]};
        KeepWorse(worst, Decibels(LargestSingularValue(matrix, 2)), path.frequencies[f]);
    }
    return worst;
}

std::string PassivityWarning(const PassivityExcess& network, const PassivityExcess& pair, const std::string& ports) {
    if (network.excessDb <= kPassivityToleranceDb) return std::string();
    char text[400];
    int length = std::snprintf(text, sizeof text,
                               "the network is not passive: at %.4f GHz it can give out %.3f dB more power than it "
                               "takes (its largest singular value)",
                               network.frequencyHz / 1e9, network.excessDb);
    if (pair.excessDb > kPassivityToleranceDb) {
        std::snprintf(text + length, sizeof text - size_t(length), "; the differential pair %s, %.3f dB at %.4f GHz",
                      ports.c_str(), pair.excessDb, pair.frequencyHz / 1e9);
    } else {
        std::snprintf(text + length, sizeof text - size_t(length), "; the differential pair %s stays passive",
                      ports.c_str());
    }
    return text;
}

}  // namespace linksim
