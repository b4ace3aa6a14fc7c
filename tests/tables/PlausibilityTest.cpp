// The tables behave like the responses they stand for: finite, free of
// spikes, equaliser settings ordered by strength with one peaking maximum,
// and transmitter de-emphasis that boosts more with every step.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "TableView.h"

namespace {

std::vector<TableView> AllTables() {
    return {C4Table(), C1Table(), SelectorDefaultTable(), TransmitterTable()};
}

// Magnitude response of a column on a grid from 0 to 60 GHz.
std::vector<double> MagnitudeGrid(const std::vector<double>& h, double step, double df = 0.05e9) {
    std::vector<double> m;
    for (double f = 0.0; f <= 60e9 + 1.0; f += df) m.push_back(Magnitude(h, step, f));
    return m;
}

}  // namespace

TEST(Plausibility, FiniteAndWithoutSpikes) {
    for (const TableView& table : AllTables()) {
        for (std::size_t c = 0; c < table.columns; ++c) {
            const std::vector<double> h = table.Column(c);
            const double limit = 0.15 * PeakMagnitude(h);
            for (std::size_t k = 0; k < h.size(); ++k) {
                ASSERT_TRUE(std::isfinite(h[k])) << table.name << " column " << c << " row " << k;
                if (k > 0) {
                    EXPECT_LE(std::fabs(h[k] - h[k - 1]), limit)
                        << table.name << " column " << c << " rows " << k - 1 << ".." << k;
                }
            }
        }
    }
}

TEST(Plausibility, HigherEqualiserSettingsPeakTallerLaterAndUndershootDeeper) {
    for (const TableView& bank : EqualiserBanks()) {
        for (std::size_t c = 1; c < bank.columns; ++c) {
            const std::vector<double> lower = bank.Column(c - 1);
            const std::vector<double> higher = bank.Column(c);
            EXPECT_GT(higher[ArgMax(higher)], lower[ArgMax(lower)]) << bank.name << " setting " << c + 1;
            EXPECT_GE(ArgMax(higher), ArgMax(lower)) << bank.name << " setting " << c + 1;
            EXPECT_LT(higher[ArgMin(higher)], lower[ArgMin(lower)]) << bank.name << " setting " << c + 1;
        }
    }
}

// One peaking maximum above the low-frequency gain, falling beyond it (a
// rise of at most 0.5 dB after the peak is the 500 ps record's ripple), and
// the peaking grows with the setting.
TEST(Plausibility, EqualiserMagnitudeHasOnePeakingThatGrowsWithTheSetting) {
    for (const TableView& bank : EqualiserBanks()) {
        double previous_peaking = 0.0;
        for (std::size_t c = 0; c < bank.columns; ++c) {
            const std::vector<double> m = MagnitudeGrid(bank.Column(c), bank.step);
            int maxima_above_dc = 0;
            std::size_t peak = 0;
            for (std::size_t i = 1; i + 1 < m.size(); ++i) {
                if (m[i] > m[i - 1] && m[i] >= m[i + 1] && m[i] > m[0]) ++maxima_above_dc;
                if (m[i] > m[peak]) peak = i;
            }
            EXPECT_LE(maxima_above_dc, 1) << bank.name << " setting " << c + 1;
            double lowest_since_peak = m[peak];
            for (std::size_t i = peak; i < m.size(); ++i) {
                lowest_since_peak = std::fmin(lowest_since_peak, m[i]);
                EXPECT_LE(20.0 * std::log10(m[i] / lowest_since_peak), 0.5)
                    << bank.name << " setting " << c + 1 << " at " << i * 0.05 << " GHz";
            }
            EXPECT_LT(m.back(), 0.5 * m[0]) << bank.name << " setting " << c + 1 << " at 60 GHz";
            const double peaking = m[peak] / m[0];
            if (c > 0) {
                EXPECT_GT(peaking, previous_peaking) << bank.name << " setting " << c + 1;
            }
            previous_peaking = peaking;
        }
    }
}

TEST(Plausibility, TransmitterBoostAtNyquistGrowsWithDeEmphasis) {
    const TableView tx = TransmitterTable();
    for (int de_range = 0; de_range < 2; ++de_range) {
        for (int vod = 0; vod < 8; ++vod) {
            double previous = 0.0;
            for (int de = 0; de < 8; ++de) {
                const std::vector<double> h = tx.Column(static_cast<std::size_t>(64 * de_range + 8 * de + vod));
                const double boost = Magnitude(h, tx.step, 5e9) / Magnitude(h, tx.step, 0.0);
                if (de > 0) {
                    EXPECT_GT(boost, previous) << "range " << de_range << " VOD " << vod << " DE " << de;
                }
                previous = boost;
            }
        }
    }
}

// The areas cannot be split into a de-emphasis factor times a swing factor:
// at full swing the same code removes more of the area than at the least.
TEST(Plausibility, TransmitterDeEmphasisDeepensWithSwing) {
    const TableView tx = TransmitterTable();
    for (int de_range = 0; de_range < 2; ++de_range) {
        for (int de = 1; de < 8; ++de) {
            const auto kept = [&](int vod) {
                return Area(tx.Column(static_cast<std::size_t>(64 * de_range + 8 * de + vod)), tx.step) /
                       Area(tx.Column(static_cast<std::size_t>(64 * de_range + vod)), tx.step);
            };
            EXPECT_LT(kept(7), kept(0)) << "range " << de_range << " DE " << de;
            EXPECT_GT(kept(7), 0.0) << "range " << de_range << " DE " << de;
        }
    }
}
