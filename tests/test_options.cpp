// Option tables through the platform's parser: an option of two words among one-word options and
// switches, in any order, its errors, and its line in the help.
#include "platform/system/optionparser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CommandLineForm PairForm() {
    CommandLineForm form;
    form.program = "nvmxv451 pairs";
    form.options = {
        {"pair", "A B", "Two words.", 2, "a letter and a word"},
        {"o,output", "FILE", "A file."},
        {"force", nullptr, "A switch."},
    };
    form.positionalName = "REST...";
    return form;
}

struct Parsed {
    int code;
    ParsedCommandLine line;
    std::string out, err;
};

Parsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), {"nvmxv451", "pairs"});
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    Parsed parsed;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    parsed.code = ParseOptions(PairForm(), (int)argv.size(), argv.data(), 2, &parsed.line);
    parsed.err = testing::internal::GetCapturedStderr();
    parsed.out = testing::internal::GetCapturedStdout();
    return parsed;
}

using Uses = std::vector<std::vector<std::string>>;

TEST(OptionTable, AnOptionOfTwoWordsTakesThemInAnyOrderAmongTheOthers) {
    // Its words are taken whatever they look like; a one-word option's value is never a pair.
    Parsed parsed = Parse({"-o", "--pair", "--pair", "a", "-o", "--force", "--pair", "b",
                           "--output=y", "--output", "x", "--", "--pair"});
    ASSERT_EQ(parsed.code, COMMAND_LINE_RUN) << parsed.err;
    EXPECT_EQ(parsed.line.uses("pair"), (Uses{{"a", "-o"}, {"b", "--output=y"}}));
    EXPECT_EQ(parsed.line.values("pair"), (std::vector<std::string>{"a", "-o", "b", "--output=y"}));
    EXPECT_EQ(parsed.line.values("output"), (std::vector<std::string>{"--pair", "x"}));
    EXPECT_TRUE(parsed.line.isSet("force"));
    EXPECT_EQ(parsed.line.positional, (std::vector<std::string>{"--pair"}));

    // Too few words, or the form with "=", say what the option wants.
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {"--pair", "a"}, {"--force", "--pair"}, {"--pair=a", "b"}}) {
        parsed = Parse(args);
        EXPECT_EQ(parsed.code, 2) << args[0];
        EXPECT_EQ(parsed.err, "nvmxv451 pairs: --pair wants a letter and a word\n"
                              "Try 'nvmxv451 pairs --help'.\n");
        EXPECT_TRUE(parsed.line.uses("pair").empty());
    }
    // Options the table does not know still fail as before.
    EXPECT_EQ(Parse({"--pairs", "a", "b"}).code, 2);

    parsed = Parse({"--help"});
    EXPECT_EQ(parsed.code, 0);
    EXPECT_NE(parsed.out.find("--pair <A B>"), std::string::npos) << parsed.out;
}

} // namespace
