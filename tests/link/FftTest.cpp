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

TEST(Fft, ForwardMatchesTheDefinitionAndInverseUndoesIt) {
    const size_t n = 64;
    const std::vector<double> signal = RandomSignal(n, 1);
    std::vector<linksim::Complex> data(signal.begin(), signal.end());
    linksim::Fft fft(n);
    fft.Forward(data);
    for (size_t k : {size_t(0), size_t(1), size_t(17), size_t(63)}) {
        linksim::Complex expected(0.0, 0.0);
        for (size_t t = 0; t < n; ++t) expected += signal[t] * std::polar(1.0, -2.0 * M_PI * double(k * t) / double(n));
        EXPECT_NEAR(std::abs(data[k] - expected), 0.0, 1e-10) << "bin " << k;
    }
    fft.Inverse(data);
    for (size_t t = 0; t < n; ++t) EXPECT_NEAR(data[t].real(), signal[t], 1e-12);
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

}  // namespace
