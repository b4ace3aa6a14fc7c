// The 64-bit Windows receiver DLL (scripts/build-windows.sh) under wine64
// against the Linux library: a PRBS through a lossy line, the adaptation on
// its defaults, the same blocks handed to both. The outputs agree to 1e-9,
// the clock times exactly, and after the kit's Ignore_Bits every bit is
// right on both.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "BitErrors.h"
#include "Channel.h"
#include "KitParameterFile.h"
#include "RxLibrary.h"
#include "Stimulus.h"
#include "ScratchFolder.h"

namespace {

const std::string kDllPath = std::string(TESSEL_KIT_DIR) + "/Orvex_RX_AMI_05272013_x64.dll";
const std::string kProgram = std::string(TESSEL_SOURCE_DIR) + "/build-win64/tests/windows/test_windows_rx_loader.exe";

bool WriteDoubles(const std::string& path, const std::vector<double>& values) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(values.data(), sizeof(double), values.size(), file) == values.size();
    return std::fclose(file) == 0 && written;
}

std::vector<double> ReadDoubles(const std::string& path) {
    std::vector<double> values;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return values;
    double value;
    while (std::fread(&value, sizeof value, 1, file) == 1) values.push_back(value);
    std::fclose(file);
    return values;
}

TEST(RxWindowsLibrary, RunsALossyLinkAsTheLinuxLibrary) {
    if (access(kDllPath.c_str(), R_OK) != 0 || access(kProgram.c_str(), R_OK) != 0) {
        GTEST_SKIP() << "no 64-bit Windows build: run scripts/build-windows.sh";
    }
    ASSERT_TRUE(ReceiverLibrary().Loaded()) << ReceiverLibrary().Error();
    const long ignoreBits = std::atol(KitParameterFile("Orvex_RX_AMI_05272013").Value("Reserved_Parameters.Ignore_Bits.Value").c_str());
    ASSERT_GT(ignoreBits, 0);
    const size_t bits = static_cast<size_t>(ignoreBits) + 20000;
    const linksim::RxStimulus stimulus = linksim::MakeRxStimulus(
        15, bits, kBitTime, kSampleInterval, linksim::LossyChannelImpulse(24.0, 1.0 / kBitTime, kSamplesPerBit));

    ScratchFolder folder;  // for both runs' adaptation logs and the files
    ASSERT_TRUE(folder.Ready());
    RunOutput native;
    {
        RxInstance rx("");
        ASSERT_TRUE(rx.Opened()) << rx.Message();
        native = RunThrough(rx, stimulus.wave, {kBlockSamples});
    }

    const std::string input = folder.Path() + "/wave-in.bin";
    const std::string output = folder.Path() + "/wave-out.bin";
    ASSERT_TRUE(WriteDoubles(input, stimulus.wave));
    const std::string command = "sh '" + std::string(TESSEL_SOURCE_DIR) + "/scripts/run-windows-test.sh' '" + kProgram +
                                "' '" + kDllPath + "' '" + TESSEL_BINARY_DIR + "/wine64-prefix-rx-workload' --workload 'Z:" +
                                input + "' 'Z:" + output + "'";
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "wine64 is not available";
    ASSERT_EQ(status, 0) << command;

    const std::vector<double> written = ReadDoubles(output);
    ASSERT_GE(written.size(), stimulus.wave.size());
    RunOutput windows;
    windows.wave.assign(written.begin(), written.begin() + static_cast<long>(stimulus.wave.size()));
    windows.clockTimes.assign(written.begin() + static_cast<long>(stimulus.wave.size()), written.end());

    double largest = 0.0;
    for (size_t i = 0; i < native.wave.size(); ++i) largest = std::max(largest, std::fabs(windows.wave[i] - native.wave[i]));
    EXPECT_LE(largest, 1e-9);
    EXPECT_EQ(windows.clockTimes, native.clockTimes);

    const double from = static_cast<double>(ignoreBits) * kBitTime;
    const BitErrors onLinux = CountBitErrors(stimulus, native, from, 0.0);
    const BitErrors onWindows = CountBitErrors(stimulus, windows, from, 0.0);
    EXPECT_EQ(onLinux.errors, 0);
    EXPECT_EQ(onWindows.errors, 0);
    EXPECT_GT(onWindows.compared, 15000);
    std::cout << "wine64 against Linux: largest output difference " << largest << " V over " << native.wave.size()
              << " samples; " << windows.clockTimes.size() << " clock times, "
              << (windows.clockTimes == native.clockTimes ? "identical" : "different") << "; " << onWindows.errors
              << " errors in " << onWindows.compared << " bits after Ignore_Bits " << ignoreBits << "\n";
}

}  // namespace
