// Touchstone files read back (versions, formats, units, orders, errors) and
// turned into the channel a run uses: loss, pulse response, warnings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

#include "Buffers.h"
#include "MixedMode.h"
#include "Scratch.h"
#include "FrequencyImpulse.h"
#include "Touchstone.h"
#include "TouchstoneChannel.h"
#include "TouchstoneFiles.h"

using namespace linksim;

namespace {

const double kBitRate = 10e9;
const int kSamplesPerUi = 32;
const double kDt = 1.0 / (kBitRate * kSamplesPerUi);

bool Parse(const std::string& text, int ports, NetworkData& data, std::string& error) {
    std::istringstream in(text);
    return ParseTouchstone(in, ports, data, error);
}

// Pulse response of one unit interval of level 1, as the link convolves.
std::vector<double> PulseResponse(const std::vector<double>& impulse) {
    std::vector<double> pulse(impulse.size() + kSamplesPerUi, 0.0);
    for (size_t n = 0; n < pulse.size(); ++n) {
        for (size_t m = 0; m < size_t(kSamplesPerUi) && m <= n; ++m) {
            if (n - m < impulse.size()) pulse[n] += impulse[n - m] * kDt;
        }
    }
    return pulse;
}

// Largest difference from the line's exact pulse response, over its peak.
// The host's sum over samples is a midpoint rule: sample n holds the area
// up to half a sample after it.
double PulseMismatch(const std::vector<double>& impulse, const SkinLine& line) {
    const std::vector<double> pulse = PulseResponse(impulse);
    double worst = 0.0;
    double peak = 0.0;
    for (size_t n = 0; n < pulse.size(); ++n) {
        const double t = (double(n) + 0.5) * kDt;
        const double exact = line.Step(t) - line.Step(t - 1.0 / kBitRate);
        peak = std::max(peak, exact);
        worst = std::max(worst, std::fabs(pulse[n] - exact));
    }
    return worst / peak;
}

BufferLoads Matched() { return BufferLoads(); }  // 50 ohm each leg, no capacitance
const double kFileReference = std::nan("");     // a .s2p read against its R as it stands

// Everything a user is told about a through path read in this order: its
// warnings, or why it was refused.
std::string ThroughAdvice(const std::string& path, const PortMap& map) {
    std::vector<double> impulse;
    TouchstoneChannelReport report;
    std::string error;
    if (!TouchstoneImpulse(path, map, kFileReference, true, Matched(), kBitRate, kDt, impulse, report, error)) {
        return error;
    }
    std::string all;
    for (const std::string& warning : report.warnings) all += warning + "\n";
    return all;
}

// The order a piece of advice suggests, or {0, 0, 0, 0} without one.
PortMap SuggestedOrder(const std::string& advice) {
    const std::string cue = "try --ports ";
    const size_t at = advice.find(cue);
    PortMap map{0, 0, 0, 0};
    std::string error;
    if (at == std::string::npos) return map;
    const size_t start = at + cue.size();
    ParsePortMap(advice.substr(start, advice.find_first_of(" ;\n", start) - start), map, error);
    return map;
}

// A pair of 1 ns with 10 dB of loss at Nyquist, its modes 50 +- 5 ohm and
// 8 ps apart: near-end coupling about -26 dB, far-end about -28 dB at Nyquist.
CoupledPair RealisticPair(double seriesFarads = 0.0) {
    return CoupledPair{SkinLine(10.0, kBitRate / 2.0, 1.008e-9), SkinLine(10.0, kBitRate / 2.0, 1e-9), 5.0 / 105.0,
                       -5.0 / 95.0, seriesFarads};
}

}  // namespace

TEST(TouchstoneTest, FormatsUnitsAndVersionsReadTheSameNetwork) {
    // One 2-port point, S11 = 0.1, S21 = 0.5 at -90 degrees, S12 = S21, S22 = 0.2 j.
    const std::string versions[] = {
        "# MHz S RI R 50\n1000 0.1 0 0 -0.5 0 -0.5 0 0.2\n2000 0.1 0 0 -0.5 0 -0.5 0 0.2\n",
        "! comment\n# GHz S MA\n1 0.1 0 0.5 -90 0.5 -90 0.2 90 ! trailing\n2 0.1 0 0.5 -90 0.5 -90 0.2 90\n",
        "#hz s db r 50\n1e9 -20 0 -6.0206 -90 -6.0206 -90 -13.9794 90\n2e9 -20 0 -6.0206 -90 -6.0206 -90 -13.9794 90\n",
        "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
        "[Number of Frequencies] 2\n[Network Data]\n1 0.1 0 0 -0.5\n0 -0.5 0 0.2\n2 0.1 0 0 -0.5 0 -0.5 0 0.2\n[End]\n",
    };
    for (const std::string& text : versions) {
        SCOPED_TRACE(text);
        NetworkData data;
        std::string error;
        ASSERT_TRUE(Parse(text, 2, data, error)) << error;
        ASSERT_EQ(data.frequencies.size(), 2u);
        EXPECT_DOUBLE_EQ(data.frequencies[0], 1e9);
        EXPECT_NEAR(std::abs(data.S(1, 1, 1) - Complex(0.1, 0.0)), 0.0, 1e-6);
        EXPECT_NEAR(std::abs(data.S(1, 2, 1) - Complex(0.0, -0.5)), 0.0, 1e-6);
        EXPECT_NEAR(std::abs(data.S(1, 1, 2) - Complex(0.0, -0.5)), 0.0, 1e-6);
        EXPECT_NEAR(std::abs(data.S(1, 2, 2) - Complex(0.0, 0.2)), 0.0, 1e-6);
        EXPECT_DOUBLE_EQ(data.referenceOhms[1], 50.0);
    }
}

TEST(TouchstoneTest, ReadsOrdersReferencesAndTriangles) {
    // A version 1 two-port writes N21 before N12, then its noise data from a
    // lower frequency again, which are not network data.
    NetworkData data;
    std::string error;
    ASSERT_TRUE(Parse("# GHz S RI R 75\n1 0 0 0.9 0 0.1 0 0 0\n2 0 0 0.8 0 0.2 0 0 0\n1 2 0.5 10 0.3\n", 2, data,
                      error))
        << error;
    EXPECT_EQ(data.frequencies.size(), 2u);
    EXPECT_DOUBLE_EQ(data.S(1, 2, 1).real(), 0.8);
    EXPECT_DOUBLE_EQ(data.S(1, 1, 2).real(), 0.2);
    EXPECT_DOUBLE_EQ(data.referenceOhms[0], 75.0);

    // Version 2: per-port references across lines, a lower triangle of a
    // symmetric 3-port.
    ASSERT_TRUE(Parse("[Version] 2.0\n# Hz S RI R 50\n[Number of Ports] 3\n[Reference] 40 45\n 55\n"
                      "[Matrix Format] Lower\n[Network Data]\n10 0.1 0\n0.2 0 0.3 0\n0.4 0 0.5 0 0.6 0\n"
                      "20 0.1 0 0.2 0 0.3 0 0.4 0 0.5 0 0.6 0\n[End]\n",
                      0, data, error))
        << error;
    EXPECT_EQ(data.ports, 3);
    EXPECT_EQ(data.referenceOhms, (std::vector<double>{40.0, 45.0, 55.0}));
    EXPECT_DOUBLE_EQ(data.S(0, 1, 2).real(), 0.2);
    EXPECT_DOUBLE_EQ(data.S(0, 2, 1).real(), 0.2);
    EXPECT_DOUBLE_EQ(data.S(0, 1, 3).real(), 0.4);
    EXPECT_DOUBLE_EQ(data.S(0, 3, 3).real(), 0.6);
    // A symmetric two-port as an upper or lower triangle, 21_12 or not,
    // reads as its full matrix.
    const std::string full = "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 2\n[Two-Port Data Order] 21_12\n"
                             "[Network Data]\n1 0.1 0 0.7 0 0.7 0 0.2 0\n2 0.1 0 0.6 0 0.6 0 0.2 0\n[End]\n";
    NetworkData fullData;
    ASSERT_TRUE(Parse(full, 0, fullData, error)) << error;
    for (const char* layout : {"Upper", "Lower"}) {
        for (const char* order : {"21_12", "12_21"}) {
            const std::string triangle = std::string("[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 2\n") +
                                         "[Two-Port Data Order] " + order + "\n[Matrix Format] " + layout +
                                         "\n[Network Data]\n1 0.1 0 0.7 0 0.2 0\n2 0.1 0 0.6 0 0.2 0\n[End]\n";
            ASSERT_TRUE(Parse(triangle, 0, data, error)) << layout << " " << order << ": " << error;
            EXPECT_EQ(data.values, fullData.values) << layout << " " << order;
        }
    }
    // A repeated frequency in a version 1 two-port is no start of noise
    // data unless its record is one (five numbers).
    EXPECT_FALSE(Parse("# GHz S RI\n1 0 0 0.9 0 0.9 0 0 0\n2 0 0 0.8 0 0.8 0 0 0\n2 0 0 0.8 0 0.8 0 0 0\n"
                       "3 0 0 0.7 0 0.7 0 0 0\n",
                       2, data, error));
    EXPECT_NE(error.find("line 4: the frequencies do not increase"), std::string::npos) << error;
    EXPECT_EQ(PortsFromFileName("dir.s2p/x.S12P"), 12);
    EXPECT_EQ(PortsFromFileName("channel.ts"), 0);
}

TEST(TouchstoneTest, RefusesWhatItCannotRead) {
    const struct {
        const char* text;
        int ports;
        const char* expected;
    } cases[] = {
        {"# GHz Z RI R 50\n1 0 0 0 0 0 0 0 0\n2 0 0 0 0 0 0 0 0\n", 2, "Z-parameters"},
        {"# GHz S RI\n1 0 0 0 0 0 0 0 0\n2 0 0 0 0 0\n", 2, "incomplete"},
        {"# GHz S RI\n1 0 0 0 0 0 0 0 0\n2 0 0 0 0 0 0 0 0\n", 0, "number of ports is unknown"},
        {"# GHz S RI\n" "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n" "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n", 3,
         "do not increase"},
        {"# GHz S RI\n1 0 0 x 0 0 0 0 0\n", 2, "line 2: 'x' is not a number"},
        {"# GHz S RI\n1 0 0 0 0 0 0 0 0\n", 2, "fewer than two"},
        {"[Version] 2.0\n# GHz S RI\n[Number of Ports] 2\n[Network Data]\n1 0 0 0 0 0 0 0 0\n", 0,
         "Two-Port Data Order"},
        {"[Version] 2.0\n# GHz S RI\n[Number of Ports] 4\n[Mixed-Mode Order] D2,1 D1,2\n", 0, "mixed-mode"},
        {"[Version] 2.0\n# GHz S RI\n[Number of Ports] 2\n[Two-Port Data Order] 21_12\n"
         "[Number of Frequencies] 3\n[Network Data]\n1 0 0 0 0 0 0 0 0\n2 0 0 0 0 0 0 0 0\n",
         0, "says 3 but the data hold 2"},
        // found by fuzzing: a count beyond any integer
        {"[Version] 2.0\n[Number of Frequencies] 5111111111111111111111111111111111\n", 0,
         "[Number of Frequencies] needs a whole number from 1 to 1e9"},
    };
    for (const auto& test : cases) {
        NetworkData data;
        std::string error;
        EXPECT_FALSE(Parse(test.text, test.ports, data, error)) << test.text;
        EXPECT_NE(error.find(test.expected), std::string::npos) << error;
    }
}

TEST(TouchstoneTest, LineInEveryPortOrderGivesItsLossAndPulseResponse) {
    const SkinLine line(15.0, kBitRate / 2.0, 1e-9);
    auto at = [&line](double f) { return line.At(f); };
    // Uneven steps without a DC point for one of them.
    std::vector<double> uneven;
    for (size_t i = 0; 50e6 * double(i) + 20e6 <= 100e9; ++i) uneven.push_back(50e6 * double(i) + (i % 2 ? 30e6 : 20e6));
    const struct {
        const char* name;
        int ports;
        std::vector<std::pair<int, int>> throughs;
        PortMap map;
        std::vector<double> hertz;
        TouchstoneLayout layout;
    } files[] = {
        {"line.s4p", 4, {{1, 2}, {3, 4}}, PortMap{1, 3, 2, 4}, EvenGrid(50e6, 100e9), TouchstoneLayout{1, "MA", "GHz", 50, false}},
        {"line.s4p", 4, {{1, 3}, {2, 4}}, PortMap{1, 2, 3, 4}, uneven, TouchstoneLayout{2, "DB", "MHz", 50, false}},
        {"line.s2p", 2, {{1, 2}}, PortMap{}, EvenGrid(50e6, 100e9), TouchstoneLayout{1, "RI", "Hz", 100, false}},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name + std::string(" ports ") + PortMapText(file.map));
        const std::string path = Scratch(file.name);
        WriteTouchstone(path, file.ports, file.hertz, Lines(file.ports, file.throughs, at), file.layout);
        BufferLoads loads = Matched();
        if (file.ports == 2) loads.txOhms = loads.rxOhms = 50.0;  // 100 ohm across the pair, as referenced
        std::vector<double> impulse;
        TouchstoneChannelReport report;
        std::string error;
        ASSERT_TRUE(TouchstoneImpulse(path, file.map, kFileReference,
                                      true, loads, kBitRate, kDt, impulse, report, error)) << error;
        EXPECT_NEAR(report.lossDbAtNyquist, 15.0, 0.1);
        EXPECT_LT(PulseMismatch(impulse, line), 0.01);
        EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
        EXPECT_LT(report.precursorEnergyShare, 1e-4);
        EXPECT_GT(report.delaySeconds, 1e-9);
        EXPECT_LT(report.delaySeconds, 1.2e-9);
    }
}

// Driving both ports together can give out more power than driving either
// alone: the largest singular value tells, where sums per column do not.
TEST(TouchstoneTest, PassivityIsJudgedByTheLargestSingularValue) {
    NetworkData data;
    std::string error;
    ASSERT_TRUE(Parse("# GHz S RI R 50\n1 0.7 0 0.7 0 0.7 0 0.7 0\n2 0.5 0 0.5 0 0.5 0 0.5 0\n", 2, data, error))
        << error;
    const PassivityExcess excess = WorstPassivityExcess(data);
    EXPECT_NEAR(excess.excessDb, 20.0 * std::log10(1.4), 1e-9);  // each column alone carries 0.98 of the power
    EXPECT_DOUBLE_EQ(excess.frequencyHz, 1e9);
    DifferentialPath pair;
    std::vector<std::string> warnings;
    ASSERT_TRUE(DifferentialThrough(data, PortMap(), pair, warnings, error)) << error;
    const std::string warning = PassivityWarning(excess, WorstPassivityExcess(pair), "1,2");
    EXPECT_NE(warning.find("at 1.0000 GHz it can give out 2.923 dB more"), std::string::npos) << warning;
    EXPECT_NE(warning.find("the differential pair 1,2, 2.923 dB at 1.0000 GHz"), std::string::npos) << warning;

    // Legs that feed each other's outputs: the common mode gains (1.5), the
    // differential pair does not (0.3), and the warning says which.
    const std::string rows = " 0 0 0.9 0 0 0 0.6 0\n0.9 0 0 0 0.6 0 0 0\n0 0 0.6 0 0 0 0.9 0\n0.6 0 0 0 0.9 0 0 0\n";
    ASSERT_TRUE(Parse("# GHz S RI R 50\n1" + rows + "2" + rows, 4, data, error)) << error;
    ASSERT_TRUE(DifferentialThrough(data, PortMap(), pair, warnings, error)) << error;
    const PassivityExcess pairExcess = WorstPassivityExcess(pair);
    EXPECT_NEAR(WorstPassivityExcess(data).excessDb, 20.0 * std::log10(1.5), 1e-9);
    EXPECT_EQ(pairExcess.excessDb, 0.0);
    EXPECT_NE(PassivityWarning(WorstPassivityExcess(data), pairExcess, "1,3,2,4")
                  .find("the differential pair 1,3,2,4 stays passive"),
              std::string::npos);
}

TEST(TouchstoneTest, WarnsOfTheOtherNumberingNonPassiveDataAndNonCausalData) {
    const SkinLine line(10.0, kBitRate / 2.0, 0.5e-9);
    const std::string path = Scratch("numbered.s4p");
    // Through 1->3 and 2->4, read with the default numbering; 3.5 dB of gain
    // on the way; and an echo that comes out before the signal went in.
    WriteTouchstone(path, 4, EvenGrid(100e6, 40e9), Lines(4, {{1, 3}, {2, 4}}, [&line](double f) {
                        return line.At(f) * (1.0 + std::polar(0.5, 2.0 * 3.14159265358979323846 * f * 0.8e-9));
                    }));
    std::vector<double> impulse;
    TouchstoneChannelReport report;
    std::string error;
    // Read with the default numbering, the through path carries nothing.
    EXPECT_FALSE(TouchstoneImpulse(path, PortMap(), kFileReference,
                                   true, Matched(), kBitRate, kDt, impulse, report, error));
    EXPECT_NE(error.find("carries nothing; --ports 1,3,2,4 does not fit the data: the through path 1->2 carries "
                         "-600.0 dB from 2.000 to"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("try --ports 1,2,3,4"), std::string::npos) << error;
    ASSERT_TRUE(
        TouchstoneImpulse(path, PortMap{1, 2, 3, 4}, kFileReference,
                          true, Matched(), kBitRate, kDt, impulse, report, error));
    std::string all;
    for (const std::string& warning : report.warnings) all += warning + "\n";
    EXPECT_NE(all.find("not passive"), std::string::npos) << all;
    EXPECT_NE(all.find("before time 0"), std::string::npos) << all;
    EXPECT_EQ(all.find("--ports"), std::string::npos) << all;
    EXPECT_GT(report.precursorEnergyShare, 0.1);
    // Crosstalk paths are not through paths: no numbering advice for them,
    // and nothing at all is no error.
    ASSERT_TRUE(TouchstoneImpulse(path, PortMap(), kFileReference,
                                  false, Matched(), kBitRate, kDt, impulse, report, error));
    for (const std::string& warning : report.warnings) EXPECT_EQ(warning.find("--ports"), std::string::npos);
    // Ports the network lacks, and a network with no pair.
    EXPECT_FALSE(TouchstoneImpulse(path, PortMap{1, 3, 2, 5}, kFileReference,
                                   true, Matched(), kBitRate, kDt, impulse, report, error));
    EXPECT_NE(error.find("port 5"), std::string::npos) << error;
}

// Of the 24 orders of a coupled pair's ports, the four true ones (either
// end as input, P on either line) pass; every other one warns, those that
// put a near-end and a far-end port at one input told so, with an order that
// passes in turn. AC coupling, with or without a DC point, changes none of it.
TEST(TouchstoneTest, PortOrderIsJudgedFromTheThroughBandAndWhenCouplingArrives) {
    const std::vector<std::string> trueOrders = {"1,3,2,4", "3,1,4,2", "2,4,1,3", "4,2,3,1"};
    const std::string pair = Scratch("pair.s4p");
    WriteTouchstone(pair, 4, EvenGrid(50e6, 40e9), [](double f) { return RealisticPair().At(f); });
    std::vector<int> ports = {1, 2, 3, 4};
    int mixedEnds = 0;
    do {
        const PortMap map{ports[0], ports[1], ports[2], ports[3]};
        SCOPED_TRACE(PortMapText(map));
        const std::string advice = ThroughAdvice(pair, map);
        const bool isTrue = std::count(trueOrders.begin(), trueOrders.end(), PortMapText(map)) > 0;
        if (isTrue) {
            EXPECT_EQ(advice, "");
            continue;
        }
        // A true order, which passes (above): the suggestion followed passes.
        EXPECT_EQ(std::count(trueOrders.begin(), trueOrders.end(), PortMapText(SuggestedOrder(advice))), 1) << advice;
        // Inputs at both ends, yet each through path where it belongs.
        auto partner = [](int port) { return port % 2 ? port + 1 : port - 1; };  // 1->2, 3->4
        if ((map.inP + map.inN) % 2 == 1 && map.outP == partner(map.inP) && map.outN == partner(map.inN)) {
            EXPECT_NE(advice.find("are not at one end"), std::string::npos) << advice;
            ++mixedEnds;
        }
    } while (std::next_permutation(ports.begin(), ports.end()));
    EXPECT_EQ(mixedEnds, 4);

    for (const bool dcPoint : {false, true}) {
        SCOPED_TRACE(dcPoint ? "AC-coupled with a DC point" : "AC-coupled");
        const std::string coupled = Scratch("ac.s4p");
        std::vector<double> grid = EvenGrid(50e6, 40e9);
        if (dcPoint) grid.insert(grid.begin(), 0.0);
        WriteTouchstone(coupled, 4, grid, [](double f) { return RealisticPair(100e-9).At(f); });
        EXPECT_EQ(ThroughAdvice(coupled, PortMap()), "");
        EXPECT_NE(ThroughAdvice(coupled, PortMap{1, 4, 2, 3}).find("try --ports 1,3,2,4"), std::string::npos);
    }

    // P and N swapped at the far end: the file's port 2 is the N line's.
    const std::string swapped = Scratch("swapped.s4p");
    WriteTouchstone(swapped, 4, EvenGrid(50e6, 40e9),
                    Renumbered(4, {1, 4, 3, 2}, [](double f) { return RealisticPair().At(f); }));
    const std::string advice = ThroughAdvice(swapped, PortMap());
    EXPECT_NE(advice.find("P and N are swapped at one end; try --ports 1,3,4,2"), std::string::npos) << advice;
    EXPECT_EQ(ThroughAdvice(swapped, PortMap{1, 3, 4, 2}), "");
}

// A .s2p of a 100 ohm pair saved with each leg's R 50: read as it stands,
// its return loss against 100 ohm buffers says the other reading fits;
// read as told, it is quiet. The reference used is reported either way.
TEST(TouchstoneTest, S2pReferenceIsReportedAndTheReadingItsReturnLossFitsIsNamed) {
    const SkinLine line(10.0, kBitRate / 2.0, 1e-9);
    const std::string path = Scratch("legs.s2p");
    WriteTouchstone(path, 2, EvenGrid(50e6, 100e9), Lines(2, {{1, 2}}, [&line](double f) { return line.At(f); }),
                    TouchstoneLayout{1, "RI", "GHz", 50, false});
    std::vector<double> asItStands, asTold;
    TouchstoneChannelReport report;
    std::string error;
    ASSERT_TRUE(TouchstoneImpulse(path, PortMap(), kFileReference, true, Matched(), kBitRate, kDt, asItStands, report,
                                  error))
        << error;
    EXPECT_EQ(report.differentialReferenceOhms, 50.0);
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_NE(report.warnings[0].find("looks referenced to 100.0 ohm differential (its R 50.0 ohm read per leg, "
                                      "doubled)"),
              std::string::npos)
        << report.warnings[0];
    EXPECT_NE(report.warnings[0].find("--s2p-reference 100.0"), std::string::npos) << report.warnings[0];
    ASSERT_TRUE(TouchstoneImpulse(path, PortMap(), 100.0, true, Matched(), kBitRate, kDt, asTold, report, error))
        << error;
    EXPECT_EQ(report.differentialReferenceOhms, 100.0);
    EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
    EXPECT_LT(PulseMismatch(asTold, line), 0.01);
    EXPECT_GT(PulseMismatch(asItStands, line), 0.1);
}

// What the transform can tell from the data: the band limit's own ringing is
// no fault of theirs, and a delay is known only modulo 1 / step, so a step
// too coarse for the response is refused rather than wrapped into negative
// time. Also the pair's return loss and mode conversion at Nyquist.
TEST(TouchstoneTest, JudgesTheStepCausalityAndModeFiguresFromTheData) {
    const double pi = 3.14159265358979323846;
    // An ideal pair of 140 ps with 10 ps of skew in its N leg and a tenth
    // reflected at each input, with data to 3 GHz only.
    const std::string ideal = Scratch("ideal.s4p");
    WriteTouchstone(ideal, 4, EvenGrid(10e6, 3e9), [pi](double f) {
        std::vector<Complex> s(16, 0.0);
        s[0] = s[10] = 0.1;  // S11, S33
        s[1] = s[4] = 0.9 * std::polar(1.0, -2.0 * pi * f * 140e-12);   // 1<->2
        s[11] = s[14] = 0.9 * std::polar(1.0, -2.0 * pi * f * 150e-12);  // 3<->4
        return s;
    });
    const double bitRate = 5e9;  // Nyquist at 2.5 GHz, within the data
    std::vector<double> impulse;
    TouchstoneChannelReport report;
    std::string error;
    ASSERT_TRUE(TouchstoneImpulse(ideal, PortMap(), kFileReference,
                                  true, Matched(), bitRate, kDt, impulse, report, error)) << error;
    EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
    EXPECT_LT(report.precursorEnergyShare, kPrecursorWarningShare);
    EXPECT_NEAR(report.sdd11DbAtNyquist, -20.0, 1e-6);
    // SCD21 = (S21 - S43) / 2 here: 0.9 sin(pi f skew) in magnitude.
    EXPECT_NEAR(report.scd21DbAtNyquist, 20.0 * std::log10(0.9 * std::sin(pi * 2.5e9 * 10e-12)), 1e-3);
    EXPECT_NEAR(report.unaliasedSpanSeconds, 75e-9, 1e-15);

    // A 10.4 ns line: at an 80 MHz step it lies in the transform's negative
    // time; at 100 MHz it reads as 0.4 ns, which a note says is modulo 10 ns.
    const SkinLine line(10.0, kBitRate / 2.0, 10.4e-9);
    const std::string coarse = Scratch("coarse.s4p"), finer = Scratch("finer.s4p");
    WriteTouchstone(coarse, 4, EvenGrid(80e6, 20e9), Lines(4, {{1, 2}, {3, 4}}, [&line](double f) { return line.At(f); }));
    WriteTouchstone(finer, 4, EvenGrid(100e6, 20e9), Lines(4, {{1, 2}, {3, 4}}, [&line](double f) { return line.At(f); }));
    EXPECT_FALSE(TouchstoneImpulse(coarse, PortMap(), kFileReference,
                                   true, Matched(), kBitRate, kDt, impulse, report, error));
    EXPECT_NE(error.find("the 80.000 MHz frequency step gives the transform a 12.500 ns window, 9.375 ns of it "
                         "positive time; the response, at its smallest delay 10.4"),
              std::string::npos)
        << error;
    EXPECT_NE(error.find("a step of at most 6"), std::string::npos) << error;
    ASSERT_TRUE(TouchstoneImpulse(finer, PortMap(), kFileReference,
                                  true, Matched(), kBitRate, kDt, impulse, report, error)) << error;
    EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
    EXPECT_NEAR(report.delaySeconds, 0.45e-9, 0.05e-9);
    ASSERT_EQ(report.notes.size(), 1u);
    EXPECT_NE(report.notes[0].find("known only modulo 10.000 ns"), std::string::npos) << report.notes[0];

    // Measurement noise 15 dB under a crosstalk path at Nyquist spreads over
    // the whole window: it is no length of the response's, which at a 50 MHz
    // step has 4.6 ns of positive time after its 10.4 ns.
    std::mt19937 random(1);
    auto noise = [&random]() { return 2e-3 * (double(random()) / double(random.max()) - 0.5); };
    const std::string noisy = Scratch("noisy.s4p");
    WriteTouchstone(noisy, 4, EvenGrid(50e6, 40e9), Lines(4, {{1, 2}, {3, 4}}, [&](double f) {
                        return 0.03 * line.At(f) * Complex(0.0, f / 10e9) + Complex(noise(), noise());
                    }));
    EXPECT_TRUE(TouchstoneImpulse(noisy, PortMap(), kFileReference,
                                  false, Matched(), kBitRate, kDt, impulse, report, error)) << error;
}

TEST(TouchstoneTest, BuffersSetTheGainAtEachEnd) {
    const Complex zero(0.0), one(1.0);
    BufferLoads loads;  // 50 ohm per leg on a 100 ohm differential line
    EXPECT_NEAR(std::abs(TerminatedGain(loads, 1e9, zero, one, one, zero, 100.0) - one), 0.0, 1e-12);
    loads.rxOhms = std::numeric_limits<double>::infinity();  // an open input doubles the swing
    EXPECT_NEAR(std::abs(TerminatedGain(loads, 1e6, zero, one, one, zero, 100.0)), 2.0, 1e-9);
    loads.rxOhms = 50.0;
    loads.txOhms = 0.0;  // an ideal source drives the line with the whole swing
    EXPECT_NEAR(std::abs(TerminatedGain(loads, 1e6, zero, one, one, zero, 100.0)), 2.0, 1e-9);
    // 0.6 pF per leg at the receiver: 0.3 pF across 50 ohm (both ends' 100
    // ohm in parallel) has its 3 dB point at 1 / (2 pi 50 0.3p).
    loads = BufferLoads();
    loads.rxFarads = 0.6e-12;
    const double corner = 1.0 / (2.0 * 3.14159265358979323846 * 50.0 * 0.3e-12);
    EXPECT_NEAR(std::abs(TerminatedGain(loads, corner, zero, one, one, zero, 100.0)), std::sqrt(0.5), 1e-9);
    std::string error;
    EXPECT_TRUE(CheckBufferLoads(loads, error));
    loads.txOhms = -1.0;
    EXPECT_FALSE(CheckBufferLoads(loads, error));
    EXPECT_NE(error.find("transmitter impedance"), std::string::npos);
}

TEST(TouchstoneTest, FilteringAnImpulseByBuffersMatchesTheSpectrumRoute) {
    // A time-domain channel given buffers: the same response as the line's
    // spectrum with the buffers applied before the transform, when no wave
    // comes back through the line (its reverse path left out on both routes).
    const SkinLine line(12.0, kBitRate / 2.0, 0.3e-9);
    BufferLoads loads;
    loads.rxFarads = 0.6e-12;
    loads.txFarads = 0.4e-12;
    const std::vector<double> hertz = EvenGrid(25e6, 160e9);
    std::vector<Complex> bare, buffered;
    for (double f : hertz) {
        bare.push_back(line.At(f));
        buffered.push_back(TerminatedGain(loads, f, 0.0, 0.0, line.At(f), 0.0, 100.0));
    }
    FrequencyImpulse plain, direct;
    std::string error;
    ASSERT_TRUE(ImpulseFromFrequencyResponse(hertz, bare, kDt, plain, error));
    ASSERT_TRUE(ImpulseFromFrequencyResponse(hertz, buffered, kDt, direct, error));
    const std::vector<double> filtered = FilterImpulse(
        plain.impulse, kDt,
        [&loads](double f) { return TerminatedGain(loads, f, 0.0, 0.0, 1.0, 0.0, 100.0); }, 4096);
    const std::vector<double> a = PulseResponse(filtered), b = PulseResponse(direct.impulse);
    double worst = 0.0, peak = 0.0;
    for (size_t n = 0; n < std::min(a.size(), b.size()); ++n) {
        worst = std::max(worst, std::fabs(a[n] - b[n]));
        peak = std::max(peak, b[n]);
    }
    EXPECT_LT(worst / peak, 0.01);
    EXPECT_LT(ResponseDelay(direct.impulse, kDt), ResponseDelay(plain.impulse, kDt) + 0.3 / kBitRate);
    EXPECT_GT(ResponseDelay(direct.impulse, kDt), ResponseDelay(plain.impulse, kDt));
}
