#include "PortPairing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "FrequencyImpulse.h"

namespace linksim {

namespace {

// The band the paths are weighed over starts at this share of the data's
// last frequency, above the points where AC coupling takes the through path
// away...
const double kBandStartShare = 1.0 / 20.0;
// (or at this share of the band's end, for a channel that loses its 20 dB
// below that)...
const double kLossyBandStartShare = 0.25;
// ...and ends where the input's strongest path has fallen to this share of
// its low-frequency value (20 dB): beyond, crosstalk may outweigh a lossy
// channel's through path.
const double kBandEndShare = 0.1;
// Another output is the likelier through path when it carries this many
// times the chosen output's magnitude over the band (6 dB).
const double kThroughRatio = 2.0;
// Arrivals are timed over the band up to where that path has fallen to this
// share (40 dB): wider, for the time resolution a lossy channel needs, and
// each path timed on its own, so crosstalk outweighing the through path there
// does no harm.
const double kTimeBandEndShare = 0.01;
// A coupling this far below the through path (40 dB) is too weak for its
// timing to say anything: measurement noise has no arrival.
const double kMeasurableCoupling = 0.01;
// A path has arrived when this share of its energy has come.
const double kArrivalEnergyShare = 0.1;
// Coupling that arrives before this share of the through path's delay is
// near-end coupling (it starts at time 0); later, far-end coupling.
const double kNearEndShare = 0.5;
// Ends are told apart only for a through delay of at least this many
// periods of the timing band's top frequency: it resolves no shorter one.
const double kResolvablePeriods = 4.0;
// Suggestions keep the given input P port before all else.
const int kSameInputWeight = 10;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

double Decibels(double magnitude) { return 20.0 * std::log10(std::max(magnitude, 1e-30)); }

const char* const kInverted = "SDD21 is inverted (its response peaks negative): P and N are swapped at one end";

// What the data show about their ports, gathered once for every order asked
// about: each path's magnitude over the band, and (when asked) when it
// arrives.
class PairingEvidence {
public:
    PairingEvidence(const NetworkData& network, int input);

    // Empty when the data do not contradict the order; otherwise why.
    std::string Contradiction(const PortMap& order);
    // The order's SDD21 peaks negative, as it does with P and N swapped at
    // one end (a negative low-frequency gain; AC-coupled data have none at
    // DC, so the peak tells).
    bool Inverted(const PortMap& order);
    // The accepted order closest to the given one, among its ports and their
    // through partners; false when none is accepted.
    bool Suggest(const PortMap& given, PortMap& suggestion);

private:
    double Magnitude(int input, int output) const {
        return m_magnitude[size_t(output - 1) * size_t(m_network.ports) + size_t(input - 1)];
    }
    int StrongestOutput(int input) const;
    double Arrival(int input, int output);
    std::string ThroughContradiction(int input, int output) const;
    std::string EndsContradiction(const PortMap& order);
    // A response of the data's band on a grid that resolves it: false when the
    // step is too coarse for it.
    bool BandResponse(const std::vector<Complex>& values, std::vector<double>& response, double& interval) const;

    const NetworkData& m_network;
    double m_bandStart = 0.0;
    double m_bandEnd = 0.0;
    double m_timeBandEnd = 0.0;
    std::vector<double> m_magnitude;                 // RMS over the band, [output][input]
    std::map<std::pair<int, int>, double> m_arrival;  // by (output, input)
};

PairingEvidence::PairingEvidence(const NetworkData& network, int input) : m_network(network) {
    const std::vector<double>& f = network.frequencies;
    auto strongest = [&](size_t point) {
        double largest = 0.0;
        for (int port = 1; port <= network.ports; ++port) {
            if (port != input) largest = std::max(largest, std::abs(network.S(point, port, input)));
        }
        return largest;
    };
    // The strongest path's low-frequency value: its largest up to a twentieth
    // of the data (an AC-coupled one has none at DC).
    const double lowBand = kBandStartShare * f.back();
    size_t lowest = 0;
    for (size_t i = 1; i < f.size() && f[i] <= lowBand; ++i) {
        if (strongest(i) > strongest(lowest)) lowest = i;
    }
    const double low = strongest(lowest);
    // The first frequency past it where the path has fallen to share of it,
    // or the data's last.
    auto fallenTo = [&](double share) {
        for (size_t i = lowest; i < f.size(); ++i) {
            if (strongest(i) < share * low) return f[i];
        }
        return f.back();
    };
    m_bandEnd = fallenTo(kBandEndShare);
    m_timeBandEnd = fallenTo(kTimeBandEndShare);
    // A channel that loses its 20 dB below a twentieth of the data is
    // weighed from a quarter of that.
    m_bandStart = std::min(lowBand, kLossyBandStartShare * m_bandEnd);
    auto inBand = [this](double hertz) { return hertz >= m_bandStart && hertz <= m_bandEnd; };
    if (std::count_if(f.begin(), f.end(), inBand) < 2) {  // too coarse a step for the band: all the data
        m_bandStart = f.front();
        m_bandEnd = f.back();
    }
    const size_t ports = size_t(network.ports);
    m_magnitude.assign(ports * ports, 0.0);
    for (int out = 1; out <= network.ports; ++out) {
        for (int in = 1; in <= network.ports; ++in) {
            double power = 0.0;
            size_t count = 0;
            for (size_t i = 0; i < f.size(); ++i) {
                if (!inBand(f[i])) continue;
                power += std::norm(network.S(i, out, in));
                ++count;
            }
            m_magnitude[size_t(out - 1) * ports + size_t(in - 1)] = count ? std::sqrt(power / double(count)) : 0.0;
        }
    }
}

int PairingEvidence::StrongestOutput(int input) const {
    int best = input == 1 ? 2 : 1;
    for (int port = 1; port <= m_network.ports; ++port) {
        if (port != input && Magnitude(input, port) > Magnitude(input, best)) best = port;
    }
    return best;
}

bool PairingEvidence::BandResponse(const std::vector<Complex>& values, std::vector<double>& response,
                                   double& interval) const {
    if (!(m_timeBandEnd > 0.0)) return false;
    interval = 0.5 / m_timeBandEnd;  // the transform's band limit is the timing band's end
    FrequencyImpulse converted;
    std::string error;
    if (!ImpulseFromFrequencyResponse(m_network.frequencies, values, interval, converted, error)) return false;
    response.swap(converted.impulse);
    return true;
}

double PairingEvidence::Arrival(int input, int output) {
    const auto key = std::make_pair(output, input);
    const auto known = m_arrival.find(key);
    if (known != m_arrival.end()) return known->second;
    std::vector<Complex> values;
    for (size_t i = 0; i < m_network.frequencies.size(); ++i) values.push_back(m_network.S(i, output, input));
    std::vector<double> response;
    double interval = 0.0;
    double arrival = kNaN;
    if (BandResponse(values, response, interval)) {
        double energy = 0.0;
        for (double value : response) energy += value * value;
        double sum = 0.0;
        for (size_t n = 0; n < response.size() && energy > 0.0; ++n) {
            sum += response[n] * response[n];
            if (sum >= kArrivalEnergyShare * energy) {
                arrival = double(n) * interval;
                break;
            }
        }
    }
    m_arrival[key] = arrival;
    return arrival;
}

std::string PairingEvidence::ThroughContradiction(int input, int output) const {
    const int strongest = StrongestOutput(input);
    if (strongest == output || Magnitude(input, strongest) <= kThroughRatio * Magnitude(input, output)) {
        return std::string();
    }
    char text[240];
    std::snprintf(text, sizeof text,
                  "the through path %d->%d carries %.1f dB from %.3f to %.3f GHz while %d->%d carries %.1f dB", input,
                  output, Decibels(Magnitude(input, output)), m_bandStart / 1e9, m_bandEnd / 1e9, input, strongest,
                  Decibels(Magnitude(input, strongest)));
    return text;
}

std::string PairingEvidence::EndsContradiction(const PortMap& order) {
    const double through = Arrival(order.inP, order.outP);
    if (!(through >= kResolvablePeriods / m_timeBandEnd)) return std::string();
    const double reference = Magnitude(order.inP, order.outP);
    auto measurable = [&](int first, int second) {
        return Magnitude(first, second) >= kMeasurableCoupling * reference && !std::isnan(Arrival(first, second));
    };
    // Each pair the order puts at one end (or at both), and the pair it
    // would be if the order were wrong: a timing contradicts the order only
    // when that other pair's fits better, or is not seen at all.
    const struct {
        int first, second;
        bool sameEnd;
        int otherFirst, otherSecond;
    } pairs[] = {{order.inP, order.inN, true, order.inP, order.outN},
                 {order.outP, order.outN, true, order.outP, order.inN},
                 {order.inP, order.outN, false, order.inP, order.inN},
                 {order.inN, order.outP, false, order.inN, order.inP}};
    for (const auto& pair : pairs) {
        if (!measurable(pair.first, pair.second)) continue;
        const double arrival = Arrival(pair.first, pair.second);
        if ((arrival < kNearEndShare * through) == pair.sameEnd) continue;
        if (measurable(pair.otherFirst, pair.otherSecond)) {
            const double other = Arrival(pair.otherFirst, pair.otherSecond);
            if (pair.sameEnd ? other >= arrival : other <= arrival) continue;
        }
        char text[240];
        std::snprintf(text, sizeof text,
                      pair.sameEnd ? "ports %d and %d are not at one end: their coupling arrives at %.3f ns, with "
                                     "the through path's delay of %.3f ns"
                                   : "ports %d and %d are at one end: their coupling arrives at %.3f ns, well before "
                                     "the through path's delay of %.3f ns",
                      pair.first, pair.second, arrival * 1e9, through * 1e9);
        return text;
    }
    return std::string();
}

bool PairingEvidence::Inverted(const PortMap& order) {
    DifferentialPath path;
    std::vector<std::string> ignored;
    std::string error;
    if (!DifferentialThrough(m_network, order, path, ignored, error)) return false;
    std::vector<double> response;
    double interval = 0.0;
    if (!BandResponse(path.s21, response, interval) || response.empty()) return false;
    const auto peak = std::max_element(response.begin(), response.end(),
                                       [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    return *peak < 0.0;
}

std::string PairingEvidence::Contradiction(const PortMap& order) {
    std::string reason = ThroughContradiction(order.inP, order.outP);
    if (reason.empty()) reason = ThroughContradiction(order.inN, order.outN);
    if (reason.empty()) reason = EndsContradiction(order);
    if (reason.empty() && Inverted(order)) reason = kInverted;
    return reason;
}

bool PairingEvidence::Suggest(const PortMap& given, PortMap& suggestion) {
    std::vector<int> ports;
    for (int port : {given.inP, given.inN, given.outP, given.outN}) {
        ports.push_back(port);
        ports.push_back(StrongestOutput(port));
    }
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    int bestScore = -1;
    for (int a : ports) {
        for (int b : ports) {
            for (int c : ports) {
                for (int d : ports) {
                    if (a == b || a == c || a == d || b == c || b == d || c == d) continue;
                    const PortMap order{a, b, c, d};
                    const int score = (a == given.inP ? kSameInputWeight : 0) + (b == given.inN) +
                                      (c == given.outP) + (d == given.outN);
                    if (score <= bestScore || !Contradiction(order).empty()) continue;
                    bestScore = score;
                    suggestion = order;
                }
            }
        }
    }
    return bestScore >= 0;
}

}  // namespace

std::string PortOrderWarning(const NetworkData& network, const PortMap& map) {
    if (network.ports < 4 || network.frequencies.empty()) return std::string();
    for (int port : {map.inP, map.inN, map.outP, map.outN}) {
        if (port > network.ports) return std::string();
    }
    PairingEvidence evidence(network, map.inP);
    std::string reason = evidence.Contradiction(map);
    if (reason.empty()) return std::string();
    // Crossed through paths are P and N swapped at one end when swapping the
    // outputs gives an order the data accept: say that, not which port
    // carries what.
    const PortMap outputsSwapped{map.inP, map.inN, map.outN, map.outP};
    if (reason != kInverted && evidence.Inverted(map) && evidence.Contradiction(outputsSwapped).empty()) {
        reason = kInverted;
    }
    std::string text = "--ports " + PortMapText(map) + " does not fit the data: " + reason;
    PortMap suggestion;
    if (evidence.Suggest(map, suggestion)) return text + "; try --ports " + PortMapText(suggestion);
    return text + "; no order of these ports and their through partners fits them";
}

}  // namespace linksim
