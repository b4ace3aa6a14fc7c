#include <gtest/gtest.h>

#include <string>

#include "AmiFile.h"

namespace {

const char* const kAmi = R"(| A comment before the root, as IBIS allows.
(demo_model
  (Description "A model (with parentheses) | and a bar in its text.") | a comment after it
  | a whole line of comment, (with a parenthesis
  (Reserved_Parameters
    (AMI_Version (Usage Info) (Type String) (Value "7.1"))
    (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))
    (GetWave_Exists (Usage Info) (Type Boolean) (Default False))
    (Ignore_Bits (Usage Info) (Type Integer) (Value 250000))
  )
  (Model_Specific
    (DE (Usage In) (Type Integer) (Range 7 0 7) (Description "de-emphasis"))
    (Mode (Usage InOut) (Type Integer) (List 0 1 2) (Default 1) (List_Tip "off" "on" "auto"))
    (Old (Usage In) (Type Float) (Format Range 0.5 0.0 1.0))
    (Eq
      (c1 (Usage In) (Type Tap) (Range 0 -0.2 0.2))
      (c2 (Usage Out) (Type Tap))
    )
    (Gauss (Usage Info) (Type Float) (Format Gaussian 0 1))
    (Shape (Usage In) (Type Float) (Table (Labels row weight) (1 0.5) (2 "a b")))
    (debug (Description "Settings for debugging.")
      (dbg_enable (Usage In) (Type Boolean) (Default False))
      (level (Usage In) (Type Float) (Steps 1.0 0.0 2.0 4))
    )
  )
))";

TEST(AmiFile, ReadsReservedAndModelSpecificParameters) {
    linksim::AmiDescription model;
    std::string error;
    ASSERT_TRUE(linksim::ParseAmiText(kAmi, model, error)) << error;
    EXPECT_EQ(model.modelName, "demo_model");
    EXPECT_TRUE(model.initReturnsImpulse);
    EXPECT_FALSE(model.getWaveExists);
    EXPECT_EQ(model.ignoreBits, 250000);
    ASSERT_EQ(model.parameters.size(), 9u);

    const linksim::AmiParameter* de = model.Find("DE");
    ASSERT_NE(de, nullptr);
    EXPECT_EQ(de->usage, linksim::AmiUsage::In);
    EXPECT_EQ(de->type, linksim::AmiType::Integer);
    EXPECT_EQ(de->format, linksim::AmiFormat::Range);
    EXPECT_EQ(de->formatValues, (std::vector<std::string>{"7", "0", "7"}));
    EXPECT_EQ(de->defaultValue, "7");

    const linksim::AmiParameter* mode = model.Find("Mode");
    EXPECT_EQ(mode->usage, linksim::AmiUsage::InOut);
    EXPECT_EQ(mode->format, linksim::AmiFormat::List);
    EXPECT_EQ(mode->defaultValue, "1");

    const linksim::AmiParameter* old = model.Find("Old");
    EXPECT_EQ(old->format, linksim::AmiFormat::Range);
    EXPECT_EQ(old->formatValues, (std::vector<std::string>{"0.5", "0.0", "1.0"}));
    EXPECT_EQ(old->defaultValue, "0.5");

    const linksim::AmiParameter* c1 = model.Find("Eq.c1");
    ASSERT_NE(c1, nullptr);
    EXPECT_EQ(c1->path, (std::vector<std::string>{"Eq", "c1"}));
    EXPECT_EQ(c1->type, linksim::AmiType::Tap);
    EXPECT_EQ(model.Find("c2")->usage, linksim::AmiUsage::Out);
    EXPECT_FALSE(model.Find("c2")->hasDefault);

    // A format the host has no use for bounds nothing.
    EXPECT_EQ(model.Find("Gauss")->format, linksim::AmiFormat::None);
    // A Table reaches the model as the file gives it; a group with a
    // Description holds its members.
    EXPECT_EQ(model.Find("Shape")->format, linksim::AmiFormat::Table);
    EXPECT_EQ(model.Find("Shape")->defaultValue, "(Labels row weight) (1 0.5) (2 \"a b\")");
    ASSERT_NE(model.Find("debug.dbg_enable"), nullptr);
    EXPECT_EQ(model.Find("debug.level")->format, linksim::AmiFormat::Steps);
}

TEST(AmiFile, SaysWhyAFileCannotBeUsed) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"(m (Reserved_Parameters (GetWave_Exists (Value True)))", "parentheses do not match"},
        {"m (a 1)", "does not start with a parenthesis"},
        {"(m (a))", "does not parse"},
        {"(m (Reserved_Parameters (GetWave_Exists (Value True))))", "does not declare Init_Returns_Impulse"},
        {"(m (Reserved_Parameters (Init_Returns_Impulse (Value 1)) (GetWave_Exists (Value True))))",
         "no True or False for Init_Returns_Impulse"},
        {"(m (Reserved_Parameters (Init_Returns_Impulse (Value True)) (GetWave_Exists (Value True)) "
         "(Ignore_Bits (Value -3))))",
         "Ignore_Bits of -3"},
        {"(m (Model_Specific (DE (Usage In))))", "has no Reserved_Parameters"},
        {"(m (Reserved_Parameters (Init_Returns_Impulse (Value True)) (GetWave_Exists (Value True)))\n"
         " (Model_Specific\n  (DE (usage In) (Type Integer) (Value 3))))",
         "line 3: 'usage' in parameter DE is written Usage in IBIS, whose keywords are case-sensitive"},
        {"(m (Reserved_Parameters (Init_Returns_Impulse (Value True)) (GetWave_Exists (Value True)))\n"
         " (Model_Specific (g (Description \"x\")\n  (DEX (Usage In) (Type Integer) (Default 1))\n  (DE (Usage In) (Type Integer)))))",
         "line 4: the In parameter g.DE has neither a default nor a value"},
    };
    for (const auto& c : cases) {
        linksim::AmiDescription model;
        std::string error;
        EXPECT_FALSE(linksim::ParseAmiText(c.text, model, error)) << c.text;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.text << ": " << error;
    }
    linksim::AmiDescription model;
    std::string error;
    EXPECT_FALSE(linksim::ReadAmiFile("/nonexistent/x.ami", model, error));
    EXPECT_EQ(error, "cannot read the .ami file /nonexistent/x.ami: No such file or directory");
}

}  // namespace
