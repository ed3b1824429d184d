// The temporary file stream, the line stream and the time counter.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "mail/exception.h"
#include "mail/mscls.h"
#include "mail/mssafefile.h"
#include "mail/tests/testutil.h"

using namespace mailtest;

namespace {
std::vector<std::string> allLines(TLineStream& s) {
    std::vector<std::string> lines;
    std::string line;
    for (;;) {
        s.ReadLine(line);
        if (s.Eof())
            break;
        lines.push_back(line);
    }
    EXPECT_EQ(line, kLineStreamEnd);
    return lines;
}
} // namespace

TEST(LineStream, LinesAndEnd) {
    TLineStream s;
    s.Write("one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(allLines(s), (std::vector<std::string>{"one", "two", "three"}));
    std::string line;
    s.ReadLine(line); // stays at the end
    EXPECT_TRUE(s.Eof());
    s.Reset();
    EXPECT_FALSE(s.Eof());
    EXPECT_EQ(allLines(s).front(), "one");

    TLineStream mixed;
    mixed.Write(std::string("a\nb\rc\r\n\r\nlast\0x", 15));
    EXPECT_EQ(allLines(mixed),
              (std::vector<std::string>{"a", "b", "c", "", std::string("last\0x", 6)}));

    TLineStream empty;
    EXPECT_TRUE(allLines(empty).empty());
}

TEST(LineStream, LongDataAndLongLines) {
    std::string data;
    std::vector<std::string> expected;
    for (int i = 0; data.size() < 40000; ++i) {
        std::string line = std::to_string(i) + std::string(78 - std::to_string(i).size(), 'x');
        expected.push_back(line);
        data += line + "\r\n";
    }
    // Lines far longer than any read chunk come back whole.
    expected.push_back(std::string(100000, 'L'));
    data += expected.back() + "\n";
    expected.push_back("tail");
    data += "tail";
    TLineStream s;
    s.Write(data);
    EXPECT_EQ(allLines(s), expected);
}

TEST(TimeCounter, ExpiresAndStaysExpired) {
    TTimeCounter c;
    EXPECT_EQ(c.TimeOut(), 60);
    c.SetTimeOut(3);
    c.Start();
    c.Tick();
    c.Tick();
    EXPECT_FALSE(c.Expired());
    c.Tick();
    EXPECT_TRUE(c.Expired());
    c.Start();
    EXPECT_TRUE(c.Expired());
    c.SetExpired(false);
    c.Stop();
    EXPECT_FALSE(c.Enabled());
}

TEST(TempFileStream, LivesWithTheStream) {
    ScratchDir dir;
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", dir.Path().c_str(), 1);
    std::string name;
    {
        TTempFileStream s;
        name = s.FileName();
        EXPECT_EQ(std::filesystem::path(name).parent_path(), dir.Path());
        EXPECT_TRUE(std::filesystem::path(name).filename().string().starts_with("ms"));
        EXPECT_EQ(std::filesystem::path(name).extension(), ".tmp");
        struct stat st {};
        ASSERT_EQ(stat(name.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        s << "hello";
        s.flush();
        EXPECT_EQ(ReadFile(name), "hello");
    }
    EXPECT_FALSE(std::filesystem::exists(name));
    setenv("TMPDIR", (dir / "missing").c_str(), 1);
    EXPECT_THROW(TTempFileStream{}, EFCreateError);
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

namespace {
// Hands out its text, then fails as a broken source would.
class BreakingBuf : public std::streambuf {
public:
    explicit BreakingBuf(std::string text) : text_(std::move(text)) {
        setg(text_.data(), text_.data(), text_.data() + text_.size());
    }

protected:
    int_type underflow() override { throw std::ios_base::failure("source broke"); }

private:
    std::string text_;
};
} // namespace

TEST(WriteFileWhole, FromAStreamWholeOrNothing) {
    ScratchDir dir;
    const std::string path = dir.Path().string() + "/msg.eml";
    std::string big;
    for (int i = 0; big.size() < 300000; ++i)
        big += "line " + std::to_string(i) + "\r\n";
    std::istringstream in(big);
    WriteFileWhole(path, in);
    EXPECT_EQ(ReadFile(path), big);
    // A source that breaks halfway leaves the old file and no temporary one.
    BreakingBuf broken(big.substr(0, 1000));
    std::istream partial(&broken);
    EXPECT_THROW(WriteFileWhole(path, partial), EFCreateError);
    EXPECT_EQ(ReadFile(path), big);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1u);
}
