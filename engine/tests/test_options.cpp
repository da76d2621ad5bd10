#include "options.h"

#include <gtest/gtest.h>

#include <functional>

using tarnwick::parse_options;
using tarnwick::Settings;
using tarnwick::tokenize;
using Tokens = std::vector<std::string>;

TEST(Tokenizer, SplitsQuotesAndEndsAsDefined) {
    const struct {
        std::string text;
        Tokens tokens;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"  -w   10  ", {"-w", "10"}},
        {"-P \"/my data/\" -Q", {"-P", "/my data/", "-Q"}},
        // characters before the opening quote are dropped; text after the closing quote
        // starts the next token
        {"ab\"c d\"ef g", {"c d", "ef", "g"}},
        // a quote in a token that begins with "-" means nothing; the next token opens a
        // quote that never closes and so takes the appended blank
        {"-x\"y z\"", {"-x\"y", " "}},
        // no closing quote: the rest, with the appended blank, is the last token
        {"-P \"/open end -Q", {"-P", "/open end -Q "}},
        // an empty quoted value ends the list
        {"-D \"\" -O /out/", {"-D"}},
        {"a\tb c", {"a\tb", "c"}},
    };
    for (const auto& c : cases) EXPECT_EQ(tokenize(c.text.c_str()), c.tokens) << c.text;
    EXPECT_EQ(tokenize(nullptr), Tokens{});
}

TEST(Tokenizer, ReadsAtMost21TokensAnd255Characters) {
    std::string text;
    for (int i = 1; i <= 25; ++i) text += std::to_string(i) + " ";
    const Tokens t = tokenize(text.c_str());
    ASSERT_EQ(t.size(), 21u);
    EXPECT_EQ(t.back(), "21");

    auto last_after = [](size_t pad) {
        return tokenize((std::string(pad, 'x') + " -Q").c_str()).back();
    };
    EXPECT_EQ(last_after(252), "-Q"); // 255 characters
    EXPECT_EQ(last_after(253), "-");  // the "Q" is character 256
    EXPECT_EQ(last_after(254), std::string(254, 'x'));
}

TEST(Options, ParseValuesErrorsAndPassOrder) {
    using Check = std::function<void(const Settings&)>;
    const struct {
        const char* text;
        bool error;
        Check check;
    } cases[] = {
        {"", false,
         [](const Settings& s) {
             EXPECT_EQ(s.max_width, 3072);
             EXPECT_EQ(s.max_height, 3072);
             EXPECT_EQ(s.channel, "r");
             EXPECT_FALSE(s.squaring);
             EXPECT_EQ(s.upper, 1.0f);
             EXPECT_EQ(s.angle_high, 180.0f);
         }},
        {"-w 100 -h 200", false,
         [](const Settings& s) {
             EXPECT_EQ(s.max_width, 100);
             EXPECT_EQ(s.max_height, 200);
         }},
        {"-w 10 -w 20 junk", false, [](const Settings& s) { EXPECT_EQ(s.max_width, 20); }},
        {"-w +7", false, [](const Settings& s) { EXPECT_EQ(s.max_width, 7); }},
        {"-w \" 12\"", false, [](const Settings& s) { EXPECT_EQ(s.max_width, 12); }},
        {"-w -3", false, [](const Settings& s) { EXPECT_EQ(s.max_width, -3); }},
        {"-w", true, nullptr},
        {"-w 1.5", true, nullptr},
        {"-w 12x", true, nullptr},
        {"-w +-5", true, nullptr},
        {"-w 99999999999", true, nullptr},
        {"-L 0.5 -U 1e-1 -l 30 -u 150.", false,
         [](const Settings& s) {
             EXPECT_EQ(s.lower, 0.5f);
             EXPECT_EQ(s.upper, 0.1f);
             EXPECT_EQ(s.angle_low, 30.0f);
             EXPECT_EQ(s.angle_high, 150.0f);
         }},
        {"-d .15 -s -2E+1", false,
         [](const Settings& s) {
             EXPECT_EQ(s.dark, 0.15f);
             EXPECT_EQ(s.angle_limit, -20.0f);
         }},
        {"-U 1e", true, nullptr},
        {"-U inf", true, nullptr},
        {"-U nan", true, nullptr},
        {"-U 0,5", true, nullptr},
        {"-U 1e39", true, nullptr},
        {"-U 1e-20", false, [](const Settings& s) { EXPECT_EQ(s.upper, 1e-20f); }},
        // "-C" as the last token has no value: red, no error
        {"-C", false, [](const Settings& s) { EXPECT_EQ(s.channel, "r"); }},
        {"-C m", false, [](const Settings& s) { EXPECT_EQ(s.channel, "m"); }},
        {"-C x", true, nullptr},
        {"-C R", true, nullptr},
        {"-C x -C b", false, [](const Settings& s) { EXPECT_EQ(s.channel, "b"); }},
        {"-w 5 -Q -h 6", false,
         [](const Settings& s) {
             EXPECT_TRUE(s.squaring);
             EXPECT_EQ(s.max_height, 6);
         }},
        // the value of "-w" is "-h": an error, and the later "-h" test of the same pass
        // still sees that token and takes "5"
        {"-w -h 5", true, [](const Settings& s) { EXPECT_EQ(s.max_height, 5); }},
        {"-s -Q", true, [](const Settings& s) { EXPECT_TRUE(s.squaring); }},
        // "-h" is tested after "-w": here "-w" is the value of "-h" and is not seen as option
        {"-h -w 5", true, [](const Settings& s) { EXPECT_EQ(s.max_width, 3072); }},
        {"-P \"/a b/\" -D /b/ -O /c/", false,
         [](const Settings& s) {
             EXPECT_EQ(s.common_folder, "/a b/");
             EXPECT_EQ(s.input_folder, "/b/");
             EXPECT_EQ(s.output_folder, "/c/");
         }},
        {"-D \"\" -O /c/", false, [](const Settings& s) { EXPECT_EQ(s.output_folder, ""); }},
    };
    for (const auto& c : cases) {
        const tarnwick::ParsedOptions p = parse_options(c.text);
        EXPECT_EQ(p.error, c.error) << c.text;
        if (c.check) {
            SCOPED_TRACE(c.text);
            c.check(p.settings);
        }
    }
}
