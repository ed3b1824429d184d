// The configuration manager's core without windows: settings, row
// identifiers, the account tree and the group and account changes.
#include "cfgman/core/accounttree.h"
#include "cfgman/core/cfgtables.h"
#include "cfgman/core/settings.h"
#include "cfgman/core/uniqueid.h"
#include "cfgman/tests/cfgfixture.h"
#include "platform/win/datetime.h"

#include <regex>
#include <set>

namespace cfgtest {
namespace {

TEST(CfgSettings, DefaultsLieUnderTheProgramFolderAndStoredValuesStayAsWritten) {
    QTemporaryDir dir;
    setenv("QUELTA_WINDIR", dir.path().toUtf8().constData(), 1);
    win::TIniFile ini("quelta.ini");
    const cfgman::TFolders d = cfgman::ReadFolders(ini, "/opt/q/");
    EXPECT_EQ(d.Messages, "/opt/q/messages/");
    EXPECT_EQ(d.Agents, "/opt/q/agents/");
    EXPECT_EQ(d.DataBase, "/opt/q/");
    EXPECT_EQ(d.Templates, "/opt/q/templates/");
    EXPECT_EQ(cfgman::ReadRasService(ini), "None");
    const cfgman::TBounds b = cfgman::ReadBounds(ini, "WindowPos");
    EXPECT_EQ(b.Left, 25);
    EXPECT_EQ(b.Top, 25);
    EXPECT_EQ(b.Height, 380);
    EXPECT_EQ(b.Width, 540);

    // A value without its separator is kept so, but paths still get one.
    ini.WriteString("Folders", "Messages", "/srv/mail");
    ini.WriteString("Folders", "Templates", "c:\\quelta\\tpl\\");
    const cfgman::TFolders f = cfgman::ReadFolders(ini, "/opt/q/");
    EXPECT_EQ(f.Messages, "/srv/mail");
    EXPECT_EQ(f.MessagesPath(), "/srv/mail/");
    EXPECT_EQ(f.TemplatesPath().back(), '/');

    win::TIniFile out("written.ini");
    cfgman::WriteFolders(out, f);
    EXPECT_EQ(out.ReadString("Folders", "Messages", ""), "/srv/mail");
    EXPECT_FALSE(out.ValueExists("Folders", "Templates"));
}

TEST(CfgSettings, EventSoundsFollowTheSwitchReadOnEveryCall) {
    QTemporaryDir dir;
    setenv("QUELTA_WINDIR", dir.path().toUtf8().constData(), 1);
    std::vector<std::string> played;
    win::SetSoundPlayer([&](const std::string& p) { played.push_back(p); });
    const std::string wav = dir.path().toStdString() + "/slide.wav";
    Spit(wav, "RIFF");
    cfgman::PlayEventSound(wav);
    cfgman::PlayEventSound(dir.path().toStdString() + "/missing.wav");
    win::TIniFile("quelta.ini").WriteBool("Misc", "SoundsDisabled", true);
    cfgman::PlayEventSound(wav);
    win::SetSoundPlayer({});
    EXPECT_EQ(played, std::vector<std::string>{wav});
}

TEST(UniqueId, LengthsRunFromThirteenToNineteen) {
    EXPECT_EQ(cfgman::FormatUniqueId(0, 0, "0512260312"), "000512260312"
                                                          "0");
    EXPECT_EQ(cfgman::FormatUniqueId(0, 0, "0512260312").size(), 13u);
    EXPECT_EQ(cfgman::FormatUniqueId(999, 512, "0512260312"), "9995120512260312512");
    EXPECT_EQ(cfgman::FormatUniqueId(999, 512, "0512260312").size(), 19u);
    EXPECT_EQ(cfgman::FormatUniqueId(7, 3, "0512260312"), "7305122603123");
}

TEST(UniqueId, ATakenIdentifierIsDrawnAgain) {
    win::SetClock([] {
        win::DateParts p{2026, 12, 9, 3, 4, 5, 0};
        return win::EncodeDateTime(p);
    });
    std::vector<std::string> asked;
    const std::string id = cfgman::MakeUniqueId([&](const std::string& candidate) {
        asked.push_back(candidate);
        return asked.size() < 3;
    });
    win::SetClock({});
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(id, asked.back());
    // Millisecond 0: "0", "0", the time and "0".
    EXPECT_EQ(id, "00"
                  "0503261209"
                  "0");
    std::regex shape("[0-9]{13,19}");
    EXPECT_TRUE(std::regex_match(cfgman::MakeUniqueId(), shape));
}

class CoreTest : public CfgTest {
protected:
    void Open() {
        tables_ = std::make_unique<cfgman::TCfgTables>();
        tables_->SetSystemProperties();
        tables_->PointAt(db_);
        tables_->Open();
    }
    std::unique_ptr<cfgman::TCfgTables> tables_;
};

std::vector<std::string> Texts(const cfgman::TTreeItem& item) {
    std::vector<std::string> texts;
    for (const auto& c : item.Children)
        texts.push_back(c.Text);
    return texts;
}

TEST_F(CoreTest, TheTreeShowsTheFirstOrganisationsGroupsAccountsAndAgents) {
    AddGroup("G2", "Support");
    AddGroup("G1", "Sales");
    AddGroup("GX", "Elsewhere", "ANOTHER-ORG");
    AddAccount("A1", "G1", "Orders");
    AddAccount("A2", "G1", "Enquiries");
    AddAccount("A3", "GX", "Hidden");
    Attach("T1", "A1", "Forwarder");
    Attach("T2", "A1", "Reply");
    Open();
    const cfgman::TTreeItem root = cfgman::BuildAccountTree(*tables_);
    EXPECT_EQ(root.Text, "E-Mail Accounts");
    EXPECT_EQ(root.Image, cfgman::nkRoot);
    // LINK_ID order within the organisation, which is the order of addition here.
    ASSERT_EQ(Texts(root), (std::vector<std::string>{"Support", "Sales"}));
    EXPECT_TRUE(root.Children[0].Children.empty());
    const cfgman::TTreeItem& sales = root.Children[1];
    EXPECT_EQ(sales.Image, cfgman::nkGroup);
    ASSERT_EQ(Texts(sales), (std::vector<std::string>{"Orders", "Enquiries"}));
    EXPECT_EQ(Texts(sales.Children[0]), (std::vector<std::string>{"Forwarder", "Reply"}));
    EXPECT_EQ(sales.Children[0].Children[0].Image, cfgman::nkAgent);
    EXPECT_TRUE(sales.Children[1].Children.empty());
    // Record numbers bring the selection views to the row.
    tables_->XbNodes2.Go(sales.Children[1].RecNo);
    EXPECT_EQ(tables_->TableNodes2.FieldByName("UNIQUE_ID").AsString(), "A2");

    const auto groups = cfgman::WizardGroups(*tables_);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[1].Group, "Sales");
    EXPECT_EQ(groups[1].UniqueId, "G1");
}

TEST_F(CoreTest, AnOrganisationWithoutGroupsShowsOnlyTheRoot) {
    Open();
    EXPECT_TRUE(cfgman::BuildAccountTree(*tables_).Children.empty());
}

TEST_F(CoreTest, NewGroupsHangOnTheOrganisationWithKeysNoOtherRowHas) {
    win::SetClock([] {
        win::DateParts p{2026, 12, 9, 10, 11, 12, 0};
        return win::EncodeDateTime(p);
    });
    Open();
    const std::string x = cfgman::CreateGroup(*tables_, "X");
    EXPECT_EQ(x, "20261209101112X");
    // The same moment and the same two letters: the second waits for a free key.
    int calls = 0;
    win::SetClock([&] {
        win::DateParts p{2026, 12, 9, 10, 11, ++calls > 2 ? 13 : 12, 0};
        return win::EncodeDateTime(p);
    });
    const std::string x2 = cfgman::CreateGroup(*tables_, "X");
    win::SetClock({});
    EXPECT_EQ(x2, "20261209101113X");
    const auto rows = Rows("GROUPS.DBF");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].at("LINK_ID"), OrgId());
    EXPECT_EQ(rows[0].at("GROUP"), "X");
    EXPECT_EQ(rows[0].at("NOTES"), "X");
    EXPECT_FALSE(rows[0].at("CREATEON").empty());
}

TEST_F(CoreTest, RenamesChangeOneFieldAndSayWhat) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Open();
    const cfgman::TTreeItem root = cfgman::BuildAccountTree(*tables_);
    EXPECT_EQ(cfgman::RenameGroup(*tables_, root.Children[0].RecNo, "Sales", ""),
              "Group renamed from Sales to ");
    EXPECT_EQ(cfgman::RenameAccount(*tables_, root.Children[0].Children[0].RecNo, "Orders", "Shop"),
              "Node renamed from Orders to Shop");
    EXPECT_EQ(Rows("GROUPS.DBF")[0].at("GROUP"), "");
    EXPECT_EQ(Rows("GROUPS.DBF")[0].at("UNIQUE_ID"), "G1");
    EXPECT_EQ(Rows("NODES.DBF")[0].at("NODE"), "Shop");
    EXPECT_EQ(Rows("NODES.DBF")[0].at("LINK_ID"), "G1");
}

TEST_F(CoreTest, DeletingAGroupTakesItsAccountsAndLeavesTheirDetails) {
    AddGroup("G1", "Sales");
    AddGroup("G2", "Support");
    for (const char* a : {"A1", "A2", "A3"})
        AddAccount(a, "G1", a);
    AddAccount("B1", "G2", "Kept");
    Attach("T1", "A1", "Forwarder");
    Open();
    const cfgman::TTreeItem root = cfgman::BuildAccountTree(*tables_);
    const std::int32_t sales = root.Children[0].RecNo;
    EXPECT_EQ(cfgman::CheckGroupDelete(*tables_, root.Children[1].RecNo),
              cfgman::TGroupDelete::HasAccounts);
    EXPECT_EQ(cfgman::CheckGroupDelete(*tables_, sales), cfgman::TGroupDelete::HasAccounts);
    cfgman::DeleteGroup(*tables_, sales);
    const auto nodes = Rows("NODES.DBF");
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].at("UNIQUE_ID"), "B1");
    ASSERT_EQ(Rows("GROUPS.DBF").size(), 1u);
    EXPECT_EQ(Rows("Agents.dbf").size(), 1u);
    // Now the last group: refused.
    const cfgman::TTreeItem after = cfgman::BuildAccountTree(*tables_);
    EXPECT_EQ(cfgman::CheckGroupDelete(*tables_, after.Children[0].RecNo),
              cfgman::TGroupDelete::LastGroup);
}

TEST_F(CoreTest, AGroupWithoutAccountsIsEmpty) {
    AddGroup("G1", "Sales");
    AddGroup("G2", "Support");
    Open();
    const cfgman::TTreeItem root = cfgman::BuildAccountTree(*tables_);
    EXPECT_EQ(cfgman::CheckGroupDelete(*tables_, root.Children[1].RecNo),
              cfgman::TGroupDelete::Empty);
    cfgman::DeleteGroup(*tables_, root.Children[1].RecNo);
    ASSERT_EQ(Rows("GROUPS.DBF").size(), 1u);
    EXPECT_EQ(Rows("GROUPS.DBF")[0].at("GROUP"), "Sales");
}

TEST_F(CoreTest, ARowAnotherProgramHoldsRefusesTheWholeDeletion) {
    AddGroup("G1", "Sales");
    AddGroup("G2", "Support");
    for (const char* a : {"A1", "A2", "A3"})
        AddAccount(a, "G1", a);
    Open();
    const cfgman::TTreeItem root = cfgman::BuildAccountTree(*tables_);
    {
        // The third account's row, record 3.
        TableHolder holder(db_, "NODES.DBF", "3");
        ASSERT_TRUE(holder.Ready());
        EXPECT_THROW(cfgman::DeleteGroup(*tables_, root.Children[0].RecNo), data::EDatabaseError);
        EXPECT_EQ(Rows("NODES.DBF").size(), 3u);
        EXPECT_EQ(Rows("GROUPS.DBF").size(), 2u);
        EXPECT_THROW(cfgman::DeleteAccount(*tables_, root.Children[0].Children[2].RecNo),
                     data::EDatabaseError);
        EXPECT_EQ(Rows("NODES.DBF").size(), 3u);
    }
    cfgman::DeleteAccount(*tables_, root.Children[0].Children[2].RecNo);
    EXPECT_EQ(Rows("NODES.DBF").size(), 2u);
}

TEST_F(CoreTest, AMissingTableIsNamedWithItsFolderAndTheCommandThatMakesIt) {
    std::filesystem::remove(db_ + "rules.dbf");
    std::filesystem::remove(db_ + "rules.cdx");
    tables_ = std::make_unique<cfgman::TCfgTables>();
    tables_->PointAt(db_);
    try {
        tables_->Open();
        FAIL() << "opened without rules.dbf";
    } catch (const cfgman::ETableOpenError& e) {
        EXPECT_EQ(e.TableFile(), "rules.dbf");
        const std::string text = e.what();
        EXPECT_NE(text.find("rules.dbf"), std::string::npos) << text;
        EXPECT_NE(text.find(db_), std::string::npos) << text;
        EXPECT_NE(text.find("mkschema " + db_), std::string::npos) << text;
    }
}

TEST_F(CoreTest, ATableHeldExclusivelyElsewhereIsNamedWithoutTheMakeAdvice) {
    TableHolder holder(db_, "RECEIVED.DBF", "exclusive");
    ASSERT_TRUE(holder.Ready());
    tables_ = std::make_unique<cfgman::TCfgTables>();
    tables_->PointAt(db_);
    try {
        tables_->Open();
        FAIL() << "opened a table held exclusively";
    } catch (const cfgman::ETableOpenError& e) {
        const std::string text = e.what();
        EXPECT_EQ(e.TableFile(), "RECEIVED.DBF");
        EXPECT_NE(text.find("another program"), std::string::npos) << text;
        EXPECT_EQ(text.find("mkschema"), std::string::npos) << text;
    }
}

} // namespace
} // namespace cfgtest
