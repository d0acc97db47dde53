// Unquoting and splitting of the command lines the adb client sends to the phone's shell.
#include <gtest/gtest.h>

#include "adb/shell_words.h"

using zsim::adb::parseShellLine;
using Words = std::vector<std::string>;

TEST(ShellWords, TheClientsOwnQuotingComesOffExactly)
{
    auto line = parseShellLine("pm 'install' '-r' '/data/local/tmp/my app.apk'");
    ASSERT_TRUE(line.error.empty());
    ASSERT_EQ(line.commands.size(), 1u);
    EXPECT_EQ(line.commands[0].words, (Words{"pm", "install", "-r", "/data/local/tmp/my app.apk"}));

    // The client writes a quote inside a quoted argument as '\''.
    line = parseShellLine("rm 'it'\\''s.apk' </dev/null");
    ASSERT_EQ(line.commands.size(), 1u);
    EXPECT_EQ(line.commands[0].words, (Words{"rm", "it's.apk"}));
    ASSERT_EQ(line.commands[0].redirects.size(), 1u);
    EXPECT_EQ(line.commands[0].redirects[0].fd, 0);
    EXPECT_EQ(line.commands[0].redirects[0].op, "<");
    EXPECT_EQ(line.commands[0].redirects[0].target, "/dev/null");

    line = parseShellLine("echo \"a \\\"b\\\" $c\" d\\ e '' x");
    ASSERT_EQ(line.commands.size(), 1u);
    EXPECT_EQ(line.commands[0].words, (Words{"echo", "a \"b\" $c", "d e", "", "x"}));
}

TEST(ShellWords, RedirectionsAndConnectors)
{
    auto line = parseShellLine("ls /sdcard 2>&1 > /sdcard/out.txt; getprop x && echo ok || echo no | cat");
    ASSERT_TRUE(line.error.empty()) << line.error;
    ASSERT_EQ(line.commands.size(), 5u);
    const auto& ls = line.commands[0];
    EXPECT_EQ(ls.words, (Words{"ls", "/sdcard"}));
    ASSERT_EQ(ls.redirects.size(), 2u);
    EXPECT_EQ(ls.redirects[0].fd, 2);
    EXPECT_EQ(ls.redirects[0].op, ">&");
    EXPECT_EQ(ls.redirects[0].target, "1");
    EXPECT_EQ(ls.redirects[1].fd, 1);
    EXPECT_EQ(ls.redirects[1].target, "/sdcard/out.txt");
    EXPECT_EQ(ls.connector, ";");
    EXPECT_EQ(line.commands[1].connector, "&&");
    EXPECT_EQ(line.commands[2].connector, "||");
    EXPECT_EQ(line.commands[3].connector, "|");
    EXPECT_EQ(line.commands[4].connector, "");

    // A quoted number is a word, not a descriptor.
    line = parseShellLine("echo '2'>f");
    ASSERT_EQ(line.commands.size(), 1u);
    EXPECT_EQ(line.commands[0].words, (Words{"echo", "2"}));
    EXPECT_EQ(line.commands[0].redirects[0].fd, 1);

    line = parseShellLine("  getprop  ;; # a comment 'with quote");
    ASSERT_TRUE(line.error.empty());
    ASSERT_EQ(line.commands.size(), 1u);
    EXPECT_EQ(line.commands[0].words, (Words{"getprop"}));
    EXPECT_EQ(line.commands[0].connector, "");

    EXPECT_TRUE(parseShellLine("").commands.empty());
    EXPECT_TRUE(parseShellLine("").error.empty());
}

TEST(ShellWords, SyntaxErrorsAreReportedNotGuessed)
{
    EXPECT_FALSE(parseShellLine("echo 'open").error.empty());
    EXPECT_FALSE(parseShellLine("echo \"open").error.empty());
    EXPECT_FALSE(parseShellLine("echo a &&").error.empty());
    EXPECT_FALSE(parseShellLine("&& echo a").error.empty());
    EXPECT_FALSE(parseShellLine("echo >").error.empty());
    EXPECT_FALSE(parseShellLine("echo > ; ls").error.empty());
    EXPECT_TRUE(parseShellLine("echo a &&").commands.empty());
}
