#include "platform/win/paths.h"
#include "platform/win/tempfile.h"

#include "test_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

TEST(Paths, FindsExistingComponentsWithoutRegardToCase) {
    TestDir dir;
    std::filesystem::create_directories(dir.path() + "Messages/ACC1/Pending");
    std::ofstream(dir.path() + "Messages/ACC1/Pending/Mail.eml") << "x";
    std::string win = dir.path() + "messages\\acc1\\pending\\MAIL.EML";
    EXPECT_EQ(win::ResolvePath(win), dir.path() + "Messages/ACC1/Pending/Mail.eml");
    // A missing tail stays as written below the last folder found.
    EXPECT_EQ(win::ResolvePath(dir.path() + "MESSAGES\\acc1\\In\\new.eml"),
              dir.path() + "Messages/ACC1/In/new.eml");
    EXPECT_EQ(win::ResolvePath(dir.path() + "messages\\"), dir.path() + "Messages/");
    EXPECT_TRUE(win::FileExists(win));
    EXPECT_TRUE(win::DirectoryExists(dir.path() + "MESSAGES/acc1"));
    EXPECT_FALSE(win::FileExists(dir.path() + "MESSAGES/acc1"));
}

TEST(Paths, DriveLettersMapToTheRoot) {
    EXPECT_EQ(win::ResolvePath("c:\\program files\\dovira\\quelta\\messages\\"),
              "/opt/dovira/quelta/messages/");
    EXPECT_EQ(win::ResolvePath("D:\\nowhere\\x.txt"), "/nowhere/x.txt");
}

TEST(Paths, NameParts) {
    EXPECT_EQ(win::ExtractFileName("a\\b/c.eml"), "c.eml");
    EXPECT_EQ(win::ExtractFilePath("a\\b/c.eml"), "a\\b/");
    EXPECT_EQ(win::ExtractFileExt("dir.x/name"), "");
    EXPECT_EQ(win::ExtractFileExt("a/b.tar.gz"), ".gz");
    EXPECT_EQ(win::ChangeFileExt("a.b/c.dbf", ".cdx"), "a.b/c.cdx");
    EXPECT_EQ(win::ChangeFileExt("a.b/c", ".cdx"), "a.b/c.cdx");
    EXPECT_EQ(win::IncludeTrailingPathDelimiter("x"), "x/");
    EXPECT_EQ(win::IncludeTrailingPathDelimiter("x\\"), "x\\");
}

TEST(Paths, ForceDirectoriesAndTempFiles) {
    TestDir dir;
    EXPECT_TRUE(win::ForceDirectories(dir.path() + "a\\b\\c\\"));
    EXPECT_TRUE(win::DirectoryExists(dir.path() + "a/b/c"));
    std::string t1 = win::CreateTempFile(dir.path(), "ms");
    std::string t2 = win::CreateTempFile(dir.path(), "ms");
    EXPECT_NE(t1, t2);
    EXPECT_EQ(win::ExtractFileName(t1).substr(0, 2), "ms");
    EXPECT_EQ(win::ExtractFileExt(t1), ".tmp");
    struct stat st;
    ASSERT_EQ(::stat(t1.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_THROW((void)win::CreateTempFile(dir.path() + "none/", "ms"), std::runtime_error);
}

TEST(Paths, TempFilesOfProgramsThatNoLongerRunAreRemoved) {
    TestDir dir;
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child);
    const std::string mine = win::CreateTempFile(dir.path(), "ms");
    EXPECT_EQ(win::ExtractFileName(mine).rfind("ms" + std::to_string(::getpid()) + "-", 0), 0u);
    const std::vector<std::string> stay = {
        mine,
        dir.path() + "ms" + std::to_string(::getppid()) + "-abcdef.tmp", // still runs
        dir.path() + "ms" + dead + "-abcdef.txt",                        // not a temporary file
        dir.path() + "ms" + dead + "-abc.tmp",                           // not of that pattern
        dir.path() + "xs" + dead + "-abcdef.tmp",                        // another prefix
        dir.path() + "ms" + dead + "x-abcdef.tmp",                       // no process id
        dir.path() + "msabcdef.tmp"};
    for (const std::string& name : stay)
        std::ofstream(name, std::ios::app) << "x";
    const std::string gone = dir.path() + "ms" + dead + "-Ab12cD.tmp";
    std::ofstream(gone) << "a message that was being sent";
    std::filesystem::create_directory(dir.path() + "ms" + dead + "-folder.tmp");
    EXPECT_EQ(win::RemoveAbandonedTempFiles(dir.path(), "ms"), 1);
    EXPECT_FALSE(std::filesystem::exists(gone));
    for (const std::string& name : stay)
        EXPECT_TRUE(std::filesystem::exists(name)) << name;
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "ms" + dead + "-folder.tmp"));
    EXPECT_EQ(win::RemoveAbandonedTempFiles(dir.path() + "missing/", "ms"), 0);
}
