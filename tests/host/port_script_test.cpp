#include <gtest/gtest.h>

#include <string>

#include "host/port_script.h"
#include "tests/support/host_result.h"

namespace {

bool Parse(const std::string& text, PortScript* script, std::string* error)
{
    return Ok(ParsePortScript(reinterpret_cast<const uint8_t*>(text.data()), text.size(), script), error);
}

}  // namespace

TEST(PortScript, ReadsEveryLineKind)
{
    const std::string text =
        "# a comment line\r\n"
        "rate 22050\r\n"
        "\n"
        "   out 0xAC 0x8e   # latch tone 0\n"
        "out 175 255\n"
        "out 0x108 0\n"
        "mix 100\n"
        "mix 0X10";  // no final newline
    PortScript script;
    std::string error;
    ASSERT_TRUE(Parse(text, &script, &error)) << error;
    ASSERT_EQ(script.steps.size(), 6u);
    using K = ScriptStep::Kind;
    const ScriptStep expected[] = {
        {K::Rate, 0, 22050}, {K::Out, 0xAC, 0x8E}, {K::Out, 0xAF, 0xFF},
        {K::Out, 0x108, 0},  {K::Mix, 0, 100},     {K::Mix, 0, 16},
    };
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(script.steps[i].kind, expected[i].kind);
        EXPECT_EQ(script.steps[i].port, expected[i].port);
        EXPECT_EQ(script.steps[i].value, expected[i].value);
    }
    EXPECT_EQ(script.rateHz, 22050);
    EXPECT_EQ(script.totalFrames, 116u);
}

TEST(PortScript, RefusesBadLinesNamingTheLine)
{
    struct Case {
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"mix 1\nplay 3\n", "line 2: unknown command 'play'"},
        {"Vgm junk\n", "line 1: unknown command 'Vgm'"},
        {"out 0xAC\n", "line 1: 'out' takes a port and a value"},
        {"mix\n", "line 1: 'mix' takes one number"},
        {"mix 1 2\n", "line 1: 'mix' takes one number"},
        {"out 0xAC 0x1G\n", "'0x1G' is not a number"},
        {"out 0xAC -1\n", "'-1' is not a number"},
        {"mix 0x\n", "'0x' is not a number"},
        {"mix 4294967296\n", "is not a number"},
        {"out 0x10000 0\n", "port 0x10000 is outside"},
        {"out 0xAC 256\n", "value 256 is not a byte"},
        {"rate 3\n", "rate 3 is outside"},
        {"rate 3997382\n", "rate 3997382 is outside"},
        {"mix 4194305\n", "more than 4194304 frames"},
        {std::string("mix 1\n\0\n", 8), "binary data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        PortScript script;
        std::string error;
        EXPECT_FALSE(Parse(c.text, &script, &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(PortScript, LastRateBeforeTheFirstMixIsTheOutputRate)
{
    PortScript script;
    std::string error;
    ASSERT_TRUE(Parse("rate 4\nrate 3997381\nmix 4194304\n", &script, &error)) << error;
    EXPECT_EQ(script.rateHz, 3997381);
    EXPECT_EQ(script.totalFrames, 4194304u);
}

TEST(PortScript, RateLinesAfterTheFirstMixAreKeptWithTheirLines)
{
    PortScript script;
    std::string error;
    ASSERT_TRUE(Parse("rate 22050\nmix 1\n\nrate 44100\nmix 1\nrate 22050\n", &script, &error)) << error;
    EXPECT_EQ(script.rateHz, 22050);
    ASSERT_EQ(script.lateRates.size(), 2u);
    EXPECT_EQ(script.lateRates[0].line, 4u);
    EXPECT_EQ(script.lateRates[0].rateHz, 44100);
    EXPECT_EQ(script.lateRates[1].line, 6u);
    EXPECT_EQ(script.steps.size(), 5u);
}
