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
    View& Attach(View& view) {
        view.SetBuffer(memory.data(), memory.size(), view.GetRate(), 0);
        return view;
    }
    std::vector<T> memory;
};

}  // namespace

TEST(ConstUnTimed, OutputsZerosForTheInitialDelayAgainAfterEveryInitialize) {
    ConstUnTimed<double> source;
    Arc<double> out;
    out.Attach(source.Output);
    source.Value = 2.5;
    source.InitialDelay = 2;
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_TRUE(source.Initialize());
        std::vector<double> seen;
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(source.Run());
            seen.push_back(out.memory[0]);
        }
        EXPECT_EQ(seen, (std::vector<double>{0.0, 0.0, 2.5, 2.5}));
    }
    source.InitialDelay = 0;
    ASSERT_TRUE(source.Initialize());
    source.Run();
    EXPECT_EQ(out.memory[0], 2.5);

    source.InitialDelay = -1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(source.Initialize());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "InitialDelay must be >= 0\n");
}

TEST(Gain, MultipliesInTheArithmeticOfItsItemType) {
    Gain<float> single;
    Arc<float> in, out;
    in.Attach(single.Input);
    out.Attach(single.Output);
    single.Factor = 0.5f;
    for (float x : {1.0f, -3.0f, 0.1f, 1e30f}) {
        in.memory[0] = x;
        single.Run();
        EXPECT_EQ(out.memory[0], 0.5f * x);
    }
    Gain<double> limiter;
    Arc<double> din, dout;
    din.Attach(limiter.Input);
    dout.Attach(limiter.Output);
    limiter.Factor = 3.840245775729646;
    din.memory[0] = 0.1;
    limiter.Run();
    EXPECT_EQ(dout.memory[0], 3.840245775729646 * 0.1);
}

TEST(Add, SumsEveryInputAndWrapsOnOverflow) {
    Add<int> adder;
    Arc<int> out(1, 99);
    out.Attach(adder.Output);
    adder.Run();
    EXPECT_EQ(out.memory[0], 0) << "an empty bus sums to 0";

    std::vector<Arc<int>> inputs(3);
    adder.Input.Initialize(3);
    const int values[] = {2, -5, 7};
    for (size_t i = 0; i < 3; ++i) {
        inputs[i].memory[0] = values[i];
        inputs[i].Attach(adder.Input[i]);
    }
    adder.Run();
    EXPECT_EQ(out.memory[0], 4);

    inputs[0].memory[0] = INT_MAX;
    inputs[1].memory[0] = 1;
    inputs[2].memory[0] = 0;
    adder.Run();
    EXPECT_EQ(out.memory[0], INT_MIN);
}

TEST(Fork, CopiesTheInputToEveryOutputAndToleratesNone) {
    Fork<CircularBuffer<int>> fork;
    EXPECT_TRUE(fork.Run()) << "no outputs: nothing to read or write";
    Arc<int> in;
    in.memory[0] = 42;
    in.Attach(fork.Input);
    std::vector<Arc<int>> outputs(3);
    fork.Output.Initialize(3);
    for (size_t i = 0; i < 3; ++i) outputs[i].Attach(fork.Output[i]);
    EXPECT_TRUE(fork.Run());
    for (const Arc<int>& out : outputs) EXPECT_EQ(out.memory[0], 42);
}

class MuxTest : public testing::Test {
protected:
    void Connect(size_t inputs, int blockSize = 1) {
        mux.BlockSize = blockSize;
        mux.Input.Initialize(inputs);
        arcs.assign(inputs, Arc<double>(blockSize));
        // Input i carries 10(i + 1), 10(i + 1) + 1, ...
        for (size_t i = 0; i < inputs; ++i) {
            for (size_t k = 0; k < arcs[i].memory.size(); ++k) arcs[i].memory[k] = 10.0 * (i + 1) + k;
        }
        ASSERT_TRUE(mux.Setup());
        for (size_t i = 0; i < inputs; ++i) arcs[i].Attach(mux.Input[i]);
        out = Arc<double>(blockSize, -7.0);
        out.Attach(mux.Output);
    }
    // Fires with a control value that names no input: the output keeps its
    // content and the posted text is returned.
    std::string RefusedMessage(int control) {
        mux.Control = control;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(mux.Run());
        for (double item : out.memory) EXPECT_EQ(item, -7.0);
        return testing::internal::GetCapturedStderr();
    }

    Mux<CircularBuffer<double>> mux;
    std::vector<Arc<double>> arcs;
    Arc<double> out;
};

TEST_F(MuxTest, PassesTheSelectedBlockOfItems) {
    Connect(2, 4);
    EXPECT_EQ(mux.Output.GetRate(), 4u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(mux.Input[i].GetRate(), 4u);
        EXPECT_GE(mux.Input[i].GetHistoryDepth(), 4u);
    }
    mux.Control = 1;
    EXPECT_TRUE(mux.Run());
    EXPECT_EQ(out.memory, (std::vector<double>{20, 21, 22, 23}));
    mux.Control = 0;
    EXPECT_TRUE(mux.Run());
    EXPECT_EQ(out.memory, (std::vector<double>{10, 11, 12, 13}));
}

TEST_F(MuxTest, RefusesABlockSizeBelowOneWithoutTouchingRates) {
    mux.BlockSize = 0;
    mux.Input.Initialize(2);
    mux.Input[0].SetRate(3);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(mux.Setup());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "BlockSize must be >= 1\n");
    EXPECT_EQ(mux.Input[0].GetRate(), 3u);
    EXPECT_EQ(mux.Output.GetRate(), 1u);
}

TEST_F(MuxTest, NamesTheValidRangeWhenTheControlIsOutOfIt) {
    Connect(2);
    EXPECT_EQ(RefusedMessage(3), "Control input signal value is equal to 3.  There are 2 inputs connected.  "
                                 "The valid control input range is [0,1].\n");
    EXPECT_EQ(RefusedMessage(-1), "Control input signal value is equal to -1.  There are 2 inputs connected.  "
                                  "The valid control input range is [0,1].\n");
    Connect(1);
    EXPECT_EQ(RefusedMessage(1), "Control input signal value is equal to 1.  There is 1 input connected.  "
                                 "The valid control input range is [0,0].\n");
    Connect(0);
    EXPECT_EQ(RefusedMessage(0), "Control input signal value is equal to 0.  There are no inputs connected.  "
                                 "No control input value is valid.\n");
}

TEST_F(MuxTest, AControlRoundedFromAHugeValueSelectsNothing) {
    Connect(2);
    ScalarToScalar<CircularBuffer<double>, CircularBuffer<int>, TypeConverterRound> toInt;
    Arc<double> value;
    Arc<int> control;
    value.Attach(toInt.Input);
    control.Attach(toInt.Output);
    value.memory[0] = 1e12;
    toInt.Run();
    EXPECT_EQ(RefusedMessage(control.memory[0]),
              "Control input signal value is equal to 2147483647.  There are 2 inputs connected.  "
              "The valid control input range is [0,1].\n");
}

TEST(TypeConverterRound, RoundsHalfAwayFromZeroAndSaturates) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double in;
        int out;
    } cases[] = {{2.5, 3}, {-2.5, -3}, {2.4999, 2}, {-0.4, 0}, {0.5, 1}, {-0.5, -1}, {-1.5, -2},
                 // floor(x + 0.5) would give 1: x + 0.5 rounds up to 1.0
                 {0.49999999999999994, 0}, {-0.49999999999999994, 0},
                 {2147483646.5, INT_MAX}, {2147483647.4, INT_MAX}, {-2147483647.5, INT_MIN},
                 {-2147483648.4, INT_MIN}, {1e300, INT_MAX}, {-1e300, INT_MIN}, {inf, INT_MAX},
                 {-inf, INT_MIN}, {nan, 0}, {-nan, 0}};
    ScalarToScalar<CircularBuffer<double>, CircularBuffer<int>, TypeConverterRound> converter;
    Arc<double> in;
    Arc<int> out;
    in.Attach(converter.Input);
    out.Attach(converter.Output);
    for (const auto& c : cases) {
        in.memory[0] = c.in;
        EXPECT_TRUE(converter.Run());
        EXPECT_EQ(out.memory[0], c.out) << "input " << c.in;
        if (std::fabs(c.in) < 2e9) {
            EXPECT_EQ(out.memory[0], std::lround(c.in)) << "input " << c.in;
        }
    }
}

TEST(TypeConverterAssign, ConvertsExactlyOrToTheNearestFloat) {
    ScalarToScalar<CircularBuffer<int>, CircularBuffer<float>, TypeConverterAssign> toFloat;
    ScalarToScalar<CircularBuffer<float>, CircularBuffer<double>, TypeConverterAssign> toDouble;
    ScalarToScalar<CircularBuffer<int>, CircularBuffer<double>, TypeConverterAssign> intToDouble;
    Arc<int> decision, integer;
    Arc<float> single;
    Arc<double> wide, exact;
    decision.Attach(toFloat.Input);
    single.Attach(toFloat.Output);
    single.Attach(toDouble.Input);
    wide.Attach(toDouble.Output);
    integer.Attach(intToDouble.Input);
    exact.Attach(intToDouble.Output);

    decision.memory[0] = 16777217;  // 2^24 + 1 has no float; ties to the even 2^24
    toFloat.Run();
    toDouble.Run();
    EXPECT_EQ(single.memory[0], 16777216.0f);
    EXPECT_EQ(wide.memory[0], 16777216.0);
    integer.memory[0] = INT_MIN + 1;
    intToDouble.Run();
    EXPECT_EQ(exact.memory[0], -2147483647.0);
}
