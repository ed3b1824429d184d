// A writer killed at any moment of an append or a pack (between its records
// and its index keys too) leaves a table whose tags the next writer puts right:
// every tag lists every record, in key order, with the record's key.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/xbase/tests/xbtest_util.h"

namespace {

using namespace xbtest;

bool TryAppendRow(int n) {
    if (xb_AppendEx() != XB_APPEND_OK)
        return false;
    Put("ID", "id" + std::to_string(n));
    Put("NAME", "name" + std::to_string(n % 97));
    Put("CITY", "city" + std::to_string(n % 13));
    const bool written = xb_Commit() == 1;
    xb_Unlock(0);
    return written;
}

void AppendRow(int n) {
    ASSERT_TRUE(TryAppendRow(n)) << ErrorText();
}

// Reads one report byte per row a writer wrote; false at the end of the
// pipe, or when nothing comes for a time that only bounds a hang.
bool ReadReports(int fd, int& rows) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 300000) != 1)
        return false;
    char buf[256];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0)
        return false;
    rows += static_cast<int>(n);
    return true;
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
    ASSERT_GE(count, atLeast);
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
    int next = 0, reported = 0;
    for (int round = 0; round < 40; ++round) {
        // Killed once it has written a number of rows: a point of its work,
        // whatever the machine's speed; the kill lands in a later append.
        const int target = 1 + static_cast<int>(rng() % 25);
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // Appends until it is killed, one report byte after each row.
            ::close(pipeFds[0]);
            if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0)
                ::_exit(1);
            for (int n = 1000000 * (round + 1);; ++n) {
                if (!TryAppendRow(n))
                    ::_exit(2);
                if (::write(pipeFds[1], "r", 1) != 1)
                    ::_exit(3);
            }
        }
        ASSERT_GT(child, 0);
        ::close(pipeFds[1]);
        int rows = 0;
        while (rows < target && ReadReports(pipeFds[0], rows)) {
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        while (ReadReports(pipeFds[0], rows)) { // reports sent before the kill
        }
        ::close(pipeFds[0]);
        ASSERT_GE(rows, target) << "round " << round << ": the writer ended by itself, status "
                                << status;
        reported += rows;
        // The next writer: one append, which repairs what the kill left.
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
        AppendRow(next++);
        xb_CloseAll();
    }

    // Every row a killed writer reported, and the next writers' rows.
    ExpectTagsWhole(dir, p, reported + next);
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
    int live = 6000; // rows not deleted: no pack, whole or killed, loses one
    for (int round = 0; round < 12; ++round) {
        // A few rows deleted, all over the table, for the pack to move the rest.
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
        for (int r = 1 + round; r <= xb_RecCount(); r += 37) {
            xb_Go(r);
            live -= xb_Deleted() ? 0 : 1;
            xb_Delete();
        }
        xb_CloseAll();
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipeFds[0]);
            if (xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2) == 0)
                ::_exit(1);
            if (::write(pipeFds[1], "p", 1) != 1)
                ::_exit(3);
            xb_Pack();
            ::_exit(0);
        }
        ASSERT_GT(child, 0);
        ::close(pipeFds[1]);
        // Killed once the pack is under way, at most a few milliseconds into
        // it: the delay only spreads the kills, and a pack that ends first
        // is a case too.
        int started = 0;
        ReadReports(pipeFds[0], started);
        ::close(pipeFds[0]);
        ::usleep(rng() % 8000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
        AppendRow(next++);
        ++live;
        xb_CloseAll();
    }
    ExpectTagsWhole(dir, p, live);
}
#endif
