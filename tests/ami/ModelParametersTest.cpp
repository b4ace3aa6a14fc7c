#include "ModelParameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using Tessel::AMI::LoadModelParameters;
using Tessel::AMI::ModelParameter;
using Tessel::AMI::ParamParser;

std::string Unread(const std::string& model, const std::string& name) {
    return "The IBIS-AMI model, " + model + ", is unable to initialize the parameter " + name +
           " from the AMI_Init arguments.  The model will use the default setting. ";
}

struct TxSettings {
    int DE = 7;
    int VOD = 6;
    double gain = 1.0;
    double DE_range = 0.0;
};

std::string LoadTx(const char* text, TxSettings& settings) {
    const ModelParameter parameters[] = {
        ModelParameter::Integer("DE", settings.DE),
        ModelParameter::Integer("VOD", settings.VOD),
        ModelParameter::Real("gain", settings.gain),
        ModelParameter::Real("DE_range", settings.DE_range),
    };
    ParamParser parser(text);
    std::string message;
    LoadModelParameters("Orvex_TX_AMI_01142014", parser, parameters, message);
    return message;
}

TEST(ModelParameters, TransmitterReadsIntsAndDoublesAndReportsTheRestInOrder) {
    const std::string tx = "Orvex_TX_AMI_01142014";
    for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
        TxSettings settings;
        EXPECT_EQ(LoadTx(empty, settings),
                  Unread(tx, "DE") + Unread(tx, "VOD") + Unread(tx, "gain") + Unread(tx, "DE_range"));
        EXPECT_EQ(settings.DE, 7);
        EXPECT_EQ(settings.VOD, 6);
        EXPECT_EQ(settings.gain, 1.0);
        EXPECT_EQ(settings.DE_range, 0.0);
    }
    TxSettings settings;
    EXPECT_EQ(LoadTx("(Orvex_TX_AMI_01142014 (DE 2.9) (VOD five) (gain 0.75) (DE_range 1.5))",
                     settings),
              Unread(tx, "VOD"));
    EXPECT_EQ(settings.DE, 2);
    EXPECT_EQ(settings.VOD, 6);
    EXPECT_EQ(settings.gain, 0.75);
    EXPECT_EQ(settings.DE_range, 1.5);
}

TEST(ModelParameters, ReceiverKeepsDefaultsForValuesThatCannotBecomeInts) {
    const char* names[] = {"EQ_Level", "DWDM_mode", "Rx_config", "DFEtap1", "DFEtap2", "DFEtap3",
                           "DFEtap4",  "DFEtap5",   "DFEAdapt",  "CTLEAdapt", "EOM_window"};
    double values[11];
    for (double& value : values) {
        value = -1.0;
    }
    ModelParameter parameters[11] = {ModelParameter::RealFittingInt(names[0], values[0])};
    for (int i = 0; i < 11; ++i) {
        parameters[i] = ModelParameter::RealFittingInt(names[i], values[i]);
    }
    ParamParser parser(
        "(Orvex_RX_AMI_05272013 (EQ_Level 5.5) (Rx_config 1) (DFEtap1 1e300) (DFEtap2 nan)"
        " (DFEtap3 -inf) (DFEAdapt True) (CTLEAdapt \"on\") (EOM_window 2000))");
    std::string message;
    LoadModelParameters("Orvex_RX_AMI_05272013", parser, parameters, message);

    std::string expected;
    for (int i : {1, 3, 4, 5, 6, 7, 8, 9}) {
        expected += Unread("Orvex_RX_AMI_05272013", names[i]);
    }
    EXPECT_EQ(message, expected);
    EXPECT_EQ(values[0], 5.5);  // stored as read; truncation happens later
    EXPECT_EQ(values[2], 1.0);
    EXPECT_EQ(values[10], 2000.0);
    for (int i : {1, 3, 4, 5, 6, 7, 8, 9}) {
        EXPECT_EQ(values[i], -1.0) << names[i];
    }
}

TEST(ModelParameters, OtherRootNameReadsNothing) {
    TxSettings settings;
    const std::string message = LoadTx("(Orvex_RX_AMI_05272013 (DE 1) (VOD 1) (gain 2) (DE_range 1))", settings);
    const std::string tx = "Orvex_TX_AMI_01142014";
    EXPECT_EQ(message, Unread(tx, "DE") + Unread(tx, "VOD") + Unread(tx, "gain") + Unread(tx, "DE_range"));
    EXPECT_EQ(settings.DE, 7);
    EXPECT_EQ(settings.gain, 1.0);
}

}  // namespace
