// A writer killed at any moment of an append or a pack (between its records
// and its index keys too) leaves a table whose tags the next writer puts right:
// every tag lists every record, in key order, with the record's key.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/xbase/tests/xbtest_util.h"

namespace {

using namespace xbtest;

void AppendRow(int n) {
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK) << ErrorText();
    Put("ID", "id" + std::to_string(n));
    Put("NAME", "name" + std::to_string(n % 97));
    Put("CITY", "city" + std::to_string(n % 13));
    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
    xb_Unlock(0);
}

std::string MakePeople(const TempDir& dir) {
    const XbFieldDef fields[] = {Def("ID", 'C', 12), Def("NAME", 'C', 20), Def("CITY", 'C', 20)};
    const std::string p = dir.File("people.dbf");
    EXPECT_EQ(xb_Create(p.c_str(), fields, 3), 1);
    EXPECT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    for (const char* tag : {"ID", "NAME", "CITY"})
        EXPECT_GT(xb_IndexTag("", tag, tag, 0, 0, ""), 0) << ErrorText();
    xb_CloseAll();
    return p;
}

// Every tag lists every record once, in key order, with the record's key.
void ExpectTagsWhole(const TempDir& dir, const std::string& p, int atLeast) {
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_READONLY, 2), 0);
    const int count = xb_RecCount();
    ASSERT_GT(count, atLeast);
    for (const char* tag : {"ID", "NAME", "CITY"}) {
        SCOPED_TRACE(tag);
        xb_SetOrder(xb_TagArea(tag));
        std::vector<bool> seen(static_cast<std::size_t>(count) + 1);
        std::string last;
        int entries = 0;
        for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
            const std::string value = Trim(tag);
            EXPECT_LE(last, value);
            last = value;
            seen[static_cast<std::size_t>(xb_RecNo())] = true;
            ++entries;
        }
        EXPECT_EQ(entries, count);
        EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), true), count);
        // An outside reader follows the repaired trees too.
        if (std::system("command -v index_dump >/dev/null 2>&1") == 0) {
            const std::string dump =
                Capture("index_dump --type char '" + dir.File("people.cdx") + "' " + tag);
            EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), count);
        }
    }
    xb_CloseAll();
}

} // namespace

#ifdef XBASE_HAS_INDEXES
TEST(KilledWriter, TheNextWriterRepairsTheTags) {
    EngineReset reset;
    TempDir dir;
    const std::string p = MakePeople(dir);
    std::mt19937 rng(1007);
    int next = 0;
    for (int round = 0; round < 40; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            // Appends until it is killed.
            if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0)
                ::_exit(1);
            for (int n = 1000000 * (round + 1);; ++n)
                AppendRow(n);
        }
        ASSERT_GT(child, 0);
        ::usleep(2000 + rng() % 20000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        // The next writer: one append, which repairs what the kill left.
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
        AppendRow(next++);
        xb_CloseAll();
    }

    ExpectTagsWhole(dir, p, 40);
}

// A pack moves records before it builds the tags again; killed in between,
// the next writer builds them from the records.
TEST(KilledWriter, AKilledPackLeavesTagsTheNextWriterRepairs) {
    EngineReset reset;
    TempDir dir;
    const std::string p = MakePeople(dir);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    for (int n = 0; n < 6000; ++n)
        AppendRow(n);
    xb_CloseAll();
    std::mt19937 rng(2011);
    int next = 1000000;
    for (int round = 0; round < 12; ++round) {
        // A few rows deleted, all over the table, for the pack to move the rest.
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
        for (int r = 1 + round; r <= xb_RecCount(); r += 37) {
            xb_Go(r);
            xb_Delete();
        }
        xb_CloseAll();
        const pid_t child = ::fork();
        if (child == 0) {
            if (xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2) == 0)
                ::_exit(1);
            xb_Pack();
            ::_exit(0);
        }
        ASSERT_GT(child, 0);
        ::usleep(rng() % 8000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
        AppendRow(next++);
        xb_CloseAll();
    }
    ExpectTagsWhole(dir, p, 5000);
}
#endif
