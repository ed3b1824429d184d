#include "processor/store.h"

#include "platform/win/paths.h"
#include "platform/win/tests/test_dir.h"

#include "mail/msmsgcls.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using quelta::SanitizeFileName;

namespace {

void Spit(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

} // namespace

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

TEST(MessageIdentity, HeaderBlockAndSizeEachCount) {
    TmsHeaders a, b;
    a.Add("Message-ID: <same@x>");
    a.Add("Subject: one");
    b.Add("Message-ID: <same@x>");
    b.Add("Subject: two");
    const quelta::TMessageIdentity one = quelta::IdentityOf(a, 1000);
    EXPECT_EQ(one.headers.size(), 10u);
    EXPECT_EQ(one.size.size(), 5u);
    EXPECT_EQ(quelta::IdentityOf(a, 1000), one);
    EXPECT_NE(quelta::IdentityOf(b, 1000).headers, one.headers);
    EXPECT_EQ(quelta::IdentityOf(a, 999).headers, one.headers);
    EXPECT_NE(quelta::IdentityOf(a, 999).size, one.size);
    // A marked pending file keeps what was known of it as it arrived.
    TestDir dir;
    const std::string path = dir.path() + "m.eml";
    quelta::TRunMark mark{"<odd\r\nkey%41>", one, false};
    Spit(quelta::RunMarkPath(path), quelta::RunMarkText(mark));
    quelta::TRunMark read;
    ASSERT_TRUE(quelta::ReadRunMark(path, read));
    EXPECT_EQ(read.key, mark.key);
    EXPECT_EQ(read.identity, one);
    EXPECT_FALSE(read.row);
    mark.row = true;
    Spit(quelta::RunMarkPath(path), quelta::RunMarkText(mark));
    ASSERT_TRUE(quelta::ReadRunMark(path, read));
    EXPECT_TRUE(read.row);
    // Marks of earlier versions: the agents ran, nothing more is known.
    Spit(quelta::RunMarkPath(path), "agents\n");
    ASSERT_TRUE(quelta::ReadRunMark(path, read));
    EXPECT_FALSE(read.identity.Known());
    EXPECT_FALSE(quelta::ReadRunMark(path + "x", read));
}
