// Two processes on one table: an edit waits for the other's post and starts
// from what it stored; a write refused under the other's lock is reported
// and never made later.
#include <cstdio>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "data/dataset.h"
#include "data/tests/appendrow.h"
#include "data/tests/headerlock.h"
#include "data/tests/testutil.h"
#include "data/xbtable.h"
#include "platform/xbase/xbengine.h"

namespace data {
namespace {

void OpenNodes(TTable& t, const std::string& dir) {
    t.SetDatabaseName(dir);
    t.SetTableName("NODES.DBF");
    t.SetTableType(TTableType::ttXBFOX);
    t.Open();
}

// Waits for a byte from the other process.
bool Wait(int fd) {
    char c = 0;
    return read(fd, &c, 1) == 1;
}
void Signal(int fd) {
    const char c = 1;
    (void)!write(fd, &c, 1);
}

TEST(TwoProcesses, EditingOneRowNeverLosesTheOthersFields) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    {
        TTable nodes;
        OpenNodes(nodes, dir.Path());
        nodes.Append();
        nodes.FieldByName("UNIQUE_ID").SetAsString("ACC");
        nodes.FieldByName("NODE").SetAsString("old name");
        nodes.Post();
    }
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The retriever: moves the schedule on while holding the row.
        int status = 1;
        try {
            TTable nodes;
            OpenNodes(nodes, dir.Path());
            nodes.Edit();
            nodes.FieldByName("LASTTIME").SetAsString("10:00");
            Signal(toParent[1]);
            Wait(toChild[0]);
            nodes.Post();
            // And adds an account, as the configuration manager would.
            nodes.Append();
            nodes.FieldByName("UNIQUE_ID").SetAsString("ACC2");
            nodes.Post();
            Signal(toParent[1]);
            status = 0;
        } catch (const std::exception&) {
        }
        _exit(status);
    }
    ASSERT_TRUE(Wait(toParent[0]));
    // The configuration manager: its edit is refused while the row is held.
    xb_SetLockTimeout(0);
    TTable nodes;
    OpenNodes(nodes, dir.Path());
    try {
        nodes.Edit();
        ADD_FAILURE() << "edit of a locked row";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Code(), CURERR_LOCKED);
        EXPECT_EQ(e.Message(), "Cursor Error : 10245");
    }
    EXPECT_EQ(nodes.State(), TDataSetState::dsBrowse);
    Signal(toChild[1]);
    ASSERT_TRUE(Wait(toParent[0]));
    // Now it gets the row, as the other process stored it.
    nodes.Edit();
    EXPECT_EQ(nodes.FieldByName("LASTTIME").AsString(), "10:00");
    nodes.FieldByName("NODE").SetAsString("new name");
    nodes.Post();
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    nodes.Refresh();
    EXPECT_EQ(nodes.FieldByName("NODE").AsString(), "new name");
    EXPECT_EQ(nodes.FieldByName("LASTTIME").AsString(), "10:00");
    // The other program's new row shows once the table is walked again.
    std::string ids;
    for (nodes.First(); !nodes.Eof(); nodes.Next())
        ids += nodes.FieldByName("UNIQUE_ID").AsString() + ",";
    EXPECT_EQ(ids, "ACC,ACC2,");
    EXPECT_EQ(nodes.RecordCount(), 2);
    xb_SetLockTimeout(1);
}

// A walk through one account's rows while another program moves the row
// it stands on to another account: the walk goes on from its place, every
// other row of the account once.
TEST(TwoProcesses, AWalkGoesOnWhenAnotherProgramMovesItsRow) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    for (int n = 1; n <= 60; ++n)
        test::AppendRow(dir.Path(), "received.dbf",
                        std::vector<std::pair<std::string, std::string>>{
                            {"MESSAGE_ID", "<m" + std::to_string(n) + ">"},
                            {"LINK_ID", n % 2 ? "ACC1" : "ACC2"}});
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Another program: moves the row it is told to an account before.
        int status = 1;
        try {
            char which = 0;
            if (read(toChild[0], &which, 1) == 1) {
                TTable received;
                received.SetDatabaseName(dir.Path());
                received.SetTableName("received.dbf");
                received.SetTableType(TTableType::ttXBFOX);
                received.Open();
                for (received.First(); !received.Eof(); received.Next())
                    if (received.FieldByName("MESSAGE_ID").AsString() ==
                        "<m" + std::to_string(which) + ">")
                        break;
                received.Edit();
                received.FieldByName("LINK_ID").SetAsString("ACC0");
                received.Post();
                Signal(toParent[1]);
                status = 0;
            }
        } catch (const std::exception&) {
        }
        _exit(status);
    }
    TTable nodes, received;
    TDataSource source;
    source.SetDataSet(&nodes);
    for (TTable* t : {&nodes, &received}) {
        t->SetDatabaseName(dir.Path());
        t->SetTableType(TTableType::ttXBFOX);
    }
    nodes.SetTableName("NODES.DBF");
    received.SetTableName("received.dbf");
    received.SetIndexName("LINK_ID");
    received.SetMasterSource(&source);
    received.SetMasterFields("UNIQUE_ID");
    nodes.Open();
    nodes.Append();
    nodes.FieldByName("UNIQUE_ID").SetAsString("ACC1");
    nodes.Post();
    received.Open();
    std::string listed;
    int rows = 0;
    for (received.First(); !received.Eof() && rows < 100; received.Next(), ++rows) {
        const std::string id = received.FieldByName("MESSAGE_ID").AsString();
        listed += id + ",";
        if (id == "<m21>") {
            const char which = 21; // the row it stands on
            ASSERT_EQ(write(toChild[1], &which, 1), 1);
            ASSERT_TRUE(Wait(toParent[0]));
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string want;
    for (int n = 1; n <= 60; n += 2)
        want += "<m" + std::to_string(n) + ">,";
    EXPECT_EQ(listed, want);
}

// Writes a field of a record straight into the table file, as an outside
// xBase program does: no change counter raised, no index touched.
void WriteInPlace(const std::string& path, int recno, const std::string& field,
                  const std::string& value) {
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    unsigned char h[32];
    ASSERT_EQ(std::fread(h, 1, 32, f), 32u);
    const long headerLen = h[8] | h[9] << 8, recSize = h[10] | h[11] << 8;
    long offset = 1; // the deletion byte
    for (long at = 32; at + 32 < headerLen; at += 32) {
        unsigned char d[32];
        std::fseek(f, at, SEEK_SET);
        ASSERT_EQ(std::fread(d, 1, 32, f), 32u);
        if (d[0] == 0x0D)
            break;
        if (field == reinterpret_cast<const char*>(d)) {
            std::string bytes = value;
            bytes.resize(d[16], ' ');
            std::fseek(f, headerLen + (recno - 1) * recSize + offset, SEEK_SET);
            ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
            break;
        }
        offset += d[16];
    }
    std::fclose(f);
}

// F5 in the configuration manager: a refresh of a table shows what the
// file holds, also a row another program changed in place unannounced.
TEST(TwoProcesses, ARefreshShowsARowAnotherProgramChangedInPlace) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    for (int n = 1; n <= 30; ++n)
        test::AppendRow(dir.Path(), "received.dbf",
                        std::vector<std::pair<std::string, std::string>>{
                            {"MESSAGE_ID", "<m" + std::to_string(n) + ">"},
                            {"LINK_ID", "ACC1"},
                            {"SUBJECT", "before"}});
    TTable received;
    received.SetDatabaseName(dir.Path());
    received.SetTableName("received.dbf");
    received.SetTableType(TTableType::ttXBFOX);
    received.SetIndexName("LINK_ID");
    received.Open();
    const auto subjects = [&] {
        std::string s;
        for (received.First(); !received.Eof(); received.Next())
            s += received.FieldByName("SUBJECT").AsString().substr(0, 1);
        return s;
    };
    ASSERT_EQ(subjects(), std::string(30, 'b'));
    WriteInPlace(dir.Path() + "/RECEIVED.DBF", 7, "SUBJECT", "after");
    received.Refresh();
    std::string want(30, 'b');
    want[6] = 'a';
    EXPECT_EQ(subjects(), want);
}

} // namespace
} // namespace data

namespace data {
namespace {

TEST(TwoProcesses, ARefusedDeleteStaysUndoneAfterTheNextMove) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    {
        TTable nodes;
        OpenNodes(nodes, dir.Path());
        for (const char* id : {"ONE", "TWO"}) {
            nodes.Append();
            nodes.FieldByName("UNIQUE_ID").SetAsString(id);
            nodes.Post();
        }
    }
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int status = 1;
        try {
            TTable nodes;
            OpenNodes(nodes, dir.Path());
            nodes.Edit(); // holds the first row
            Signal(toParent[1]);
            Wait(toChild[0]);
            nodes.Cancel();
            status = 0;
        } catch (...) {
        }
        _exit(status);
    }
    ASSERT_TRUE(Wait(toParent[0]));
    // Deleted rows hidden, as the programs have it.
    TXbEnv::Create().SetDeleted(true);
    struct Release {
        ~Release() { TXbEnv::Release(); }
    } release;
    TTable nodes;
    OpenNodes(nodes, dir.Path());
    EXPECT_THROW(nodes.Delete(), EDatabaseError);
    Signal(toChild[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Going to a record writes nothing the caller was told failed.
    TDataSource source;
    source.SetDataSet(&nodes);
    TXbTable partner;
    partner.SetDataSource(&source);
    partner.Go(1);
    EXPECT_EQ(nodes.RecNo(), 1);
    EXPECT_EQ(nodes.FieldByName("UNIQUE_ID").AsString(), "ONE");
    EXPECT_EQ(nodes.RecordCount(), 2);
}

} // namespace
} // namespace data

namespace data {
namespace {

std::string Ids(TTable& t) {
    std::string ids;
    for (t.First(); !t.Eof(); t.Next())
        ids += t.FieldByName("UNIQUE_ID").AsString() + ",";
    return ids;
}

TEST(TwoProcesses, ARefusedInsertIsReportedLockedAndNeverWrittenLater) {
    test::TempFolder dir;
    ASSERT_TRUE(test::InstallTables(dir.Path()));
    TTable nodes;
    OpenNodes(nodes, dir.Path());
    nodes.Append();
    nodes.FieldByName("UNIQUE_ID").SetAsString("ONE");
    nodes.Post();

    test::THeaderLockHolder other(dir.Path() + "NODES.DBF");
    ASSERT_TRUE(other.Held());
    xb_SetLockTimeout(0);
    auto refused = [&nodes] {
        try {
            nodes.Post();
            ADD_FAILURE() << "an insert under another program's header lock";
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Code(), CURERR_APPEND2);
            EXPECT_EQ(e.Message(), "Cursor Error : 10243");
        }
        EXPECT_EQ(nodes.State(), TDataSetState::dsInsert);
    };
    // The user cancels the refused row.
    nodes.Append();
    nodes.FieldByName("UNIQUE_ID").SetAsString("CANCELLED");
    refused();
    nodes.Cancel();
    // Another row, refused and posted again once the lock is free.
    nodes.Append();
    nodes.FieldByName("UNIQUE_ID").SetAsString("RETRIED");
    refused();
    other.Release();
    nodes.Post();
    xb_SetLockTimeout(1);

    EXPECT_EQ(Ids(nodes), "ONE,RETRIED,");
    nodes.Close();
    OpenNodes(nodes, dir.Path());
    EXPECT_EQ(Ids(nodes), "ONE,RETRIED,");
    EXPECT_EQ(nodes.RecordCount(), 2);
}

} // namespace
} // namespace data
