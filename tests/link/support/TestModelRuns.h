// Runs of the link between the test-only models, shared by the tests of the
// run's flows and of its channels.
#ifndef LINK_TEST_MODEL_RUNS_H
#define LINK_TEST_MODEL_RUNS_H

#include <gtest/gtest.h>

#include <string>

#include "LinkRun.h"
#include "Scratch.h"

// Test-only transmitter and receiver by name, on a lossy line of lossDb.
inline linksim::LinkSettings TestModelSettings(const std::string& tx, const std::string& rx, double lossDb,
                                               size_t bits, size_t bitsPerCall) {
    const std::string models = LINK_TEST_MODEL_DIR;
    linksim::LinkSettings settings;
    settings.tx.library = models + "/" + tx + ".so";
    settings.rx.library = models + "/" + rx + ".so";
    settings.channel.lossDb = lossDb;
    settings.bits = bits;
    settings.bitsPerCall = bitsPerCall;
    settings.outDir = Scratch(tx + "_" + rx);
    return settings;
}

// The run's result, failing the test with the run's message when it fails.
inline linksim::LinkResult RunOk(const linksim::LinkSettings& settings) {
    linksim::LinkResult result;
    std::string error;
    EXPECT_TRUE(linksim::RunLink(settings, result, error)) << error;
    return result;
}

#endif
