// What one user sees of another's rows: changes made in place by programs
// that do not announce them, a walk whose row moves under it, memos being
// rewritten, inserts refused half-way, deleted rows beside live ones with
// one key, and a repair that others wait for.
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/xbase/tests/xbtest_util.h"
#include "platform/xbase/xbdbf.h"
#include "platform/xbase/xbfile.h"
#include "platform/xbase/xbwrites.h"

namespace {

using namespace xbtest;

class SharedRows : public ::testing::Test {
protected:
    // MESSAGE_ID (unique tag), LINK_ID (tag) and a memo, as the received table.
    std::string MakeTable(int rows, const std::string& name = "received") {
        const int links = 4;
        const XbFieldDef fields[] = {Def("MESSAGE_ID", 'C', 40), Def("LINK_ID", 'C', 20),
                                     Def("NOTES", 'M', 10)};
        path_ = dir_.File(name + ".dbf");
        EXPECT_EQ(xb_Create(path_.c_str(), fields, 3), 1) << ErrorText();
        EXPECT_NE(xb_Use(path_.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
#ifdef XBASE_HAS_INDEXES
        EXPECT_EQ(xb_IndexTag("", "MESSAGE_ID", "MESSAGE_ID", 1, 0, ""), 1) << ErrorText();
        EXPECT_EQ(xb_IndexTag("", "LINK_ID", "LINK_ID", 0, 0, ""), 2) << ErrorText();
#endif
        for (int n = 1; n <= rows; ++n)
            Append("<m" + std::to_string(n) + ">", "A" + std::to_string(n % links));
        xb_CloseAll();
        return path_;
    }
    static void Append(const std::string& id, const std::string& link) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("MESSAGE_ID", id);
        Put("LINK_ID", link);
        ASSERT_EQ(xb_Commit(), 1) << ErrorText();
        xb_Unlock(0);
    }
    // Writes a field's bytes straight into the file, as a program that does
    // not know this engine's change counter does (under the record's lock).
    void WriteInPlace(int recno, const std::string& field, const std::string& value) {
        const int area = xb_Select(0);
        const int offset = xb_FieldOffset(xb_FieldNum(field.c_str())) - 1;
        const int width = xb_FieldWidth(xb_FieldNum(field.c_str()));
        const int recSize = xb_RecSize();
        unsigned char h[10];
        const int fd = ::open(path_.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pread(fd, h, 10, 0), 10);
        const int headerLen = h[8] | h[9] << 8;
        std::string bytes = value;
        bytes.resize(static_cast<std::size_t>(width), ' ');
        const off_t at = headerLen + static_cast<off_t>(recno - 1) * recSize + offset;
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
        xb_Select(area);
    }

    EngineReset reset_;
    TempDir dir_;
    std::string path_;
};

TEST_F(SharedRows, GoShowsARowAnotherProgramChangedInPlace) {
    MakeTable(50);
    ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_SHARED, 2), 0);
#ifdef XBASE_HAS_INDEXES
    xb_SetOrder(xb_TagArea("MESSAGE_ID")); // as the programs read
#endif
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    } // every page read and kept
    xb_Go(20);
    ASSERT_EQ(Trim("LINK_ID"), "A0");
    WriteInPlace(20, "LINK_ID", "CHANGED");
    xb_Go(21);
    xb_Go(20);
    EXPECT_EQ(Trim("LINK_ID"), "CHANGED");
}

#ifdef XBASE_HAS_INDEXES
// A walk over one account's rows goes to its bookmark before each step, as
// the data layer does; the row it stands on is moved to another account by
// another user (or changed in place by another program) meanwhile.
TEST_F(SharedRows, AWalkGoesOnFromItsPlaceWhenItsRowsKeyChanges) {
    for (const bool announced : {true, false}) {
        SCOPED_TRACE(announced ? "another user" : "a program writing in place");
        MakeTable(400, announced ? "users" : "outside");
        ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_SHARED, 2), 0);
        const int walker = xb_Select(0);
        xb_SetOrder(xb_TagArea("LINK_ID"));
        xb_SetScope("A1", "A1");
        std::vector<int> seen;
        for (xb_GoTop(); !xb_Eof() && seen.size() < 1000; xb_Skip(1)) {
            const int here = xb_RecNo();
            seen.push_back(here);
            if (seen.size() == 30) {
                // The row it stands on moves to keys before the range.
                if (announced) {
                    ASSERT_NE(xb_Use(path_.c_str(), "other", XB_SHARED, 2), 0);
                    xb_Go(here);
                    xb_Rlock(0);
                    Put("LINK_ID", "A0");
                    ASSERT_EQ(xb_Commit(), 1) << ErrorText();
                    xb_Close();
                } else {
                    WriteInPlace(here, "LINK_ID", "A0");
                }
                xb_Select(walker);
            }
            xb_Go(here); // the bookmark
        }
        // Each row of the account once, in record order (their keys are
        // equal), none missed after the one that moved.
        std::vector<int> want;
        for (int r = 1; r <= 400; ++r)
            if (r % 4 == 1)
                want.push_back(r);
        EXPECT_EQ(seen, want);
        xb_CloseAll();
    }
}
#endif

// A memo rewritten by another user never shows half old and half new: the
// reader's record leads to the text it was written with.
TEST_F(SharedRows, AMemoBeingRewrittenIsReadWholeAsTheRecordLeadsToIt) {
    MakeTable(3);
    const std::string before(300, 'o'), after(300, 'n');
    ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_SHARED, 2), 0);
    xb_Go(2);
    ASSERT_TRUE(xb_Rlock(0));
    ASSERT_EQ(xb_Replace("NOTES", XB_REPLACE_MEMO, before.c_str(), -1), 1);
    ASSERT_EQ(xb_Commit(), 1);
    xb_Unlock(0);
    const int reader = xb_Use(path_.c_str(), "reader", XB_SHARED, 2);
    ASSERT_NE(reader, 0);
    xb_Go(2); // the record read, its memo not yet
    // The writer rewrites it with text of the same length.
    xb_Select(1);
    xb_Go(2);
    ASSERT_TRUE(xb_Rlock(0));
    ASSERT_EQ(xb_Replace("NOTES", XB_REPLACE_MEMO, after.c_str(), -1), 1);
    ASSERT_EQ(xb_Commit(), 1);
    xb_Unlock(0);
    // The reader still stands on the record as it read it.
    xb_Select(reader);
    EXPECT_EQ(Memo("NOTES"), before);
    xb_Go(2);
    EXPECT_EQ(Memo("NOTES"), after);
}

#ifdef XBASE_HAS_INDEXES
// An insert refused after its record was written (a key that cannot be
// stored) leaves the table as it was, and a retry writes the row once.
TEST_F(SharedRows, AnInsertRefusedHalfWayLeavesNothingAndARetryWritesOnce) {
    MakeTable(40);
    // How many writes a whole insert takes.
    ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_SHARED, 2), 0);
    const long start = xbase::XbWritesDone();
    Append("<probe>", "A9");
    const long writes = xbase::XbWritesDone() - start;
    xb_CloseAll();
    ASSERT_GT(writes, 4);
    for (long nth = 1; nth <= writes; ++nth) {
        SCOPED_TRACE("write " + std::to_string(nth) + " of " + std::to_string(writes) + " fails");
        const std::string id = "<new" + std::to_string(nth) + ">";
        const int writer = xb_Use(path_.c_str(), nullptr, XB_SHARED, 2);
        ASSERT_NE(writer, 0);
        const int count = xb_RecCount();
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("MESSAGE_ID", id);
        Put("LINK_ID", "A9");
        xbase::FailNthWrite(static_cast<int>(nth));
        const bool written = xb_Commit() == 1;
        xbase::FailNthWrite(0);
        // Another user sees the row whole or not at all.
        ASSERT_NE(xb_Use(path_.c_str(), "other", XB_SHARED, 2), 0);
        xb_SetDeleted(1);
        xb_SetOrder(xb_TagArea("MESSAGE_ID"));
        const bool found = xb_Seek(id.c_str()) != 0;
        if (written) {
            EXPECT_TRUE(found);
            EXPECT_EQ(xb_RecCount(), count + 1);
        } else {
            EXPECT_FALSE(found);
            EXPECT_EQ(xb_RecCount(), count);
            // The caller tries again: one row.
            xb_Select(writer);
            ASSERT_EQ(xb_Commit(), 1) << ErrorText();
            xb_Select(xb_WorkArea("other"));
            EXPECT_TRUE(xb_Seek(id.c_str()) != 0);
        }
        int rows = 0;
        xb_SetOrder(0);
        for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
            rows += Trim("MESSAGE_ID") == id;
        EXPECT_EQ(rows, 1);
        xb_SetDeleted(0);
        xb_CloseAll();
    }
}

// One message key, a deleted row of it and then a live one (a message
// removed by the user and received again): the unique tag leads to the live
// row, as appended, recalled, repaired and re-indexed.
TEST_F(SharedRows, AUniqueTagLeadsToTheLiveRowOfAKeyBesideDeletedOnes) {
    MakeTable(10);
    ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_SHARED, 2), 0);
    xb_SetDeleted(1);
    xb_SetOrder(xb_TagArea("MESSAGE_ID"));
    const auto liveRow = [] {
        return xb_Seek("<twice>") != 0 ? Trim("LINK_ID") : std::string("none");
    };
    Append("<twice>", "OLD");
    ASSERT_EQ(xb_Seek("<twice>"), 1);
    xb_Rlock(0);
    xb_Delete();
    xb_Unlock(0);
    EXPECT_EQ(liveRow(), "none");
    Append("<twice>", "NEW");
    EXPECT_EQ(liveRow(), "NEW") << "appended after a deleted row";
    // The live one deleted, the old one recalled.
    ASSERT_EQ(xb_Seek("<twice>"), 1);
    xb_Rlock(0);
    xb_Delete();
    xb_Unlock(0);
    xb_SetDeleted(0);
    xb_SetOrder(0);
    xb_Go(11);
    ASSERT_EQ(Trim("LINK_ID"), "OLD");
    xb_Rlock(0);
    xb_Recall();
    xb_Unlock(0);
    xb_SetDeleted(1);
    xb_SetOrder(xb_TagArea("MESSAGE_ID"));
    EXPECT_EQ(liveRow(), "OLD") << "recalled";
    xb_CloseAll();
    // Built again from the records, with the first row deleted again.
    ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    xb_Go(11);
    xb_Delete();
    xb_Go(12);
    xb_Recall();
    ASSERT_GT(xb_IndexTag("", "MESSAGE_ID", "MESSAGE_ID", 1, 0, ""), 0) << ErrorText();
    xb_SetDeleted(1);
    EXPECT_EQ(liveRow(), "NEW") << "re-indexed";
    xb_CloseAll();
}

// Every tree built again after a writer stopped in a split: other users
// wait for it rather than give up after the lock's time-out, and repeated
// repairs take back the space of the trees they replace.
TEST_F(SharedRows, OthersWaitForARepairAndRepairsDoNotGrowTheIndex) {
    MakeTable(3000);
    const std::string cdx = dir_.File("received.cdx");
    const auto markWhole = [&] {
        xbase::File f;
        f.Open(path_, true);
        const unsigned char mark[1] = {1};
        const unsigned char none[4] = {0, 0, 0, 0};
        f.WriteAt(20, none, 4);
        f.WriteAt(14, mark, 1);
    };
    std::uintmax_t first = 0;
    for (int round = 0; round < 6; ++round) {
        markWhole();
        ASSERT_NE(xb_Use(path_.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
        xb_CloseAll();
        const std::uintmax_t size = std::filesystem::file_size(cdx);
        if (round == 0)
            first = size;
        else
            EXPECT_EQ(size, first) << "round " << round;
    }
    xb_SetLockTimeout(1);
    // A repair that holds the table longer than the time-out: the repairing
    // program's locks, taken by a child.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        xbase::File f;
        f.Open(path_, true);
        f.Lock(xbase::kLockRepair, 1, xbase::LockKind::Write, 0);
        f.Lock(xbase::kLockHeader, 1, xbase::LockKind::Write, 0);
        if (::write(ready[1], "r", 1) != 1)
            ::_exit(1);
        ::usleep(2500 * 1000); // over twice the time-out
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_NE(xb_Use(path_.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    xb_SetOrder(xb_TagArea("MESSAGE_ID"));
    EXPECT_EQ(xb_Seek("<m17>"), 1) << ErrorText();
    int status = 0;
    ::waitpid(child, &status, 0);
    xb_CloseAll();
}
#endif

} // namespace
