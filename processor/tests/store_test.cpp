#include "processor/store.h"

#include "platform/win/paths.h"
#include "platform/win/tests/test_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

using quelta::SanitizeFileName;

TEST(Store, SanitizeKeepsLengthAndReplacesUnsafeCharacters) {
    EXPECT_EQ(quelta::MessageFileName("<12.34>"), "-12.34-.eml");
    EXPECT_EQ(SanitizeFileName("19981208102030Re: o"), "19981208102030Re- o");
    EXPECT_EQ(SanitizeFileName("a|b?c:d\"e<f>g"), "a-b-c-d-e-f-g");
    // A key from mail can never leave its folder.
    EXPECT_EQ(SanitizeFileName("<../../etc/passwd>"), "-..-..-etc-passwd-");
    EXPECT_EQ(SanitizeFileName("a\\b\r\n\x7f"), "a-b---");
    EXPECT_EQ(SanitizeFileName(".."), "--");
    EXPECT_EQ(SanitizeFileName("."), "-");
    EXPECT_EQ(SanitizeFileName("..."), "...");
}

TEST(Store, FoldersFoundWithoutRegardToCaseAndCreated) {
    TestDir dir;
    std::string messages = dir.path() + "messages\\";
    std::string pending =
        quelta::ForceStoreFolder(messages, "2026120901", quelta::TStoreFolder::Pending);
    EXPECT_EQ(pending, dir.path() + "messages/2026120901/Pending/");
    EXPECT_TRUE(win::DirectoryExists(pending));
    std::filesystem::create_directories(dir.path() + "messages/2026120901/in");
    EXPECT_EQ(quelta::StoreFolderPath(messages, "2026120901", quelta::TStoreFolder::In),
              dir.path() + "messages/2026120901/in/");
    EXPECT_EQ(quelta::StoreFolderPath(messages, "2026120901", quelta::TStoreFolder::Sent),
              dir.path() + "messages/2026120901/Sent/");
}

TEST(Store, LongKeysGiveNamesThatFitAndStayApart) {
    const std::string a = "<" + std::string(3000, 'x') + "a@x>";
    const std::string b = "<" + std::string(3000, 'x') + "b@x>";
    const std::string nameA = quelta::MessageFileName(a), nameB = quelta::MessageFileName(b);
    EXPECT_NE(nameA, nameB);
    EXPECT_EQ(nameA.size(), quelta::kMaxKeyNameLength + 4);
    EXPECT_EQ(nameA, quelta::MessageFileName(a)); // the same key, the same name
    EXPECT_EQ(quelta::MessageFileName("<12.34>", 2), "-12.34-~2.eml");
}
