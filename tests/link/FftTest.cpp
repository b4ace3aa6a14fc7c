#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "Fft.h"
#include "StreamConvolver.h"

namespace {

std::vector<double> RandomSignal(size_t length, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> signal(length);
    for (double& value : signal) value = uniform(generator);
    return signal;
}

std::vector<double> DirectConvolution(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> result(a.size() + b.size() - 1, 0.0);
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = 0; j < b.size(); ++j) result[i + j] += a[i] * b[j];
    return result;
}

// Powers of two and the sizes a Touchstone grid gives (any length).
TEST(Fft, ForwardMatchesTheDefinitionAndInverseUndoesIt) {
    for (size_t n : {size_t(1), size_t(2), size_t(3), size_t(8), size_t(12), size_t(64), size_t(500), size_t(512)}) {
        const std::vector<double> real = RandomSignal(n, 1);
        const std::vector<double> imaginary = RandomSignal(n, 11);
        std::vector<linksim::Complex> data(n);
        for (size_t t = 0; t < n; ++t) data[t] = linksim::Complex(real[t], imaginary[t]);
        const std::vector<linksim::Complex> signal = data;
        linksim::Fft fft(n);
        ASSERT_EQ(fft.Size(), n);
        fft.Forward(data);
        for (size_t k = 0; k < n; ++k) {
            linksim::Complex expected(0.0, 0.0);
            for (size_t t = 0; t < n; ++t) {
                expected += signal[t] * std::polar(1.0, -2.0 * M_PI * double((k * t) % n) / double(n));
            }
            ASSERT_NEAR(std::abs(data[k] - expected), 0.0, 1e-11) << "size " << n << " bin " << k;
        }
        fft.Inverse(data);
        for (size_t t = 0; t < n; ++t) ASSERT_NEAR(std::abs(data[t] - signal[t]), 0.0, 1e-13) << "size " << n;
    }
}

// Short inputs are summed directly, long ones go through the FFT.
TEST(Fft, ConvolveMatchesTheDirectSumAtEverySize) {
    for (size_t length : {size_t(1), size_t(40), size_t(3000)}) {
        const std::vector<double> a = RandomSignal(length, 2);
        const std::vector<double> b = RandomSignal(length / 2 + 7, 3);
        const std::vector<double> fast = linksim::Convolve(a, b);
        const std::vector<double> slow = DirectConvolution(a, b);
        ASSERT_EQ(fast.size(), slow.size());
        for (size_t i = 0; i < fast.size(); ++i) ASSERT_NEAR(fast[i], slow[i], 1e-9) << "length " << length;
    }
    EXPECT_TRUE(linksim::Convolve({}, {1.0}).empty());
}

// Blocks of any length, in place, give the start of the full convolution.
TEST(Fft, StreamConvolverCarriesStateAcrossBlocks) {
    const std::vector<double> taps = RandomSignal(700, 4);
    const std::vector<double> input = RandomSignal(10000, 5);
    const std::vector<double> expected = DirectConvolution(input, taps);
    linksim::StreamConvolver convolver(taps, 1024);
    EXPECT_EQ(convolver.TransformSize(), 1024u);
    std::vector<double> output(input);
    const size_t blocks[] = {1, 1023, 1024, 5000, 37};
    size_t done = 0;
    for (size_t i = 0; done < output.size(); ++i) {
        const size_t count = std::min(blocks[i % 5], output.size() - done);
        convolver.Process(output.data() + done, count, output.data() + done);
        done += count;
    }
    for (size_t i = 0; i < output.size(); ++i) ASSERT_NEAR(output[i], expected[i], 1e-9) << "sample " << i;
}

// The impulse matrix pads the channel with zeros: they cost nothing, and a
// transform chosen for the taps leaves most of itself to new input.
TEST(Fft, StreamConvolverDropsTrailingZerosAndSizesItsTransform) {
    std::vector<double> taps = RandomSignal(3000, 6);
    taps.resize(5000, 0.0);
    const std::vector<double> input = RandomSignal(40000, 7);
    const std::vector<double> expected = DirectConvolution(input, taps);
    linksim::StreamConvolver convolver(taps);
    EXPECT_EQ(convolver.TapCount(), 3000u);
    EXPECT_GE(convolver.TransformSize(), 4u * 3000u);
    EXPECT_EQ(convolver.ChunkLength(), convolver.TransformSize() - 2999);
    std::vector<double> output(input.size());
    convolver.Process(input.data(), input.size(), output.data());
    for (size_t i = 0; i < output.size(); ++i) ASSERT_NEAR(output[i], expected[i], 1e-9) << "sample " << i;
    EXPECT_EQ(linksim::StreamConvolver(std::vector<double>(10, 0.0)).TapCount(), 1u);
}

// However the output is pulled and the input pushed, it is convolved in the
// same chunks: the same bits, and the right ones.
TEST(Fft, LookaheadConvolverOutputDoesNotDependOnTheBlocks) {
    const std::vector<double> taps = RandomSignal(900, 8);
    const std::vector<double> input = RandomSignal(23456, 9);
    const std::vector<double> expected = DirectConvolution(input, taps);
    auto run = [&](size_t pushBlock, size_t pullBlock) {
        linksim::LookaheadConvolver convolver(taps, input.size());
        std::vector<double> output(input.size());
        size_t pushed = 0;
        for (size_t done = 0; done < output.size();) {
            const size_t count = std::min(pullBlock, output.size() - done);
            EXPECT_FALSE(convolver.InputWanted(count) > 0 && convolver.Pull(output.data() + done, count));
            while (convolver.InputWanted(count) > 0) {
                const size_t more = std::min(pushBlock, input.size() - pushed);
                convolver.Push(input.data() + pushed, more);
                pushed += more;
            }
            EXPECT_TRUE(convolver.Pull(output.data() + done, count));
            done += count;
        }
        EXPECT_EQ(convolver.InputWanted(1), 0u);
        double spare = 0.0;
        EXPECT_FALSE(convolver.Pull(&spare, 1)) << "past the end";
        return output;
    };
    const std::vector<double> reference = run(1000, 1000);
    for (size_t i = 0; i < reference.size(); ++i) ASSERT_NEAR(reference[i], expected[i], 1e-9) << "sample " << i;
    for (const auto& blocks : {std::make_pair(333, 4097), std::make_pair(23456, 1), std::make_pair(7, 23456)}) {
        EXPECT_EQ(run(size_t(blocks.first), size_t(blocks.second)), reference)
            << "push " << blocks.first << ", pull " << blocks.second;
    }
}

}  // namespace
