#include <gtest/gtest.h>

#include "platform/command_line.h"

using zentro::platform::quoteWindowsArgument;
using zentro::platform::splitWindowsCommandLine;
using Args = std::vector<std::string>;

TEST(CommandLine, SplitsByTheWindowsRules) {
    EXPECT_EQ(splitWindowsCommandLine("\"/opt/host app/adb\" -s ABC shell getprop ro.product.model"),
              (Args{"/opt/host app/adb", "-s", "ABC", "shell", "getprop", "ro.product.model"}));
    // A trailing blank (the pull command lines end in one) adds no empty argument.
    EXPECT_EQ(splitWindowsCommandLine("adb pull /sdcard/a.png \"C:/x y/a.png\" "),
              (Args{"adb", "pull", "/sdcard/a.png", "C:/x y/a.png"}));
    EXPECT_EQ(splitWindowsCommandLine("  a\t\tb  "), (Args{"a", "b"}));
    EXPECT_EQ(splitWindowsCommandLine(""), Args{});
    // An empty quoted argument is kept, as the -s of an empty serial needs.
    EXPECT_EQ(splitWindowsCommandLine("adb -s \"\" shell"), (Args{"adb", "-s", "", "shell"}));
    // Quotes group inside a word.
    EXPECT_EQ(splitWindowsCommandLine("a\"b c\"d"), (Args{"ab cd"}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(splitWindowsCommandLine("a \"b c"), (Args{"a", "b c"}));
}

TEST(CommandLine, BackslashesEscapeOnlyBeforeAQuote) {
    EXPECT_EQ(splitWindowsCommandLine(R"(C:\dir\file.txt)"), (Args{R"(C:\dir\file.txt)"}));
    EXPECT_EQ(splitWindowsCommandLine(R"(a\"b)"), (Args{R"(a"b)"}));        // 1 -> literal quote
    EXPECT_EQ(splitWindowsCommandLine(R"("a\\" b)"), (Args{R"(a\)", "b"})); // 2 -> one, quote closes
    EXPECT_EQ(splitWindowsCommandLine(R"(a\\\"b)"), (Args{R"(a\"b)"}));     // 3 -> one and a quote
    EXPECT_EQ(splitWindowsCommandLine(R"("x""y")"), (Args{R"(x"y)"}));      // "" inside quotes
}

TEST(CommandLine, QuotingRoundTrips) {
    for (const std::string& arg : {std::string("plain"), std::string("two words"), std::string(""),
                                   std::string(R"(C:\Program Files\)"), std::string(R"(say "hi")"),
                                   std::string(R"(tail\\)"), std::string("\t")}) {
        EXPECT_EQ(splitWindowsCommandLine("prog " + quoteWindowsArgument(arg)), (Args{"prog", arg}))
            << "argument [" << arg << "]";
    }
}
