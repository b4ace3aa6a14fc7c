#include "MixedMode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace linksim {

namespace {

// Another output counts as the likelier through path when it carries this
// many times the chosen output's low-frequency magnitude (6 dB).
const double kNumberingRatio = 2.0;
// Power gains up to this excess are rounding in the file, not activity.
const double kPassivityToleranceDb = 1e-3;

double Decibels(double magnitude) { return 20.0 * std::log10(std::max(magnitude, 1e-30)); }

// The output (other than the input itself) that takes most of an input's
// signal at the lowest frequency.
int StrongestOutput(const NetworkData& network, int input) {
    int best = 0;
    double bestMagnitude = -1.0;
    for (int port = 1; port <= network.ports; ++port) {
        if (port == input) continue;
        const double magnitude = std::abs(network.S(0, port, input));
        if (magnitude > bestMagnitude) {
            bestMagnitude = magnitude;
            best = port;
        }
    }
    return best;
}

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
    for (size_t f = 0; f < count; ++f) {
        path.s11.push_back(differential(f, map.inP, map.inN, map.inP, map.inN));
        path.s12.push_back(differential(f, map.inP, map.inN, map.outP, map.outN));
        path.s21.push_back(differential(f, map.outP, map.outN, map.inP, map.inN));
        path.s22.push_back(differential(f, map.outP, map.outN, map.outP, map.outN));
    }
    return true;
}

std::string NumberingWarning(const NetworkData& network, const PortMap& map) {
    if (network.ports < 4 || map.inP > network.ports || map.inN > network.ports || map.outP > network.ports ||
        map.outN > network.ports) {
        return std::string();
    }
    const int partnerP = StrongestOutput(network, map.inP);
    const double chosen = std::abs(network.S(0, map.outP, map.inP));
    const double strongest = std::abs(network.S(0, partnerP, map.inP));
    if (partnerP == map.outP || strongest <= kNumberingRatio * chosen) {
        return std::string();
    }
    // Within the chosen four ports, the input P's partner is the output P and
    // the other two are the N side, input first in both usual numberings;
    // beyond them, the partners of both inputs are the outputs.
    PortMap suggested{map.inP, map.inN, partnerP, StrongestOutput(network, map.inN)};
    std::vector<int> rest;
    for (int port : {map.inN, map.outP, map.outN}) {
        if (port != partnerP) rest.push_back(port);
    }
    if (rest.size() == 2) {
        suggested.inN = std::min(rest[0], rest[1]);
        suggested.outN = std::max(rest[0], rest[1]);
    }
    char text[400];
    std::snprintf(text, sizeof text,
                  "the through path %d->%d carries %.1f dB at %.4g GHz while %d->%d carries %.1f dB: the file "
                  "probably numbers its ports the other way; try --ports %s",
                  map.inP, map.outP, Decibels(chosen), network.frequencies[0] / 1e9, map.inP, partnerP,
                  Decibels(strongest), PortMapText(suggested).c_str());
    return text;
}

std::string PassivityWarning(const NetworkData& network) {
    double worstDb = 0.0;
    double worstFrequency = 0.0;
    int worstPort = 0;
    const size_t count = network.frequencies.size();
    for (size_t f = 0; f < count; ++f) {
        for (int column = 1; column <= network.ports; ++column) {
            double power = 0.0;
            for (int row = 1; row <= network.ports; ++row) power += std::norm(network.S(f, row, column));
            const double gainDb = 10.0 * std::log10(std::max(power, 1e-300));
            if (gainDb > worstDb) {
                worstDb = gainDb;
                worstFrequency = network.frequencies[f];
                worstPort = column;
            }
        }
    }
    if (worstDb <= kPassivityToleranceDb) return std::string();
    char text[240];
    std::snprintf(text, sizeof text,
                  "the network is not passive: driving port %d at %.4g GHz, %.3f dB more power leaves it than "
                  "enters",
                  worstPort, worstFrequency / 1e9, worstDb);
    return text;
}

}  // namespace linksim
