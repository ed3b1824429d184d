// Table maintenance on a running program's tables, checked with outside
// readers: dbfread for the rows, index_dump for the tags.
#include "cfgman/core/cfgtables.h"
#include "cfgman/core/maintenance.h"
#include "cfgman/tests/cfgfixture.h"

#include <QProcess>
#include <csignal>
#include <sys/resource.h>

namespace cfgtest {
namespace {

std::string Capture(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return p.readAllStandardOutput().toStdString();
}

// Live and deleted record counts as dbfread sees them.
std::pair<int, int> DbfCounts(const std::string& file) {
    const std::string out =
        Capture(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"),
                 QStringLiteral("import sys, dbfread\nt = dbfread.DBF(sys.argv[1])\n"
                                "print(len(list(t)), len(list(t.deleted)))"),
                 QString::fromStdString(file)});
    int live = -1, deleted = -1;
    std::sscanf(out.c_str(), "%d %d", &live, &deleted);
    return {live, deleted};
}

class MaintenanceTest : public CfgTest {
protected:
    void Open() {
        tables_ = std::make_unique<cfgman::TCfgTables>();
        tables_->PointAt(db_);
        tables_->Open();
    }
    void ExpectAllShared() {
        for (const auto& e : tables_->OpenOrder()) {
            EXPECT_TRUE(e.table->Active()) << e.file;
            EXPECT_FALSE(e.table->Exclusive()) << e.file;
        }
    }
    std::unique_ptr<cfgman::TCfgTables> tables_;
};

TEST_F(MaintenanceTest, CompressRemovesDeletedRowsAndLeavesTheTablesShared) {
    AddGroup("G1", "Sales");
    for (const char* a : {"A1", "A2", "A3"})
        AddAccount(a, "G1", a);
    AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", "<m1>"}, {"LINK_ID", "A1"}});
    Open();
    // Nothing deleted yet: the counts stay.
    cfgman::PackTables(*tables_);
    EXPECT_EQ(DbfCounts(db_ + "NODES.DBF"), std::make_pair(3, 0));
    ExpectAllShared();

    tables_->XbNodes2.Go(2);
    tables_->TableNodes2.Delete();
    EXPECT_EQ(DbfCounts(db_ + "NODES.DBF"), std::make_pair(2, 1));
    cfgman::PackTables(*tables_);
    EXPECT_EQ(DbfCounts(db_ + "NODES.DBF"), std::make_pair(2, 0));
    EXPECT_EQ(DbfCounts(db_ + "RECEIVED.DBF"), std::make_pair(1, 0));
    ExpectAllShared();
    // The index follows the packed table.
    EXPECT_EQ(Capture(QStringLiteral("index_dump"),
                      {QStringLiteral("--type"), QStringLiteral("char"),
                       QString::fromStdString(db_ + "NODES.cdx"), QStringLiteral("UNIQUE_ID")}),
              "A1 1\nA3 2\n");
    // Another program still opens them shared.
    TableHolder other(db_, "NODES.DBF", "1");
    EXPECT_TRUE(other.Ready());
}

TEST_F(MaintenanceTest, ReIndexStopsAtATableHeldElsewhereAndEverythingStaysUsable) {
    AddGroup("G1", "Sales");
    AddAccount("B", "G1", "Second");
    AddAccount("A", "G1", "First");
    Open();
    {
        // The agent processor has the received table open.
        TableHolder processor(db_, "RECEIVED.DBF", "shared");
        ASSERT_TRUE(processor.Ready());
        EXPECT_THROW(cfgman::ReIndexTables(*tables_), data::EDatabaseError);
        // Accounts and groups came first and are done; the rest is open again.
        for (const auto& e : tables_->OpenOrder())
            if (std::string(e.file) != "RECEIVED.DBF") {
                EXPECT_TRUE(e.table->Active()) << e.file;
            }
    }
    EXPECT_EQ(Capture(QStringLiteral("index_dump"),
                      {QStringLiteral("--type"), QStringLiteral("char"),
                       QString::fromStdString(db_ + "NODES.cdx"), QStringLiteral("UNIQUE_ID")}),
              "A 2\nB 1\n");
    // Without the other program the whole command runs, and the tables work.
    cfgman::ReIndexTables(*tables_);
    ExpectAllShared();
    tables_->TableGroups.First();
    // The group's accounts in LINK_ID order, equal keys by record.
    tables_->TableNodes.First();
    EXPECT_EQ(tables_->TableNodes.FieldByName("UNIQUE_ID").AsString(), "B");
    tables_->TableNodes.Next();
    EXPECT_EQ(tables_->TableNodes.FieldByName("UNIQUE_ID").AsString(), "A");
    for (const char* tag : {"UNIQUE_ID", "LINK_ID", "NODE"})
        EXPECT_FALSE(Capture(QStringLiteral("index_dump"),
                             {QStringLiteral("--type"), QStringLiteral("char"),
                              QString::fromStdString(db_ + "NODES.cdx"), QString::fromLatin1(tag)})
                         .empty())
            << tag;
}

// Files may not grow past a size for the length of the object (as on a
// full disk); a write past it fails instead of ending the process.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{bytes, old_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldSignal_);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldSignal_)(int) = nullptr;
};

TEST_F(MaintenanceTest, ATagThatCannotBeWrittenStopsReIndexWithTheEnginesReason) {
    AddGroup("G1", "Sales");
    {
        data::TTable t;
        t.SetDatabaseName(db_);
        t.SetTableName("RECEIVED.DBF");
        t.Open();
        for (int i = 0; i < 3000; ++i) {
            t.Append();
            t.FieldByName("MESSAGE_ID").SetAsString("<" + std::to_string(i) + "@example.com>");
            t.FieldByName("LINK_ID").SetAsString("A1");
            t.FieldByName("FROM").SetAsString("sender" + std::to_string(i) + "@example.com");
            t.Post();
        }
        t.Close();
    }
    // The received table's index file is the only one of its size.
    std::uintmax_t received = 0, others = 0;
    for (const auto& e : std::filesystem::directory_iterator(db_)) {
        const QString name = QString::fromStdString(e.path().filename().string());
        if (name.compare("RECEIVED.cdx", Qt::CaseInsensitive) == 0)
            received = e.file_size();
        else if (!name.startsWith("RECEIVED.", Qt::CaseInsensitive))
            others = std::max(others, e.file_size());
    }
    ASSERT_GT(received / 2, others);
    Open();
    try {
        TFileSizeLimit full(received / 2);
        cfgman::ReIndexTables(*tables_);
        ADD_FAILURE() << "re-indexing went on without the received table's tags";
    } catch (const data::EDatabaseError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("MESSAGE_ID"), std::string::npos) << what;
        EXPECT_NE(what.find("RECEIVED.DBF"), std::string::npos) << what;
    }
    // With room again, the whole command runs.
    cfgman::ReIndexTables(*tables_);
    ExpectAllShared();
    EXPECT_EQ(DbfCounts(db_ + "RECEIVED.DBF"), std::make_pair(3000, 0));
}

TEST_F(MaintenanceTest, EraseEmptiesOnlyTheMessageTablesAndNoFile) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Attach("T1", "A1", "Reply");
    AppendRow("rules.dbf", {{"UNIQUE_ID", "R1"}, {"LINK_ID", "A1"}});
    for (const char* table : {"RECEIVED.DBF", "PENDING.DBF"})
        AppendRow(table, {{"MESSAGE_ID", "<m>"}, {"LINK_ID", "A1"}});
    for (const char* table : {"sent.dbf", "outbox.dbf"})
        AppendRow(table, {{"UNIQUE_ID", "S1"}, {"LINK_ID", "A1"}});
    AppendRow("ACTIONS.DBF", {{"UNIQUE_ID", "X1"}, {"AGENT_ID", "T1"}});
    Spit(root_ + "messages/A1/In/m.eml", "Subject: kept\r\n\r\n");
    Open();
    cfgman::ZapMessageTables(*tables_);
    for (const char* table :
         {"RECEIVED.DBF", "PENDING.DBF", "sent.dbf", "outbox.dbf", "ACTIONS.DBF"})
        EXPECT_TRUE(Rows(table).empty()) << table;
    for (const char* table : {"ORGS.DBF", "GROUPS.DBF", "NODES.DBF", "Agents.dbf", "rules.dbf"})
        EXPECT_EQ(Rows(table).size(), 1u) << table;
    EXPECT_TRUE(std::filesystem::exists(root_ + "messages/A1/In/m.eml"));
    ExpectAllShared();
}

} // namespace
} // namespace cfgtest
