#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AmiDescription.h"
#include "ParameterString.h"

namespace {

linksim::AmiParameter Parameter(std::vector<std::string> path, linksim::AmiType type, linksim::AmiFormat format,
                                std::vector<std::string> values, linksim::AmiUsage usage = linksim::AmiUsage::In) {
    linksim::AmiParameter parameter;
    parameter.path = path;
    parameter.type = type;
    parameter.format = format;
    parameter.formatValues = values;
    parameter.usage = usage;
    if (!values.empty()) {
        parameter.hasDefault = true;
        parameter.defaultValue = values[0];
    }
    return parameter;
}

linksim::AmiDescription Model() {
    using linksim::AmiFormat;
    using linksim::AmiType;
    linksim::AmiDescription model;
    model.modelName = "m";
    model.parameters = {
        Parameter({"DE"}, AmiType::Integer, AmiFormat::Range, {"3", "0", "7"}),
        Parameter({"gain"}, AmiType::Float, AmiFormat::Range, {"1.0", "0.5", "1.5"}),
        Parameter({"mode"}, AmiType::Integer, AmiFormat::List, {"0", "1", "4"}),
        Parameter({"step"}, AmiType::Float, AmiFormat::Increment, {"0.1", "0", "0.5", "0.05"}),
        Parameter({"name"}, AmiType::String, AmiFormat::Value, {"lane a"}),
        Parameter({"on"}, AmiType::Boolean, AmiFormat::None, {}),
        Parameter({"eq", "c1"}, AmiType::Tap, AmiFormat::Range, {"-0.1", "-0.2", "0"}),
        Parameter({"eq", "c2"}, AmiType::Tap, AmiFormat::Range, {"0", "-0.2", "0"}),
        Parameter({"version"}, AmiType::String, AmiFormat::Value, {"7.1"}, linksim::AmiUsage::Info),
        Parameter({"free", "c1"}, AmiType::Float, AmiFormat::None, {}),
        Parameter({"level"}, AmiType::Float, AmiFormat::Steps, {"1.0", "0.0", "2.0", "4"}),
    };
    model.parameters[2].defaultValue = "1";
    model.parameters[5].hasDefault = true;
    model.parameters[5].defaultValue = "False";
    return model;
}

bool Choose(const linksim::AmiDescription& model, std::vector<linksim::ParameterOverride> overrides,
            std::string& result) {
    std::vector<linksim::ParameterChoice> choices;
    std::string error;
    if (!linksim::ChooseParameters(model, overrides, choices, error)) {
        result = error;
        return false;
    }
    result = linksim::BuildParameterString(model.modelName, choices);
    return true;
}

TEST(ParameterString, DefaultsAndOverridesOfEveryInputInFileOrder) {
    const linksim::AmiDescription model = Model();
    std::string text;
    ASSERT_TRUE(Choose(model, {}, text)) << text;
    EXPECT_EQ(text, "(m (DE 3) (gain 1.0) (mode 1) (step 0.1) (name \"lane a\") (on False) (eq (c1 -0.1) (c2 0)) "
                    "(level 1.0))");
    ASSERT_TRUE(Choose(model, {{"DE", "7"}, {"on", "true"}, {"eq.c2", "-0.2"}, {"step", "0.45"}, {"mode", "4"},
                               {"level", "1.5"}},
                       text))
        << text;
    EXPECT_EQ(text, "(m (DE 7) (gain 1.0) (mode 4) (step 0.45) (name \"lane a\") (on True) (eq (c1 -0.1) (c2 -0.2)) "
                    "(level 1.5))");
    // An integer written as a whole decimal is that integer.
    ASSERT_TRUE(Choose(model, {{"DE", "5.0"}}, text)) << text;
    EXPECT_NE(text.find("(DE 5)"), std::string::npos) << text;
}

TEST(ParameterString, EveryBadOverrideIsNamed) {
    const linksim::AmiDescription model = Model();
    const struct {
        linksim::ParameterOverride override;
        const char* expected;
    } cases[] = {
        {{"Foo", "1"}, "m has no parameter Foo (its input parameters: DE, gain, mode, step, name, on, eq.c1, eq.c2, free.c1, level)"},
        {{"level", "0.3"}, "parameter level=0.3 is not 0.0 plus a whole number of steps of 0.5"},
        {{"DE", "8"}, "parameter DE=8 is outside its range 0 to 7"},
        {{"DE", "2.5"}, "parameter DE=2.5 is not an integer"},
        {{"gain", "fast"}, "parameter gain=fast is not a number"},
        {{"mode", "2"}, "parameter mode=2 is not one of 0 1 4"},
        {{"step", "0.12"}, "not 0 plus a whole number of steps of 0.05"},
        {{"name", "lane b"}, "the value is fixed at lane a"},
        {{"on", "yes"}, "is neither True nor False"},
        {{"version", "7.2"}, "parameter version of m is Info, not an input"},
        {{"c1", "0"}, "m has more than one parameter c1; give its group too"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(Choose(model, {c.override}, error)) << c.override.name;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(Choose(model, {{"DE", "1"}, {"DE", "2"}}, error));
    EXPECT_NE(error.find("given twice"), std::string::npos) << error;
}

TEST(ParameterString, OverrideTextIsNameEqualsValue) {
    linksim::ParameterOverride override;
    std::string error;
    ASSERT_TRUE(linksim::ParseOverride(" Label = \"a b\" ", override, error));
    EXPECT_EQ(override.name, "Label");
    EXPECT_EQ(override.value, "a b");
    EXPECT_FALSE(linksim::ParseOverride("DE", override, error));
    EXPECT_FALSE(linksim::ParseOverride("=3", override, error));

    linksim::AmiParameter text = Parameter({"s"}, linksim::AmiType::String, linksim::AmiFormat::None, {});
    std::string written;
    EXPECT_FALSE(linksim::CheckParameterValue(text, "a\"b", written, error));
    EXPECT_NE(error.find("double quote"), std::string::npos);
}

}  // namespace
