// Agents without windows: names, the stamps the editors write, attaching
// and detaching rows, renaming and deleting agent files.
#include "cfgman/core/agents.h"
#include "cfgman/core/cfgtables.h"
#include "cfgman/tests/cfgfixture.h"
#include "platform/win/datetime.h"

namespace cfgtest {
namespace {

class AgentsTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        agents_ = root_ + "agents/";
        std::filesystem::create_directories(agents_);
    }
    void TearDown() override {
        win::SetClock({});
        tables_.reset();
        CfgTest::TearDown();
    }
    void Open() {
        tables_ = std::make_unique<cfgman::TCfgTables>();
        tables_->SetSystemProperties();
        tables_->PointAt(db_);
        tables_->Open();
    }
    // The second accounts view on the account with this key.
    void OnAccount(const std::string& id) {
        ASSERT_TRUE(tables_->TableNodes2.Locate("UNIQUE_ID", id));
    }
    std::string agents_;
    std::unique_ptr<cfgman::TCfgTables> tables_;
};

TEST(AgentNames, WhatCannotNameAnAgentFileInsideTheFolderIsRefusedWithTheReason) {
    EXPECT_EQ(cfgman::AgentNameProblem("Orders"), "");
    EXPECT_EQ(cfgman::AgentNameProblem("Auto answer: r\xc3\xa9sum\xc3\xa9s"), "");
    EXPECT_EQ(cfgman::AgentNameProblem(std::string(99, 'x')), "");
    EXPECT_NE(cfgman::AgentNameProblem(std::string(100, 'x')).find("99"), std::string::npos);
    EXPECT_NE(cfgman::AgentNameProblem(""), "");
    for (const char* bad : {"../etc/passwd", "a\\b", "why?", "two\nlines", "tab\there"})
        EXPECT_NE(cfgman::AgentNameProblem(bad), "") << bad;
}

TEST(AgentNames, TheEditorsAgentIsAMessageAgentThatKeepsItsCreation) {
    win::TDateTime t0 = 0;
    ASSERT_TRUE(win::TryEncodeDate(2026, 3, 4, t0));
    win::SetClock([&] { return t0 + 0.5; });
    const quelta::TAgentDefinition a = cfgman::MessageAgent({{"Subject", "contains", "x"}}, {});
    EXPECT_EQ(a.AgentType, "MESSAGE");
    EXPECT_EQ(a.AppVersion, "1.018");
    EXPECT_EQ(a.CreatedDateTime, a.ModifiedDateTime);
    EXPECT_EQ(a.TriggerCount, 1);
    const quelta::TAgentDefinition b = cfgman::MessageAgent({}, {}, "1/1/99 1:00:00 AM");
    EXPECT_EQ(b.CreatedDateTime, "1/1/99 1:00:00 AM");
    EXPECT_EQ(b.ModifiedDateTime, a.ModifiedDateTime);
    EXPECT_NE(b.ModifiedDateTime.find("12:00:00"), std::string::npos) << b.ModifiedDateTime;
    win::SetClock({});
}

TEST_F(AgentsTest, AttachingTwiceInOneSecondGivesTwoKeysAndDetachTakesTheRowItIsGiven) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    AddAccount("A2", "G1", "Support");
    Open();
    // Where the second accounts view stands does not decide.
    OnAccount("A1");
    win::TDateTime t0 = 0;
    ASSERT_TRUE(win::TryEncodeDate(2026, 3, 4, t0));
    int calls = 0;
    // The clock stands still until the second key has met the first.
    win::SetClock([&] { return t0 + (++calls > 2 ? 1.0 / 86400 : 0.0); });
    const std::int32_t first = cfgman::AttachAgent(*tables_, "A2", "Auto answer");
    const std::int32_t second = cfgman::AttachAgent(*tables_, "A2", "Auto answer");
    EXPECT_NE(first, second);
    const auto rows = Rows("Agents.dbf");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].at("UNIQUE_ID"), "20260304000000Auto a");
    EXPECT_EQ(rows[1].at("UNIQUE_ID"), "20260304000001Auto a");
    EXPECT_EQ(rows[0].at("LINK_ID"), "A2");
    EXPECT_EQ(rows[0].at("AGENT"), "Auto answer");
    EXPECT_EQ(rows[0].at("TYPE"), "");
    // A name shorter than six characters gives all of it.
    cfgman::AttachAgent(*tables_, "A1", "Ord");
    EXPECT_EQ(Rows("Agents.dbf")[2].at("UNIQUE_ID").substr(14), "Ord");
    EXPECT_EQ(Rows("Agents.dbf")[2].at("LINK_ID"), "A1");

    // Detach deletes the row it is given, wherever the view stands, and
    // only while that row still holds its key.
    tables_->XbAgents2.Go(second);
    EXPECT_TRUE(cfgman::DetachAgent(*tables_, first, "20260304000000Auto a"));
    EXPECT_FALSE(cfgman::DetachAgent(*tables_, first, "20260304000000Auto a"));
    EXPECT_FALSE(cfgman::DetachAgent(*tables_, second, "20260304000009Auto a"));
    const auto left = Rows("Agents.dbf");
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].at("UNIQUE_ID"), "20260304000001Auto a");
}

TEST_F(AgentsTest, AttachingNeedsAnAccountThatIsStillThere) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Open();
    OnAccount("A1");
    EXPECT_THROW(cfgman::AttachAgent(*tables_, "", "Orders"), data::EDatabaseError);
    EXPECT_THROW(cfgman::AttachAgent(*tables_, "A9", "Orders"), data::EDatabaseError);
    EXPECT_TRUE(Rows("Agents.dbf").empty());
    EXPECT_FALSE(cfgman::DetachAgent(*tables_, 1, "T1"));
}

TEST_F(AgentsTest, ARenameMovesTheFileAndTheRowsThatAttachIt) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Attach("T1", "A1", "Order");
    Attach("T2", "A1", "order"); // the same file, found without regard to case
    Attach("T3", "A1", "Orders desk");
    Spit(agents_ + "Order.agent", "[MAIN]\nAgentType=MESSAGE\n");
    Spit(agents_ + "Orders desk.agent", "other");
    Open();
    tables_->XbAgents2.Go(3);
    EXPECT_EQ(cfgman::RenameAgent(*tables_, agents_, "Order", "Orders"),
              cfgman::TAgentRename::Renamed);
    EXPECT_FALSE(std::filesystem::exists(agents_ + "Order.agent"));
    EXPECT_EQ(Slurp(agents_ + "Orders.agent"), "[MAIN]\nAgentType=MESSAGE\n");
    const auto rows = Rows("Agents.dbf");
    EXPECT_EQ(rows[0].at("AGENT"), "Orders");
    EXPECT_EQ(rows[1].at("AGENT"), "Orders");
    EXPECT_EQ(rows[2].at("AGENT"), "Orders desk");
    // The view is back on the row it stood on.
    EXPECT_EQ(tables_->TableAgents2.RecNo(), 3);

    // Never over another agent's file, in whatever case it is written.
    EXPECT_EQ(cfgman::RenameAgent(*tables_, agents_, "Orders", "ORDERS DESK"),
              cfgman::TAgentRename::Exists);
    EXPECT_EQ(Slurp(agents_ + "Orders desk.agent"), "other");
    EXPECT_TRUE(std::filesystem::exists(agents_ + "Orders.agent"));
    // Another spelling of its own name is a rename.
    EXPECT_EQ(cfgman::RenameAgent(*tables_, agents_, "Orders", "ORDERS"),
              cfgman::TAgentRename::Renamed);
    EXPECT_TRUE(std::filesystem::exists(agents_ + "ORDERS.agent"));
    EXPECT_EQ(Rows("Agents.dbf")[0].at("AGENT"), "ORDERS");
    // A file that has gone cannot be renamed.
    EXPECT_EQ(cfgman::RenameAgent(*tables_, agents_, "Gone", "Here"), cfgman::TAgentRename::Failed);
    EXPECT_FALSE(std::filesystem::exists(agents_ + "Here.agent"));
}

TEST_F(AgentsTest, ARowAnotherProgramHoldsRefusesTheRenameAndNothingChanges) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Attach("T1", "A1", "Other");
    Attach("T2", "A1", "Order");
    Spit(agents_ + "Order.agent", "x");
    Open();
    TableHolder holder(db_, "Agents.dbf", "2");
    ASSERT_TRUE(holder.Ready());
    EXPECT_EQ(cfgman::RenameAgent(*tables_, agents_, "Order", "Orders"),
              cfgman::TAgentRename::Locked);
    EXPECT_TRUE(std::filesystem::exists(agents_ + "Order.agent"));
    EXPECT_FALSE(std::filesystem::exists(agents_ + "Orders.agent"));
    EXPECT_EQ(Rows("Agents.dbf")[1].at("AGENT"), "Order");
}

TEST_F(AgentsTest, DeletingAnAgentTakesItsFileAndLeavesItsRows) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Attach("T1", "A1", "Order");
    Spit(agents_ + "Order.agent", "x");
    EXPECT_TRUE(cfgman::DeleteAgentFile(agents_, "order"));
    EXPECT_FALSE(std::filesystem::exists(agents_ + "Order.agent"));
    EXPECT_EQ(Rows("Agents.dbf").size(), 1u);
    EXPECT_TRUE(cfgman::DeleteAgentFile(agents_, "never there"));
}

} // namespace
} // namespace cfgtest
