// TTable driven as the programs drive it, on the installed tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "data/cursor.h"
#include "data/dataset.h"
#include "data/schema.h"
#include "data/tests/testutil.h"
#include "data/xbtable.h"
#include "platform/win/formatdatetime.h"
#include "platform/xbase/xbengine.h"

namespace data {
namespace {

class TableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::InstallTables(dir_.Path()));
        xb_SetDeleted(1);
        win::TDateTime t = 0;
        ASSERT_TRUE(win::TryEncodeDate(2026, 12, 9, t));
        now_ = t + 10.5 / 24;
        win::SetClock([this] { return now_; });
    }
    void TearDown() override {
        win::SetClock(nullptr);
        xb_SetDeleted(0);
    }

    void Setup(TTable& t, const char* name, const char* index = "") {
        t.SetDatabaseName(dir_.Path());
        t.SetTableName(name);
        t.SetTableType(TTableType::ttXBFOX);
        t.SetIndexName(index);
    }
    void AddAccount(TTable& nodes, const std::string& id, const std::string& name) {
        nodes.Append();
        nodes.FieldByName("UNIQUE_ID").SetAsString(id);
        nodes.FieldByName("NODE").SetAsString(name);
        nodes.FieldByName("FREQVAL").SetAsInteger(10);
        nodes.Post();
    }
    void AddMessage(TTable& t, const std::string& key, const std::string& account) {
        t.Append();
        t.FieldByName("MESSAGE_ID").SetAsString(key);
        t.FieldByName("LINK_ID").SetAsString(account);
        t.Post();
    }
    static std::string Column(TTable& t, const char* field) {
        std::string s;
        for (t.First(); !t.Eof(); t.Next())
            s += t.FieldByName(field).AsString() + ",";
        return s;
    }

    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_.Path()))
            names.insert(e.path().filename().string());
        return names;
    }

    test::TempFolder dir_;
    win::TDateTime now_ = 0;
};

TEST_F(TableTest, TableTypesAndDriverNames) {
    EXPECT_STREQ(DriverName(TTableType::ttDefault), "PARADOX");
    EXPECT_STREQ(DriverName(TTableType::ttASCII), "ASCIIDRV");
    EXPECT_STREQ(DriverName(TTableType::ttXBNSX), "XBNSX");
    EXPECT_EQ(ResolveTableType(TTableType::ttDefault, "nodes.dbf"), TTableType::ttXBFOX);
    EXPECT_EQ(ResolveTableType(TTableType::ttDefault, "list.TXT"), TTableType::ttASCII);
    EXPECT_EQ(ResolveTableType(TTableType::ttXBNTX, "nodes.dbf"), TTableType::ttXBNTX);
    EXPECT_TRUE(IsXBaseType(TTableType::ttDBase));
    EXPECT_FALSE(IsXBaseType(TTableType::ttParadox));
}

TEST_F(TableTest, OpenByNameInAnyCaseAndReadTheOrganisation) {
    TTable orgs;
    Setup(orgs, "orgs.dbf");
    orgs.SetTableType(TTableType::ttDefault);
    orgs.Open();
    EXPECT_EQ(orgs.State(), TDataSetState::dsBrowse);
    EXPECT_FALSE(orgs.Eof());
    EXPECT_EQ(orgs.FieldByName("ORG").AsString(), kDefaultOrgName);
    EXPECT_EQ(orgs.FieldByName("UNIQUE_ID").AsString().size(), 16u);
    EXPECT_TRUE(orgs.FieldByName("POSITION").IsNull());
    EXPECT_EQ(orgs.FieldByName("NOTES").AsString(), "");
    EXPECT_THROW((void)orgs.FieldByName("NOPE"), EDatabaseError);
    orgs.Next();
    EXPECT_TRUE(orgs.Eof());

    TTable missing;
    Setup(missing, "nothere.dbf");
    try {
        missing.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Cursor Error : 10024");
    }
    EXPECT_FALSE(missing.Active());
}

TEST_F(TableTest, StartUpFailuresNameTheFileAndWhatToRun) {
    auto failure = [](TTable& t) {
        try {
            OpenAtStartUp(t);
        } catch (const EDatabaseError& e) {
            return e.Message();
        }
        return std::string("opened");
    };
    TTable missing;
    Setup(missing, "nothere.dbf");
    EXPECT_EQ(failure(missing),
              "Cursor Error : 10024\nThe table " + dir_.Path() +
                  "nothere.dbf does not exist. Create the tables with: mkschema " + dir_.Path());
    std::ofstream(dir_.Path() + "broken.dbf") << "not a table";
    TTable broken;
    Setup(broken, "broken.dbf");
    const std::string text = failure(broken);
    EXPECT_TRUE(text.starts_with("Cursor Error : ")) << text;
    EXPECT_TRUE(text.ends_with("\nThe table " + dir_.Path() + "broken.dbf cannot be opened."))
        << text;
    TTable nowhere;
    nowhere.SetDatabaseName(dir_.Path() + "gone");
    nowhere.SetTableName("NODES.DBF");
    EXPECT_EQ(failure(nowhere), "Cursor Error : 10024\nThe database folder " + dir_.Path() +
                                    "gone/ does not exist. Create it with the tables: mkschema " +
                                    dir_.Path() + "gone/");
}

TEST_F(TableTest, AccountsWithReceivedAndPendingDetails) {
    TTable nodes, received, pending;
    TDataSource nodesSource;
    nodesSource.SetDataSet(&nodes);
    Setup(nodes, "NODES.DBF");
    Setup(received, "received.dbf", "LINK_ID");
    Setup(pending, "PENDING.DBF", "LINK_ID");
    for (TTable* d : {&received, &pending}) {
        d->SetMasterSource(&nodesSource);
        d->SetMasterFields("UNIQUE_ID");
    }
    nodes.Open();
    received.Open();
    pending.Open();
    AddAccount(nodes, "ACC1", "first");
    AddAccount(nodes, "ACC10", "second"); // shares a prefix with ACC1
    AddMessage(received, "<m1@x>", "ACC1");
    AddMessage(received, "<m2@x>", "ACC10");
    AddMessage(received, "<m3@x>", "ACC1");
    AddMessage(pending, "<p1@x>", "ACC10");

    nodes.First();
    EXPECT_EQ(nodes.FieldByName("NODE").AsString(), "first");
    EXPECT_EQ(Column(received, "MESSAGE_ID"), "<m1@x>,<m3@x>,");
    EXPECT_EQ(Column(pending, "MESSAGE_ID"), "");
    EXPECT_EQ(received.RecordCount(), 2);
    nodes.Next();
    EXPECT_EQ(Column(received, "MESSAGE_ID"), "<m2@x>,");
    EXPECT_EQ(Column(pending, "MESSAGE_ID"), "<p1@x>,");
    // A detail row appended under a master starts with the master's key.
    received.Append();
    EXPECT_EQ(received.FieldByName("LINK_ID").AsString(), "ACC10");
    received.FieldByName("MESSAGE_ID").SetAsString("<m4@x>");
    received.Post();
    EXPECT_EQ(Column(received, "MESSAGE_ID"), "<m2@x>,<m4@x>,");
    nodes.Last();
    EXPECT_TRUE(nodes.Eof());
    nodes.Prior();
    EXPECT_EQ(nodes.FieldByName("NODE").AsString(), "first");
    nodes.Prior();
    EXPECT_TRUE(nodes.Bof());
    EXPECT_EQ(nodes.FieldByName("NODE").AsString(), "first");
}

// A walk of the master with controls disabled leaves its details alone;
// enabling them again brings the details to the master's row once.
TEST_F(TableTest, AWalkWithControlsDisabledMovesTheDetailsOnceAtTheEnd) {
    TTable nodes, received;
    TDataSource nodesSource;
    nodesSource.SetDataSet(&nodes);
    Setup(nodes, "NODES.DBF");
    Setup(received, "received.dbf", "LINK_ID");
    received.SetMasterSource(&nodesSource);
    received.SetMasterFields("UNIQUE_ID");
    nodes.Open();
    received.Open();
    AddAccount(nodes, "ACC1", "first");
    AddAccount(nodes, "ACC2", "second");
    AddAccount(nodes, "ACC3", "third");
    AddMessage(received, "<m1@x>", "ACC1");
    AddMessage(received, "<m3@x>", "ACC3");
    int scrolls = 0;
    received.AfterScroll = [&](TTable&) { ++scrolls; };
    nodes.First();
    EXPECT_EQ(received.FieldByName("MESSAGE_ID").AsString(), "<m1@x>");
    scrolls = 0;
    nodes.DisableControls();
    nodes.DisableControls(); // nested
    std::string names;
    for (nodes.First(); !nodes.Eof(); nodes.Next())
        names += nodes.FieldByName("NODE").AsString() + ",";
    EXPECT_EQ(names, "first,second,third,");
    nodes.EnableControls();
    EXPECT_EQ(scrolls, 0);
    EXPECT_EQ(received.FieldByName("MESSAGE_ID").AsString(), "<m1@x>");
    nodes.EnableControls();
    EXPECT_EQ(scrolls, 1);
    EXPECT_EQ(received.FieldByName("MESSAGE_ID").AsString(), "<m3@x>");
    // Nothing moved while disabled: nothing to tell afterwards.
    nodes.DisableControls();
    nodes.EnableControls();
    EXPECT_EQ(scrolls, 1);
    nodes.First();
    EXPECT_EQ(scrolls, 2);
    EXPECT_EQ(received.FieldByName("MESSAGE_ID").AsString(), "<m1@x>");
}

TEST_F(TableTest, ReadingTheIndexDefinitionsKeepsADetailsRowsAndRow) {
    TTable nodes, received;
    TDataSource nodesSource;
    nodesSource.SetDataSet(&nodes);
    Setup(nodes, "NODES.DBF");
    Setup(received, "received.dbf", "LINK_ID"); // the bag's second tag
    received.SetMasterSource(&nodesSource);
    received.SetMasterFields("UNIQUE_ID");
    nodes.Open();
    received.Open();
    AddAccount(nodes, "ACC1", "first");
    AddMessage(received, "<m1@x>", "ACC1");
    AddMessage(received, "<m2@x>", "ACC1");
    AddAccount(nodes, "ACC2", "second");
    AddMessage(received, "<m3@x>", "ACC2");
    nodes.First();
    received.First();
    received.Next();
    received.UpdateIndexDefs();
    ASSERT_EQ(received.IndexDefs().size(), 3u);
    EXPECT_EQ(received.IndexDefs()[0].szTagName, "MESSAGE_ID");
    EXPECT_TRUE(received.IndexDefs()[0].bUnique);
    EXPECT_EQ(received.FieldByName("MESSAGE_ID").AsString(), "<m2@x>");
    received.Next();
    EXPECT_TRUE(received.Eof());
    EXPECT_EQ(received.RecordCount(), 2);
    EXPECT_EQ(Column(received, "MESSAGE_ID"), "<m1@x>,<m2@x>,");
}

TEST_F(TableTest, AppendWithTimeStampsFromTheAfterInsertHook) {
    TTable actions;
    Setup(actions, "ACTIONS.DBF");
    actions.AfterInsert = [](TTable& t) {
        t.FieldByName("CREATEON").SetAsDateTime(win::Now());
        t.FieldByName("CREATEAT").SetAsString(TimeOfDayText(win::Now()));
    };
    actions.Open();
    const std::string text = "AutoReply Generated, SUBJECT: hello";
    actions.Append();
    actions.FieldByName("UNIQUE_ID").SetAsString(UniqueId(win::Now(), text, kActionSuffix));
    actions.FieldByName("MESSAGE_ID").SetAsString(StoredMessageKey(std::string(60, 'k')));
    actions.FieldByName("ACTION").SetAsString(text);
    actions.Post();
    actions.First();
    EXPECT_EQ(actions.FieldByName("UNIQUE_ID").AsString(), "20261209103000AutoRe");
    EXPECT_EQ(actions.FieldByName("CREATEAT").AsString(), "10:30");
    EXPECT_EQ(win::FormatDateTime("yyyymmdd", actions.FieldByName("CREATEON").AsDateTime()),
              "20261209");
    EXPECT_EQ(actions.FieldByName("MESSAGE_ID").AsString(), StoredMessageKey(std::string(60, 'k')));
    EXPECT_EQ(actions.FieldByName("ACTION").AsString(), text);
    EXPECT_EQ(actions.RecordCount(), 1);
}

TEST_F(TableTest, TextDatesNumbersAndMemos) {
    TTable nodes;
    Setup(nodes, "NODES.DBF");
    nodes.Open();
    win::DefaultFormatSettings().ShortDateFormat = "mm/dd/yy";
    nodes.Append();
    nodes.FieldByName("UNIQUE_ID").SetAsString("N1");
    // The retriever writes its schedule as text in the short date format.
    nodes.FieldByName("NEXTDATE").SetAsString("12/09/26");
    nodes.FieldByName("LASTDATE").SetAsString("");
    nodes.FieldByName("FREQVAL").SetAsString("90");
    nodes.FieldByName("NOTES").SetAsString("first line\r\nsecond line");
    EXPECT_THROW(nodes.FieldByName("FREQVAL").SetAsString("ten"), EConvertError);
    EXPECT_THROW(nodes.FieldByName("NEXTDATE").SetAsString("31/31/26"), EConvertError);
    EXPECT_THROW(nodes.FieldByName("FREQVAL").SetAsInteger(123456), EDatabaseError);
    nodes.Post();
    win::DefaultFormatSettings().ShortDateFormat = "m/d/yy";
    nodes.First();
    EXPECT_EQ(win::FormatDateTime("yyyymmdd", nodes.FieldByName("NEXTDATE").AsDateTime()),
              "20261209");
    EXPECT_TRUE(nodes.FieldByName("LASTDATE").IsNull());
    EXPECT_EQ(nodes.FieldByName("FREQVAL").AsInteger(), 90);
    EXPECT_EQ(nodes.FieldByName("NOTES").AsString(), "first line\r\nsecond line");
    // Writing outside edit or insert is refused.
    EXPECT_THROW(nodes.FieldByName("NODE").SetAsString("x"), EDatabaseError);
    nodes.Edit();
    nodes.FieldByName("NOTES").SetAsString("changed");
    nodes.Post();
    nodes.Refresh();
    EXPECT_EQ(nodes.FieldByName("NOTES").AsString(), "changed");
    nodes.Close();
    // An outside reader sees a date and a text memo (bytes would mean a binary memo).
    const std::string script = "import sys\n"
                               "from dbfread import DBF\n"
                               "r = next(iter(DBF(sys.argv[1])))\n"
                               "print(repr(r['NEXTDATE']), repr(r['NOTES']), r['FREQVAL'])\n";
    std::string out;
    ASSERT_EQ(test::Run({"/usr/bin/python3", "-c", script, dir_.Path() + "NODES.DBF"}, &out), 0)
        << out;
    EXPECT_EQ(out, "datetime.date(2026, 12, 9) 'changed' 90\n");
}

// Numbers with decimals as text and back: the record's decimal point, whatever
// the program's locale.
TEST_F(TableTest, DecimalNumbersAsTextAndBack) {
    const XbFieldDef defs[] = {{"NAME", 'C', 10, 0}, {"PRICE", 'N', 8, 2}};
    ASSERT_EQ(xb_Create((dir_.Path() + "prices.dbf").c_str(), defs, 2), 1);
    TTable prices;
    Setup(prices, "prices.dbf");
    prices.Open();
    prices.Append();
    prices.FieldByName("PRICE").SetAsString("3.25");
    EXPECT_EQ(prices.FieldByName("PRICE").AsFloat(), 3.25);
    EXPECT_EQ(prices.FieldByName("PRICE").AsString(), "3.25");
    prices.FieldByName("NAME").SetAsFloat(1.75);
    EXPECT_EQ(prices.FieldByName("NAME").AsString(), "1.75");
    EXPECT_EQ(prices.FieldByName("NAME").AsFloat(), 1.75);
    EXPECT_THROW(prices.FieldByName("PRICE").SetAsString("many"), EConvertError);
    prices.Post();
    prices.Close();
}

TEST_F(TableTest, CancelRestoresTheRowShownBefore) {
    TTable groups;
    Setup(groups, "GROUPS.DBF", "GROUP");
    groups.Open();
    groups.Append();
    groups.FieldByName("GROUP").SetAsString("Sales");
    groups.Post();
    groups.Append();
    groups.FieldByName("GROUP").SetAsString("never");
    groups.Cancel();
    EXPECT_EQ(groups.FieldByName("GROUP").AsString(), "Sales");
    groups.Edit();
    groups.FieldByName("GROUP").SetAsString("Support");
    groups.Cancel();
    EXPECT_EQ(groups.FieldByName("GROUP").AsString(), "Sales");
    EXPECT_EQ(groups.RecordCount(), 1);
}

TEST_F(TableTest, LocateFindsWholeValuesOnly) {
    TTable groups;
    Setup(groups, "GROUPS.DBF");
    groups.Open();
    for (const char* g : {"Sales people", "Sales", "Say \"hi\""}) {
        groups.Append();
        groups.FieldByName("GROUP").SetAsString(g);
        groups.Post();
    }
    EXPECT_TRUE(groups.Locate("GROUP", "Sales"));
    EXPECT_EQ(groups.RecNo(), 2);
    EXPECT_TRUE(groups.Locate("GROUP", "Say \"hi\""));
    EXPECT_EQ(groups.RecNo(), 3);
    EXPECT_FALSE(groups.Locate("GROUP", "Sal"));
    EXPECT_EQ(groups.RecNo(), 3); // unchanged
    // The search leaves no filter behind.
    EXPECT_EQ(Column(groups, "GROUP"), "Sales people,Sales,Say \"hi\",");
}

TEST_F(TableTest, DeletedRowsAreHiddenThenPackedAway) {
    TTable sent;
    TDataSource source;
    source.SetDataSet(&sent);
    TXbTable xb;
    xb.SetDataSource(&source);
    Setup(sent, "sent.dbf", "UNIQUE_ID");
    sent.Open();
    for (const char* id : {"S1", "S2", "S3"}) {
        sent.Append();
        sent.FieldByName("UNIQUE_ID").SetAsString(id);
        sent.Post();
    }
    ASSERT_TRUE(xb.Seek("S2"));
    xb.Delete();
    EXPECT_EQ(sent.FieldByName("UNIQUE_ID").AsString(), "S3"); // its successor shows
    EXPECT_EQ(Column(sent, "UNIQUE_ID"), "S1,S3,");
    EXPECT_EQ(xb.Count(), 2);
    EXPECT_FALSE(xb.Seek("S2"));
    // Pack needs the table alone.
    EXPECT_THROW(xb.Pack(), EDatabaseError);
    sent.Close();
    sent.SetExclusive(true);
    sent.Open();
    xb.Pack();
    sent.Close();
    sent.SetExclusive(false);
    sent.Open();
    EXPECT_EQ(Column(sent, "UNIQUE_ID"), "S1,S3,");
    xb_SetDeleted(0);
    sent.Refresh();
    EXPECT_EQ(Column(sent, "UNIQUE_ID"), "S1,S3,");
    EXPECT_EQ(xb.Count(), 2);
}

TEST_F(TableTest, ExclusiveOpenShutsOthersOut) {
    TTable a, b;
    Setup(a, "RECEIVED.DBF", "MESSAGE_ID");
    Setup(b, "received.dbf", "MESSAGE_ID");
    a.Open();
    b.SetExclusive(true);
    EXPECT_THROW(b.Open(), EDatabaseError);
    EXPECT_FALSE(b.Active());
    a.Close();
    b.Open();
    EXPECT_THROW(a.Open(), EDatabaseError);
    b.Close();
    a.Open();
    EXPECT_TRUE(a.Active());
}

TEST_F(TableTest, AFailedSeekLeavesNoRowToMistakeForAMatch) {
    TTable received;
    TDataSource source;
    source.SetDataSet(&received);
    TXbTable xb;
    xb.SetDataSource(&source);
    Setup(received, "received.dbf", "MESSAGE_ID");
    received.Open();
    AddMessage(received, "<known@x>", "A1");
    ASSERT_TRUE(xb.Seek("<known@x>"));
    EXPECT_FALSE(received.Eof());
    EXPECT_EQ(received.FieldByName("MESSAGE_ID").AsString(), "<known@x>");
    EXPECT_FALSE(xb.Seek("<unknown@x>"));
    EXPECT_TRUE(received.Eof());
    EXPECT_TRUE(received.IsEmpty());
    EXPECT_TRUE(received.FieldByName("MESSAGE_ID").IsNull());
    EXPECT_EQ(received.FieldByName("MESSAGE_ID").AsString(), "");
    EXPECT_EQ(xb.RecNo(), 0);
    // A key that only starts a stored key is not that key.
    AddMessage(received, "2026010112000Hi th", "A1");
    EXPECT_FALSE(xb.Seek("2026010112000Hi"));
    EXPECT_TRUE(xb.Seek("2026010112000Hi th"));
    // The table goes on from there as usual, in key order.
    received.First();
    EXPECT_EQ(received.FieldByName("MESSAGE_ID").AsString(), "2026010112000Hi th");
}

TEST_F(TableTest, MaintenanceCycleKeepsTheTablesOwnTag) {
    TTable nodes, agents;
    TDataSource nodesSource, agentsSource;
    nodesSource.SetDataSet(&nodes);
    agentsSource.SetDataSet(&agents);
    TXbTable xbAgents;
    xbAgents.SetDataSource(&agentsSource);
    Setup(nodes, "nodes.dbf");
    Setup(agents, "Agents.dbf", "LINK_ID");
    agents.SetMasterSource(&nodesSource);
    agents.SetMasterFields("UNIQUE_ID");
    nodes.Open();
    agents.Open();
    AddAccount(nodes, "N1", "one");
    for (const char* a : {"zeta", "alpha"}) {
        agents.Append();
        agents.FieldByName("UNIQUE_ID").SetAsString(std::string("U") + a);
        agents.FieldByName("AGENT").SetAsString(a);
        agents.Post();
    }
    nodes.First();
    ASSERT_EQ(Column(agents, "AGENT"), "zeta,alpha,");

    // Exclusive cycle: close, open alone, rebuild the tags, reopen shared.
    const auto filesBefore = Files();
    agents.Close();
    agents.SetExclusive(true);
    agents.Open();
    const TableDef& def = *FindTable("Agents.dbf");
    for (const TagDef& tag : def.tags)
        EXPECT_GT(
            xbAgents.IndexTag(def.bagName, tag.name, tag.expression, tag.unique ? 1 : 0, false, ""),
            0);
    EXPECT_EQ(agents.IndexName(), "LINK_ID");
    EXPECT_EQ(xbAgents.TagName(xbAgents.IndexOrd()), "LINK_ID");
    EXPECT_EQ(Column(agents, "AGENT"), "zeta,alpha,");
    agents.Close();
    agents.SetExclusive(false);
    agents.Open();
    EXPECT_EQ(Column(agents, "AGENT"), "zeta,alpha,");
    EXPECT_EQ(agents.IndexDefs().size(), 3u);
    // The bag named without folder or extension is the table's own index file.
    EXPECT_EQ(Files(), filesBefore);

    // The same for the accounts, whose bag "nodes" is NODES.cdx on disk.
    TXbTable xbNodes;
    xbNodes.SetDataSource(&nodesSource);
    agents.Close();
    nodes.Close();
    nodes.SetExclusive(true);
    nodes.Open();
    const TableDef& nodesDef = *FindTable("nodes.dbf");
    for (const TagDef& tag : nodesDef.tags)
        EXPECT_GT(xbNodes.IndexTag(nodesDef.bagName, tag.name, tag.expression, tag.unique ? 1 : 0,
                                   false, ""),
                  0);
    EXPECT_EQ(xbNodes.IndexOrd(), 0); // natural order, as the table was opened
    nodes.Close();
    nodes.SetExclusive(false);
    nodes.Open();
    agents.Open();
    EXPECT_EQ(Files(), filesBefore);
    EXPECT_EQ(Column(agents, "AGENT"), "zeta,alpha,");
    // Switching tags re-orders the rows; the range follows the tag.
    agents.SetIndexName("AGENT");
    EXPECT_EQ(xbAgents.TagName(xbAgents.IndexOrd()), "AGENT");
}

TEST_F(TableTest, ZapEmptiesOnlyTheTableItWorksOn) {
    TTable pending, nodes;
    TDataSource source;
    source.SetDataSet(&pending);
    TXbTable xb;
    xb.SetDataSource(&source);
    Setup(pending, "PENDING.DBF");
    Setup(nodes, "NODES.DBF");
    nodes.Open();
    AddAccount(nodes, "N1", "one");
    pending.SetExclusive(true);
    pending.Open();
    AddMessage(pending, "<a>", "N1");
    AddMessage(pending, "<b>", "N1");
    xb.Zap();
    EXPECT_TRUE(pending.Eof());
    EXPECT_EQ(pending.RecordCount(), 0);
    EXPECT_EQ(nodes.RecordCount(), 1);
    // The empty table takes new rows again, with its tags intact.
    AddMessage(pending, "<c>", "N1");
    pending.SetIndexName("MESSAGE_ID");
    ASSERT_TRUE(xb.Seek("<c>"));
}

TEST_F(TableTest, DataSourcesSeeOpenCloseAndScrolls) {
    TTable orgs;
    TDataSource source;
    int changes = 0;
    source.OnDataChange = [&](TDataSource&) { ++changes; };
    source.SetDataSet(&orgs);
    TXbTable xb;
    xb.SetDataSource(&source);
    xb.SetFilter("ORG = \"nobody\"");
    Setup(orgs, "ORGS.DBF");
    orgs.Open(); // the component's filter applies as the table opens
    EXPECT_TRUE(orgs.Eof());
    EXPECT_GT(changes, 0);
    xb.Query("");
    orgs.First();
    EXPECT_FALSE(orgs.Eof());
    EXPECT_EQ(xb.Filter(), "");
    EXPECT_EQ(xb.RecSize(), FindTable("ORGS.DBF")->RecordSize());
    EXPECT_EQ(xb.IndexOrd(), 0);
}

} // namespace
} // namespace data
