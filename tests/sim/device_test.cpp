// The phone model: its file tree and the per-device faults the companion reads.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "device.h"

using zsim::CompanionFault;
using zsim::Device;
using zsim::FileTree;
using Names = std::vector<std::string>;

TEST(FileTree, PathsAreNormalisedAndFoldersFollowFromFiles) {
    FileTree tree;
    tree.write("/sdcard//DCIM/./Camera/a.jpg", "abc", 1700000000);
    tree.write("/sdcard/Music/../Music/b.mp3", std::string(70000, 'm'));
    for (const char* same : {"/sdcard/DCIM/Camera/a.jpg", "/storage/emulated/0/DCIM/Camera/a.jpg",
                             "sdcard/DCIM/../../sdcard/DCIM/Camera/a.jpg"})
        EXPECT_EQ(tree.read(same), "abc") << same;
    EXPECT_FALSE(tree.read("/storage/emulated/01/DCIM/Camera/a.jpg"));
    auto st = tree.stat("/sdcard/DCIM/Camera/a.jpg/");
    ASSERT_TRUE(st);
    EXPECT_TRUE(S_ISREG(st->mode));
    EXPECT_EQ(st->size, 3u);
    EXPECT_EQ(st->mtime, 1700000000u);
    for (const char* folder : {"/", "/sdcard", "/sdcard/DCIM/", "/sdcard/DCIM/Camera"})
        EXPECT_TRUE(tree.stat(folder) && S_ISDIR(tree.stat(folder)->mode)) << folder;

    // A name that only shares a prefix with a folder is not inside it.
    EXPECT_FALSE(tree.stat("/sdcard/DC"));
    EXPECT_FALSE(tree.read("/sdcard/DCIM"));
    EXPECT_EQ(tree.list("/sdcard"), (Names{"/sdcard/DCIM/Camera/a.jpg", "/sdcard/Music/b.mp3"}));
    EXPECT_EQ(tree.list("/sdcard/DCIM/"), (Names{"/sdcard/DCIM/Camera/a.jpg"}));
    EXPECT_TRUE(tree.list("/sdcard/DC").empty());
    EXPECT_EQ(tree.children("/sdcard"), (Names{"DCIM", "Music"}));
    EXPECT_EQ(tree.children("/"), (Names{"sdcard"}));
    EXPECT_FALSE(tree.children("/sdcard/Music/b.mp3"));
    EXPECT_FALSE(tree.children("/nowhere"));
}

TEST(FileTree, EmptyFoldersAppendAndRemove) {
    FileTree tree;
    tree.makeFolder("/sdcard/Download/");
    EXPECT_EQ(tree.children("/sdcard/Download"), Names{});
    EXPECT_EQ(tree.children("/sdcard"), Names{"Download"});
    tree.append("/sdcard/Download/x", "ab");
    tree.append("/sdcard/Download/x", "cd");
    EXPECT_EQ(tree.read("/sdcard/Download/x"), "abcd");

    // A folder that still holds something stays.
    EXPECT_FALSE(tree.remove("/sdcard/Download"));
    EXPECT_TRUE(tree.remove("/sdcard/Download/x"));
    EXPECT_FALSE(tree.remove("/sdcard/Download/x"));
    EXPECT_TRUE(tree.remove("/sdcard/Download"));
    EXPECT_FALSE(tree.stat("/sdcard"));
}

TEST(Device, FaultsAreConsumedByCountThenTheWildcardAnswers) {
    Device d("S1", 1);
    CompanionFault twice, always;
    twice.kind = CompanionFault::Kind::CustomReply;
    twice.times = 2;
    always.kind = CompanionFault::Kind::Empty;
    d.setCompanionFault("hello-transfer", twice);
    d.setCompanionFault("*", always);
    EXPECT_EQ(d.takeCompanionFault("hello-transfer").kind, CompanionFault::Kind::CustomReply);
    EXPECT_EQ(d.takeCompanionFault("hello-transfer").kind, CompanionFault::Kind::CustomReply);
    // Used up: the wildcard answers from now on, and it never runs out.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(d.takeCompanionFault("hello-transfer").kind, CompanionFault::Kind::Empty);
    EXPECT_EQ(d.takeCompanionFault("getsmsCount").kind, CompanionFault::Kind::Empty);
    d.clearCompanionFaults();
    EXPECT_EQ(d.takeCompanionFault("getsmsCount").kind, CompanionFault::Kind::None);
}
