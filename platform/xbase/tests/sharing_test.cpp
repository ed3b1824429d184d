// Sharing between users: two opens of one file (in this process or in
// forked ones) lock against each other like two users.
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/xbase/tests/xbtest_util.h"

namespace {

using namespace xbtest;

std::string MakeTable(const TempDir& dir, bool withTags) {
    const XbFieldDef fields[] = {Def("MESSAGE_ID", 'C', 40), Def("LINK_ID", 'C', 20),
                                 Def("NOTES", 'M', 10)};
    std::string p = dir.File("received.dbf");
    EXPECT_EQ(xb_Create(p.c_str(), fields, 3), 1) << ErrorText();
#ifdef XBASE_HAS_INDEXES
    if (withTags) {
        EXPECT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
        EXPECT_EQ(xb_IndexTag("", "MESSAGE_ID", "MESSAGE_ID", 1, 0, ""), 1) << ErrorText();
        EXPECT_EQ(xb_IndexTag("", "LINK_ID", "LINK_ID", 0, 0, ""), 2) << ErrorText();
        xb_CloseAll();
    }
#else
    (void)withTags;
#endif
    return p;
}

// Runs body in a child process; returns its exit status (0 = passed).
template <class F> pid_t Spawn(F body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        xb_SysProp(XB_PROP_EXIT, 0); // nothing of the parent's areas
        int rc = body();
        ::_exit(rc);
    }
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

class Sharing : public ::testing::Test {
protected:
    EngineReset reset_;
    TempDir dir_;
};

TEST_F(Sharing, TwoOpensInOneProcessAreTwoUsers) {
    std::string p = MakeTable(dir_, false);
    int a = xb_Use(p.c_str(), "A", XB_SHARED, 2);
    ASSERT_NE(a, 0);
    xb_SetLockTimeout(0);
    // Exclusive use is refused while someone shares the table.
    EXPECT_EQ(xb_Use(p.c_str(), "X", XB_EXCLUSIVE, 2), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_LOCKED);
    int b = xb_Use(p.c_str(), "B", XB_SHARED, 2);
    ASSERT_NE(b, 0);
    xb_Select(a);
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    Put("MESSAGE_ID", "one");
    ASSERT_EQ(xb_Commit(), 1);
    // The appended record stays locked until unlocked.
    xb_Select(b);
    xb_GoTop();
    EXPECT_EQ(Trim("MESSAGE_ID"), "one");
    EXPECT_EQ(xb_Rlock(1), 0);
    EXPECT_EQ(xb_LastError(), XB_ERR_LOCKED);
    Put("MESSAGE_ID", "changed by b");
    EXPECT_EQ(xb_Commit(), 0); // writing needs the record's lock
    EXPECT_EQ(xb_LastError(), XB_ERR_LOCKED);
    xb_Select(a);
    xb_Unlock(0);
    xb_Select(b);
    EXPECT_EQ(xb_Rlock(1), 1);
    ASSERT_EQ(xb_Commit(), 1);
    xb_Select(a);
    EXPECT_EQ(Trim("MESSAGE_ID"), "one"); // as a read it
    EXPECT_EQ(xb_Rlock(1), 0);            // now b holds it
    xb_Select(b);
    xb_Unlock(1);
    xb_Select(a);
    EXPECT_EQ(xb_Rlock(1), 1);
    EXPECT_EQ(Trim("MESSAGE_ID"), "changed by b"); // locking read it again
    xb_CloseAll();
    // An exclusive user keeps everyone else out, read-only ones too.
    ASSERT_NE(xb_Use(p.c_str(), "X", XB_EXCLUSIVE, 2), 0);
    EXPECT_EQ(xb_Use(p.c_str(), "S", XB_SHARED, 2), 0);
    EXPECT_EQ(xb_Use(p.c_str(), "R", XB_READONLY, 2), 0);
    EXPECT_NE(ErrorText().find("exclusively"), std::string::npos) << ErrorText();
}

TEST_F(Sharing, ExclusiveAndRecordLocksAcrossProcesses) {
    std::string p = MakeTable(dir_, false);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    ASSERT_EQ(xb_Unlock(0), 1);
    xb_CloseAll();
    int toChild[2], toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    pid_t child = Spawn([&] {
        char c;
        if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0 || xb_Rlock(1) != 1)
            return 1;
        if (::write(toParent[1], "L", 1) != 1 || ::read(toChild[0], &c, 1) != 1)
            return 2;
        xb_Unlock(0);
        if (::write(toParent[1], "U", 1) != 1 || ::read(toChild[0], &c, 1) != 1)
            return 3;
        xb_CloseAll();
        return 0;
    });
    char c;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    xb_SetLockTimeout(0);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    EXPECT_EQ(xb_Rlock(1), 0);
    xb_CloseAll();
    EXPECT_EQ(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    ASSERT_EQ(::write(toChild[1], "g", 1), 1);
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    EXPECT_EQ(xb_Rlock(1), 1);
    xb_CloseAll();
    ASSERT_EQ(::write(toChild[1], "g", 1), 1);
    EXPECT_EQ(Wait(child), 0);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0) << ErrorText();
}

// An open that lands between an append's record and its count must not take
// the table for one whose count runs past its end.
TEST_F(Sharing, OpensDuringAppendsNeverFindTheTableCorrupt) {
    std::string p = MakeTable(dir_, false);
    pid_t writer = Spawn([&] {
        if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0)
            return 1;
        for (int i = 0; i < 3000; ++i)
            if (xb_AppendEx() != XB_APPEND_OK || xb_Commit() != 1 || xb_Unlock(0) != 1)
                return 2;
        return 0;
    });
    int failed = 0;
    std::string text;
    for (int i = 0; i < 3000 && failed == 0; ++i) {
        if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0) {
            ++failed;
            text = ErrorText();
        }
        xb_CloseAll();
    }
    EXPECT_EQ(Wait(writer), 0);
    EXPECT_EQ(failed, 0) << text;
}

#ifdef XBASE_HAS_INDEXES
// A reader that trusts its cached header meets another user's new rows in
// the index before its count has them: they are rows, not a corrupt index.
// (Index pages it has already read stay its view while it trusts its cache,
// so it reads the index first after the appends.)
TEST_F(Sharing, EntriesNewerThanACachedCountAreNoCorruption) {
    std::string p = MakeTable(dir_, true);
    xb_SysProp(XB_PROP_HEADER_CACHE, 1);
    int a = xb_Use(p.c_str(), "A", XB_SHARED, 2);
    ASSERT_NE(a, 0) << ErrorText();
    xb_SetTurboRead(1);
    EXPECT_EQ(xb_RecCount(), 0u);
    int b = xb_Use(p.c_str(), "B", XB_SHARED, 2);
    ASSERT_NE(b, 0) << ErrorText();
    for (const char* id : {"<2>", "<1>"}) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("MESSAGE_ID", id);
        ASSERT_EQ(xb_Commit(), 1) << ErrorText();
        xb_Unlock(0);
    }
    xb_Select(a);
    ASSERT_EQ(xb_SetOrder(1), 0);
    std::string seen;
    for (xb_GoTop(); !xb_Eof() && seen.size() < 20; xb_Skip(1))
        seen += Trim("MESSAGE_ID");
    EXPECT_EQ(xb_LastError(), 0) << ErrorText();
    EXPECT_EQ(seen, "<1><2>");
    EXPECT_EQ(xb_Seek("<2>"), 1) << ErrorText();
    xb_CloseAll();
}
#endif

TEST_F(Sharing, ConcurrentAppendsLoseNothingAndReadersNeverSeeBlankRows) {
    std::string p = MakeTable(dir_, true);
    constexpr int kWriters = 4;
    constexpr int kRows = 150;
    std::vector<pid_t> kids;
    for (int w = 0; w < kWriters; ++w)
        kids.push_back(Spawn([&, w] {
            xb_SetLockTimeout(30);
            if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0)
                return 1;
            for (int i = 0; i < kRows; ++i) {
                if (xb_AppendEx() != XB_APPEND_OK)
                    return 2;
                std::string id = "<" + std::to_string(w) + "." + std::to_string(i) + ">";
                Put("MESSAGE_ID", id);
                Put("LINK_ID", "W" + std::to_string(w));
                std::string memo = "memo of " + id;
                xb_Replace("NOTES", XB_REPLACE_MEMO, memo.c_str(), -1);
                if (xb_Commit() != 1 || xb_Unlock(0) != 1)
                    return 3;
            }
            xb_CloseAll();
            return 0;
        }));
    // A reader walking while the writers append.
    kids.push_back(Spawn([&] {
        xb_SetLockTimeout(30);
        xb_SetDeleted(1);
        if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0)
            return 1;
        for (int round = 0; round < 40; ++round) {
            for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
                if (Trim("MESSAGE_ID").empty() || Memo("NOTES") != "memo of " + Trim("MESSAGE_ID"))
                    return 4;
#ifdef XBASE_HAS_INDEXES
            xb_SetOrder(round % 2 ? 1 : 2);
#endif
        }
        xb_CloseAll();
        return 0;
    }));
    for (pid_t k : kids)
        EXPECT_EQ(Wait(k), 0);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    EXPECT_EQ(xb_RecCount(), kWriters * kRows);
    std::set<std::string> ids;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        ids.insert(Trim("MESSAGE_ID"));
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kWriters * kRows));
#ifdef XBASE_HAS_INDEXES
    xb_SetOrder(1);
    int n = 0;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        ++n;
    EXPECT_EQ(n, kWriters * kRows);
    EXPECT_EQ(xb_Seek("<3.149>"), 1);
    xb_SetOrder(2);
    xb_SetScope("W2", "W2");
    EXPECT_EQ(xb_Count(), kRows);
#endif
}

TEST_F(Sharing, ASharedOpenSeesAnotherUsersAppend) {
    std::string p = MakeTable(dir_, true);
    ASSERT_NE(xb_Use(p.c_str(), "READER", XB_SHARED, 2), 0);
    xb_GoTop();
    EXPECT_TRUE(xb_Eof());
    pid_t child = Spawn([&] {
        if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0 || xb_AppendEx() != 0)
            return 1;
        Put("MESSAGE_ID", "<new>");
        return xb_Commit() == 1 && xb_Unlock(0) == 1 ? 0 : 2;
    });
    ASSERT_EQ(Wait(child), 0);
    EXPECT_EQ(xb_RecCount(), 1);
#ifdef XBASE_HAS_INDEXES
    xb_SetOrder(1);
    EXPECT_EQ(xb_Seek("<new>"), 1);
#endif
    xb_GoTop();
    EXPECT_EQ(Trim("MESSAGE_ID"), "<new>");
}

#ifdef XBASE_HAS_INDEXES
// The reader keeps the pages it read between steps; another process's
// append, deletion and change in place (the count unchanged) still show at
// the reader's next step, in every order.
TEST_F(Sharing, AReaderKeepingPagesSeesAnotherProcesssChangesAtOnce) {
    std::string p = MakeTable(dir_, true);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    for (const char* id : {"<a>", "<b>", "<c>"}) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("MESSAGE_ID", id);
        Put("LINK_ID", "L1");
        ASSERT_EQ(xb_Commit(), 1);
    }
    ASSERT_EQ(xb_Unlock(0), 1);
    xb_SetDeleted(1);
    const auto walk = [](int order) {
        xb_SetOrder(order);
        std::string ids;
        for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
            ids += Trim("MESSAGE_ID");
        return ids;
    };
    // Fill what the reader keeps: seeks, a walk in a scope, both orders.
    xb_SetOrder(1);
    EXPECT_EQ(xb_Seek("<b>"), 1);
    EXPECT_EQ(xb_Seek("<c>"), 1);
    EXPECT_EQ(walk(1), "<a><b><c>");
    xb_SetOrder(2);
    xb_SetScope("L1", "L1");
    EXPECT_EQ(xb_Count(), 3);
    const auto change = [&](const std::function<int()>& body) {
        pid_t child = Spawn([&] {
            xb_SetLockTimeout(10);
            if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0)
                return 1;
            const int rc = body();
            xb_CloseAll();
            return rc;
        });
        return Wait(child);
    };
    // An append.
    ASSERT_EQ(change([] {
                  if (xb_AppendEx() != XB_APPEND_OK || !Put("MESSAGE_ID", "<d>") ||
                      !Put("LINK_ID", "L1"))
                      return 2;
                  return xb_Commit() == 1 && xb_Unlock(0) == 1 ? 0 : 3;
              }),
              0);
    xb_SetOrder(1);
    EXPECT_EQ(xb_Seek("<d>"), 1);
    EXPECT_EQ(walk(1), "<a><b><c><d>");
    // A deletion and a change in place: the count stays 4.
    ASSERT_EQ(change([] {
                  xb_SetOrder(1);
                  if (xb_Seek("<b>") != 1 || xb_Delete() != 1)
                      return 2;
                  if (xb_Seek("<c>") != 1 || xb_Rlock(0) != 1 || !Put("MESSAGE_ID", "<c2>") ||
                      !Put("LINK_ID", "L2"))
                      return 3;
                  return xb_Commit() == 1 && xb_Unlock(0) == 1 ? 0 : 4;
              }),
              0);
    EXPECT_EQ(xb_RecCount(), 4);
    xb_SetOrder(1);
    EXPECT_EQ(xb_Seek("<b>"), 0);
    EXPECT_EQ(xb_Seek("<c>"), 0);
    EXPECT_EQ(xb_Seek("<c2>"), 1);
    EXPECT_EQ(walk(1), "<a><c2><d>");
    xb_SetOrder(2);
    xb_SetScope("L1", "L1");
    EXPECT_EQ(xb_Count(), 2);
    std::string ids;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        ids += Trim("MESSAGE_ID");
    EXPECT_EQ(ids, "<a><d>");
    xb_GoBottom();
    EXPECT_EQ(Trim("MESSAGE_ID"), "<d>");
    xb_SetScope(nullptr, nullptr);
    EXPECT_EQ(walk(0), "<a><c2><d>");
}
TEST_F(Sharing, AWalkSeesAnotherProcesssAppendAtItsNextStep) {
    std::string p = MakeTable(dir_, true);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    for (const char* id : {"<a>", "<b>"}) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("MESSAGE_ID", id);
        ASSERT_EQ(xb_Commit(), 1);
    }
    ASSERT_EQ(xb_Unlock(0), 1);
    xb_SetOrder(1);
    xb_GoTop();
    EXPECT_EQ(Trim("MESSAGE_ID"), "<a>");
    // The reader stands inside its kept leaf while another process appends.
    pid_t child = Spawn([&] {
        xb_SetLockTimeout(10);
        if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0)
            return 1;
        const bool ok = xb_AppendEx() == XB_APPEND_OK && Put("MESSAGE_ID", "<c>") &&
                        xb_Commit() == 1 && xb_Unlock(0) == 1;
        xb_CloseAll();
        return ok ? 0 : 2;
    });
    ASSERT_EQ(Wait(child), 0);
    std::string ids;
    for (xb_Skip(1); !xb_Eof(); xb_Skip(1))
        ids += Trim("MESSAGE_ID");
    EXPECT_EQ(ids, "<b><c>");
    EXPECT_EQ(xb_RecCount(), 3);
}
// A reader that goes back to a record it read (as the data-set layer does
// before every step) reads it from the pages it keeps while nobody changed
// the table, and from the file once another process did.
TEST_F(Sharing, GoingBackToARecordShowsAnotherProcesssChangeInPlace) {
    std::string p = MakeTable(dir_, true);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    for (const char* id : {"<a>", "<b>", "<c>"}) {
        ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
        Put("MESSAGE_ID", id);
        Put("LINK_ID", "L1");
        ASSERT_EQ(xb_Commit(), 1);
    }
    ASSERT_EQ(xb_Unlock(0), 1);
    xb_SetOrder(2);
    xb_SetScope("L1", "L1");
    std::string ids;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
        const int here = xb_RecNo();
        xb_Go(here);
        ids += Trim("MESSAGE_ID");
    }
    EXPECT_EQ(ids, "<a><b><c>");
    xb_Go(2);
    EXPECT_EQ(Trim("MESSAGE_ID"), "<b>");
    // Changed in place: the count stays 3.
    pid_t child = Spawn([&] {
        xb_SetLockTimeout(10);
        if (xb_Use(p.c_str(), nullptr, XB_SHARED, 2) == 0)
            return 1;
        xb_Go(2);
        const bool ok =
            xb_Rlock(0) == 1 && Put("MESSAGE_ID", "<b2>") && xb_Commit() == 1 && xb_Unlock(0) == 1;
        xb_CloseAll();
        return ok ? 0 : 2;
    });
    ASSERT_EQ(Wait(child), 0);
    xb_Go(2);
    EXPECT_EQ(Trim("MESSAGE_ID"), "<b2>");
    // The walk goes on from there with the changed row.
    xb_Skip(1);
    EXPECT_EQ(Trim("MESSAGE_ID"), "<c>");
    xb_Skip(-1);
    EXPECT_EQ(Trim("MESSAGE_ID"), "<b2>");
    xb_Skip(-1);
    EXPECT_EQ(Trim("MESSAGE_ID"), "<a>");
}

// Setting a scope reads no page: another user in the middle of a change
// (holding the table's header lock) does not hold it up.
TEST_F(Sharing, SettingAScopeWaitsForNoOtherUser) {
    std::string p = MakeTable(dir_, true);
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0);
    ASSERT_EQ(xb_AppendEx(), XB_APPEND_OK);
    Put("MESSAGE_ID", "<a>");
    Put("LINK_ID", "L1");
    ASSERT_EQ(xb_Commit(), 1);
    ASSERT_EQ(xb_Unlock(0), 1);
    xb_SetOrder(2);
    // Another user's change in progress: the write lock on the header byte,
    // taken on a description of its own.
    const int other = ::open(p.c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    struct flock writer {};
    writer.l_type = F_WRLCK;
    writer.l_whence = SEEK_SET;
    writer.l_start = 0x7FFFFFF1;
    writer.l_len = 1;
    ASSERT_EQ(::fcntl(other, F_OFD_SETLK, &writer), 0);
    xb_SetLockTimeout(0);
    EXPECT_EQ(xb_SetScope("L1", "L1"), 1) << ErrorText();
    ::close(other);
    xb_GoTop();
    EXPECT_EQ(Trim("MESSAGE_ID"), "<a>");
}
#endif

} // namespace
