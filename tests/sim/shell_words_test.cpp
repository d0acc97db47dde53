// Unquoting and splitting of the command lines the adb client sends to the phone's shell.
#include <gtest/gtest.h>

#include "adb/shell_words.h"

using zsim::adb::parseShellLine;
using Words = std::vector<std::string>;

TEST(ShellWords, TheClientsOwnQuotingComesOffExactly) {
    const std::pair<const char*, Words> lines[] = {
        {"pm 'install' '-r' '/data/local/tmp/my app.apk'",
         {"pm", "install", "-r", "/data/local/tmp/my app.apk"}},
        {"rm 'it'\\''s.apk' </dev/null", {"rm", "it's.apk"}}, // a quote inside quotes is written '\''
        {"echo \"a \\\"b\\\" $c\" d\\ e '' x", {"echo", "a \"b\" $c", "d e", "", "x"}},
        {"echo '2'>f", {"echo", "2"}}, // a quoted number is a word, not a descriptor
        {"  getprop  ;; # a comment 'with quote", {"getprop"}},
    };
    for (const auto& [text, words] : lines) {
        const auto line = parseShellLine(text);
        EXPECT_TRUE(line.error.empty()) << text << ": " << line.error;
        ASSERT_EQ(line.commands.size(), 1u) << text;
        EXPECT_EQ(line.commands[0].words, words) << text;
        EXPECT_EQ(line.commands[0].connector, "") << text;
    }
    const auto rm = parseShellLine("rm 'it'\\''s.apk' </dev/null").commands.at(0);
    ASSERT_EQ(rm.redirects.size(), 1u);
    EXPECT_EQ(rm.redirects[0].fd, 0);
    EXPECT_EQ(rm.redirects[0].op, "<");
    EXPECT_EQ(rm.redirects[0].target, "/dev/null");
    EXPECT_EQ(parseShellLine("echo '2'>f").commands.at(0).redirects.at(0).fd, 1);
    EXPECT_TRUE(parseShellLine("").commands.empty());
    EXPECT_TRUE(parseShellLine("").error.empty());
}

TEST(ShellWords, RedirectionsConnectorsAndSyntaxErrors) {
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
    const char* connectors[] = {";", "&&", "||", "|", ""};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(line.commands[i].connector, connectors[i]) << i;

    // Errors are reported, not guessed around.
    for (const char* bad : {"echo 'open", "echo \"open", "echo a &&", "&& echo a", "echo >", "echo > ; ls"})
        EXPECT_FALSE(parseShellLine(bad).error.empty()) << bad;
    EXPECT_TRUE(parseShellLine("echo a &&").commands.empty());
}
