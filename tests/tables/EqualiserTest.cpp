// The CTLE banks do an equaliser's job at 10 Gb/s: behind a lossy channel
// (skin and dielectric loss, given in dB at the 5 GHz Nyquist frequency)
// some setting flattens the cascade far better than the first one does, and
// the setting that does it best rises with the loss.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "TableView.h"

namespace {

// Channel loss in dB: half skin effect (sqrt f), half dielectric (f).
double ChannelDb(double loss_at_nyquist_db, double f) {
    const double x = f / 5e9;
    return -loss_at_nyquist_db * (0.5 * std::sqrt(x) + 0.5 * x);
}

// Peak-to-peak ripple in dB of |channel x setting| over 0.1 to 5 GHz.
double CascadeRipple(const std::vector<double>& h, double step, double loss_db) {
    double lo = 1e300, hi = -1e300;
    for (int i = 0; i < 50; ++i) {
        const double f = 0.1e9 + i * 0.1e9;
        const double db = ChannelDb(loss_db, f) + 20.0 * std::log10(Magnitude(h, step, f));
        lo = std::fmin(lo, db);
        hi = std::fmax(hi, db);
    }
    return hi - lo;
}

struct Best {
    std::size_t column;
    double ripple;
};

Best BestSetting(const TableView& bank, double loss_db) {
    Best best{0, CascadeRipple(bank.Column(0), bank.step, loss_db)};
    for (std::size_t c = 1; c < bank.columns; ++c) {
        const double r = CascadeRipple(bank.Column(c), bank.step, loss_db);
        if (r < best.ripple) best = {c, r};
    }
    return best;
}

void ExpectEqualises(const TableView& bank, const std::vector<double>& losses_db) {
    std::size_t previous_best = 0;
    for (double loss : losses_db) {
        const double first = CascadeRipple(bank.Column(0), bank.step, loss);
        const Best best = BestSetting(bank, loss);
        EXPECT_LE(best.ripple, 0.5 * first) << bank.name << " behind " << loss << " dB";
        EXPECT_GE(best.column, previous_best) << bank.name << " behind " << loss << " dB";
        previous_best = best.column;
    }
}

}  // namespace

TEST(Equaliser, C4FlattensChannelsOfFiveToTwentyFiveDecibels) {
    ExpectEqualises(C4Table(), {5, 10, 15, 20, 25});
}

TEST(Equaliser, C1CoversTheMilderChannels) {
    ExpectEqualises(C1Table(), {5, 10, 15});
}

// C1 is the narrower bank: its strongest setting boosts the Nyquist
// frequency less than C4's.
TEST(Equaliser, C1IsTheNarrowerBank) {
    const auto boost = [](const TableView& bank, std::size_t c) {
        const std::vector<double> h = bank.Column(c);
        return Magnitude(h, bank.step, 5e9) / Magnitude(h, bank.step, 0.1e9);
    };
    const TableView c4 = C4Table(), c1 = C1Table();
    EXPECT_LT(boost(c1, c1.columns - 1), 0.5 * boost(c4, c4.columns - 1));
    EXPECT_GT(BestSetting(c1, 25).ripple, BestSetting(c4, 25).ripple);
}
