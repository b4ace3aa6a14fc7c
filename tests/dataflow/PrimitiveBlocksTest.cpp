#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Add.h"
#include "ConstUnTimed.h"
#include "Fork.h"
#include "Gain.h"
#include "Mux.h"
#include "TypeConverter.h"

using namespace Tessel;

namespace {

// The arc memory of one connection, attached from position 0 at the rate the
// block's Setup gave the port.
template <typename T>
struct Arc {
    explicit Arc(size_t items = 1, T fill = T()) : memory(items, fill) {}
    template <typename View>
    void Attach(View& view) {
        view.SetBuffer(memory.data(), memory.size(), view.GetRate(), 0);
    }
    std::vector<T> memory;
};

// Stderr of one call.
template <typename F>
std::string Posted(F call) {
    testing::internal::CaptureStderr();
    call();
    return testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(ConstUnTimed, OutputsZerosForTheInitialDelayAgainAfterEveryInitialize) {
    ConstUnTimed<double> source;
    Arc<double> out;
    out.Attach(source.Output);
    source.Value = 2.5;
    for (int delay : {2, 2, 0}) {
        source.InitialDelay = delay;
        ASSERT_TRUE(source.Initialize());
        std::vector<double> seen;
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(source.Run());
            seen.push_back(out.memory[0]);
        }
        EXPECT_EQ(seen, delay == 2 ? (std::vector<double>{0, 0, 2.5}) : (std::vector<double>{2.5, 2.5, 2.5}));
    }
    source.InitialDelay = -1;
    EXPECT_EQ(Posted([&] { EXPECT_FALSE(source.Initialize()); }), "InitialDelay must be >= 0\n");
}

TEST(Gain, MultipliesInTheArithmeticOfItsItemType) {
    Gain<float> gain;
    Arc<float> in, out;
    in.Attach(gain.Input);
    out.Attach(gain.Output);
    gain.Factor = 0.1f;
    for (float x : {1.0f, -3.0f, 0.7f, 3e38f}) {
        in.memory[0] = x;
        gain.Run();
        EXPECT_EQ(out.memory[0], 0.1f * x);
    }
}

TEST(AddAndFork, SumEveryInputAndCopyToEveryOutput) {
    Add<int> adder;
    Fork<CircularBuffer<int>> fork;
    Arc<int> sum(1, 99);
    sum.Attach(adder.Output);
    EXPECT_TRUE(adder.Run());
    EXPECT_EQ(sum.memory[0], 0) << "an empty bus sums to 0";
    EXPECT_TRUE(fork.Run()) << "a fork without outputs reads and writes nothing";

    // The sum feeds the fork, whose three outputs feed the adder back.
    sum.Attach(fork.Input);
    std::vector<Arc<int>> arcs(3);
    adder.Input.Initialize(3);
    fork.Output.Initialize(3);
    for (size_t i = 0; i < 3; ++i) {
        arcs[i].Attach(adder.Input[i]);
        arcs[i].Attach(fork.Output[i]);
    }
    arcs[0].memory[0] = 2, arcs[1].memory[0] = -5, arcs[2].memory[0] = 7;
    adder.Run();
    EXPECT_EQ(sum.memory[0], 4);
    fork.Run();
    for (const Arc<int>& arc : arcs) EXPECT_EQ(arc.memory[0], 4);

    arcs[0].memory[0] = INT_MAX, arcs[1].memory[0] = 1, arcs[2].memory[0] = 0;
    adder.Run();
    EXPECT_EQ(sum.memory[0], INT_MIN) << "overflow wraps";
}

class MuxTest : public testing::Test {
protected:
    // Input i carries 10(i + 1), 10(i + 1) + 1, ...
    void Connect(size_t inputs, int blockSize = 1) {
        mux.BlockSize = blockSize;
        mux.Input.Initialize(inputs);
        ASSERT_TRUE(mux.Setup());
        arcs.assign(inputs, Arc<double>(blockSize));
        for (size_t i = 0; i < inputs; ++i) {
            for (size_t k = 0; k < arcs[i].memory.size(); ++k) arcs[i].memory[k] = 10.0 * (i + 1) + k;
            arcs[i].Attach(mux.Input[i]);
        }
        out = Arc<double>(blockSize, -7.0);
        out.Attach(mux.Output);
    }
    // A control value that names no input: the output keeps its content.
    std::string Refused(int control) {
        mux.Control = control;
        const std::string text = Posted([&] { EXPECT_FALSE(mux.Run()); });
        for (double item : out.memory) EXPECT_EQ(item, -7.0);
        return text;
    }

    Mux<CircularBuffer<double>> mux;
    std::vector<Arc<double>> arcs;
    Arc<double> out;
};

TEST_F(MuxTest, PassesTheSelectedBlockOfItems) {
    Connect(2, 4);
    EXPECT_EQ(mux.Output.GetRate(), 4u);
    EXPECT_EQ(mux.Input[1].GetRate(), 4u);
    EXPECT_GE(mux.Input[1].GetHistoryDepth(), 4u);
    mux.Control = 1;
    EXPECT_TRUE(mux.Run());
    EXPECT_EQ(out.memory, (std::vector<double>{20, 21, 22, 23}));
    mux.Control = 0;
    EXPECT_TRUE(mux.Run());
    EXPECT_EQ(out.memory, (std::vector<double>{10, 11, 12, 13}));

    mux.BlockSize = 0;
    mux.Input[0].SetRate(3);
    EXPECT_EQ(Posted([&] { EXPECT_FALSE(mux.Setup()); }), "BlockSize must be >= 1\n");
    EXPECT_EQ(mux.Input[0].GetRate(), 3u) << "a refused block size changes no rate";
}

TEST_F(MuxTest, NamesTheValidRangeWhenTheControlIsOutOfIt) {
    Connect(2);
    const std::string twoInputs = ".  There are 2 inputs connected.  The valid control input range is [0,1].\n";
    EXPECT_EQ(Refused(3), "Control input signal value is equal to 3" + twoInputs);
    EXPECT_EQ(Refused(-1), "Control input signal value is equal to -1" + twoInputs);

    // A control rounded from a huge value saturates and still selects nothing.
    ScalarToScalar<CircularBuffer<double>, CircularBuffer<int>, TypeConverterRound> toInt;
    Arc<double> value(1, 1e12);
    Arc<int> control;
    value.Attach(toInt.Input);
    control.Attach(toInt.Output);
    toInt.Run();
    EXPECT_EQ(Refused(control.memory[0]), "Control input signal value is equal to 2147483647" + twoInputs);

    Connect(1);
    EXPECT_EQ(Refused(1), "Control input signal value is equal to 1.  There is 1 input connected.  "
                          "The valid control input range is [0,0].\n");
    Connect(0);
    EXPECT_EQ(Refused(0), "Control input signal value is equal to 0.  There are no inputs connected.  "
                          "No control input value is valid.\n");
}

TEST(TypeConverters, RoundHalfAwayFromZeroSaturatingAndAssignExactly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double in;
        int out;
    } cases[] = {{2.5, 3}, {-2.5, -3}, {2.4999, 2}, {-0.4, 0}, {0.5, 1}, {-0.5, -1}, {-1.5, -2},
                 // floor(x + 0.5) would give 1: x + 0.5 rounds up to 1.0
                 {0.49999999999999994, 0}, {-0.49999999999999994, 0},
                 {2147483646.5, INT_MAX}, {2147483647.4, INT_MAX}, {-2147483648.4, INT_MIN},
                 {1e300, INT_MAX}, {-1e300, INT_MIN}, {inf, INT_MAX}, {-inf, INT_MIN}, {nan, 0}};
    ScalarToScalar<CircularBuffer<double>, CircularBuffer<int>, TypeConverterRound> round;
    Arc<double> in;
    Arc<int> out;
    in.Attach(round.Input);
    out.Attach(round.Output);
    for (const auto& c : cases) {
        in.memory[0] = c.in;
        EXPECT_TRUE(round.Run());
        EXPECT_EQ(out.memory[0], c.out) << "input " << c.in;
        if (std::fabs(c.in) < 2e9) {
            EXPECT_EQ(out.memory[0], std::lround(c.in)) << "input " << c.in;
        }
    }

    // The decision path: int to float (2^24 + 1 ties to the even 2^24), float to double.
    ScalarToScalar<CircularBuffer<int>, CircularBuffer<float>, TypeConverterAssign> toFloat;
    ScalarToScalar<CircularBuffer<float>, CircularBuffer<double>, TypeConverterAssign> toDouble;
    Arc<int> decision(1, 16777217);
    Arc<float> single;
    Arc<double> wide;
    decision.Attach(toFloat.Input);
    single.Attach(toFloat.Output);
    single.Attach(toDouble.Input);
    wide.Attach(toDouble.Output);
    toFloat.Run();
    toDouble.Run();
    EXPECT_EQ(wide.memory[0], 16777216.0);
}
