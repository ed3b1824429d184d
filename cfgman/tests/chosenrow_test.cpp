// The commands that change rows, driven offscreen in the order a user
// gives them: each changes the row of the node the user chose, or nothing.
#include "cfgman/frmagents.h"
#include "cfgman/frmmodify.h"
#include "cfgman/tests/mainfixture.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

namespace cfgtest {
namespace {

class ChosenRowTest : public MainTest {
protected:
    void SetUp() override {
        MainTest::SetUp();
        AddGroup("G1", "Sales");
        Spit(root_ + "agents/Reply.agent", "[MAIN]\r\nAgentType=MESSAGE\r\n");
    }
    QTreeWidgetItem* Named(const QString& text) {
        const auto found = main_->treeMain->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found[0];
    }
    // A right click on the tree, then the entry, as a user can choose it:
    // only when the popup shows it enabled.
    bool Choose(QAction* entry) {
        emit main_->treeMain->customContextMenuRequested(QPoint(4, 4));
        const bool offered =
            main_->PopupMenuTree->isVisible() && entry->isVisible() && entry->isEnabled();
        main_->PopupMenuTree->close();
        if (offered)
            entry->trigger();
        return offered;
    }
    // A row deleted by another program.
    void DeleteElsewhere(const std::string& table, const std::string& key) {
        data::TTable t;
        t.SetDatabaseName(db_);
        t.SetTableName(table);
        t.Open();
        for (t.First(); !t.Eof(); t.Next())
            if (t.FieldByName("UNIQUE_ID").AsString() == key) {
                t.Delete();
                break;
            }
        t.Close();
    }
    std::vector<std::string> Field(const std::string& table, const char* field) {
        std::vector<std::string> values;
        for (const Row& r : Rows(table))
            values.push_back(r.at(field));
        return values;
    }
    // The commands that need a node.
    std::vector<QAction*> NodeCommands() {
        return {main_->mnuDetach,         main_->mnuAttach,         main_->mnuMainDelete,
                main_->mnuRename,         main_->mnuMainProperties, main_->AccountsBar.Modify,
                main_->AccountsBar.Delete};
    }
};

using Keys = std::vector<std::string>;

TEST_F(ChosenRowTest, ASecondDetachFindsNothingChosenAndEveryOtherAttachmentStays) {
    AddAccount("A1", "G1", "Orders");
    AddAccount("A2", "G1", "Support");
    Attach("T1", "A1", "Reply");
    Attach("T2", "A2", "Forwarder");
    Attach("T3", "A2", "Reply");
    Start();
    Named("Orders")->setExpanded(true);
    Select(Named("Orders")->child(0));
    answers_ = {win::IDYES};
    main_->mnuDetach->trigger(); // Ctrl+Del
    EXPECT_EQ(boxes_.back(), "Are you sure you want to detach this agent?");
    EXPECT_EQ(Field("Agents.dbf", "UNIQUE_ID"), (Keys{"T2", "T3"}));

    // The tree is built again with nothing chosen: nothing that needs a
    // node is offered, and Detach once more detaches nothing.
    EXPECT_EQ(main_->treeMain->currentItem(), nullptr);
    for (QAction* a : NodeCommands())
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    const std::size_t asked = boxes_.size();
    answers_ = {win::IDYES};
    main_->mnuDetach->trigger();
    EXPECT_EQ(boxes_.size(), asked);
    answers_.clear();
    EXPECT_EQ(Field("Agents.dbf", "UNIQUE_ID"), (Keys{"T2", "T3"}));

    // An attachment another program deleted meanwhile is said, and the
    // row the selection view stood on stays.
    Select(Named("Support")->child(0));
    ASSERT_EQ(main_->treeMain->currentItem()->text(0), "Forwarder");
    DeleteElsewhere("Agents.dbf", "T2");
    answers_ = {win::IDYES};
    EXPECT_TRUE(Choose(main_->popDetach));
    EXPECT_EQ(boxes_.back(), "The attached agent Forwarder is no longer in the tables.");
    answers_.clear();
    EXPECT_EQ(Field("Agents.dbf", "UNIQUE_ID"), Keys{"T3"});
    EXPECT_EQ(main_->ErrorCount(), 0);
}

TEST_F(ChosenRowTest, AttachGoesToTheAccountChosenOrNowhere) {
    AddAccount("A1", "G1", "One");
    AddAccount("A2", "G1", "Two");
    AddAccount("A3", "G1", "Three");
    Start();
    // After an account is deleted nothing is chosen: Attach is not offered.
    Select(Named("One"));
    answers_ = {win::IDYES};
    main_->mnuMainDelete->trigger();
    ASSERT_EQ(Field("NODES.DBF", "UNIQUE_ID"), (Keys{"A2", "A3"}));
    EXPECT_FALSE(main_->mnuAttach->isEnabled());
    main_->mnuAttach->trigger(); // Ctrl+Ins: no dialog opens
    EXPECT_TRUE(Rows("Agents.dbf").empty());

    // The popup of an account whose row another program deleted refuses,
    // though the account chosen before is still where the views stand.
    Select(Named("Two"));
    DeleteElsewhere("NODES.DBF", "A3");
    Select(Named("Three"));
    EXPECT_FALSE(main_->mnuAttach->isEnabled());
    EXPECT_TRUE(Choose(main_->popAttach));
    EXPECT_EQ(boxes_.back(), "The account Three is no longer in the tables.");
    EXPECT_TRUE(Rows("Agents.dbf").empty());

    // The account chosen gets the agent chosen.
    QCoreApplication::processEvents(); // the tree shown as it is now
    Select(Named("Two"));
    WhenModal<cfgman::TfrmAgents>([](cfgman::TfrmAgents* d) {
        d->lstVAgents->item(0)->setSelected(true);
        d->btnOK->click();
    });
    EXPECT_TRUE(Choose(main_->popAttach));
    EXPECT_EQ(Field("Agents.dbf", "LINK_ID"), Keys{"A2"});
    EXPECT_EQ(Named("Two")->child(0)->text(0), "Reply");
    EXPECT_EQ(main_->ErrorCount(), 0);
}

TEST_F(ChosenRowTest, ModifyOnAGroupAfterCompressOpensTheAccountLastChosen) {
    for (const char* account : {"One", "Two"})
        AppendRow("NODES.DBF", {{"UNIQUE_ID", account == std::string("One") ? "A1" : "A2"},
                                {"LINK_ID", "G1"},
                                {"NODE", account},
                                {"NEXTTIME", "08:00"}});
    Start();
    // Modify on a group before any account was chosen opens none.
    Select(Named("Sales"));
    main_->AccountsBar.Modify->trigger();

    Select(Named("Two"));
    Select(Named("Sales"));
    main_->Compress1->trigger();
    ASSERT_EQ(main_->treeMain->currentItem()->text(0), "Sales");
    WhenModal<cfgman::TfrmModify>([](cfgman::TfrmModify* p) {
        EXPECT_EQ(p->edtName->text(), "Two");
        p->edtUserName->setText(QStringLiteral("two"));
        p->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    main_->AccountsBar.Modify->trigger();
    EXPECT_EQ(Field("NODES.DBF", "LOGIN"), (Keys{"", "two"}));
    EXPECT_EQ(Field("NODES.DBF", "NODE"), (Keys{"One", "Two"}));

    // Once that account is gone, Modify says so and opens no other.
    DeleteElsewhere("NODES.DBF", "A2");
    main_->AccountsBar.Modify->trigger();
    EXPECT_EQ(boxes_.back(), "The account Two is no longer in the tables.");
    EXPECT_EQ(main_->ErrorCount(), 0);
}

TEST_F(ChosenRowTest, OkWritesBackAnIntervalTheUserLeftAlone) {
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"},
                            {"LINK_ID", "G1"},
                            {"NODE", "Behind"},
                            {"NEXTTIME", "08:00"},
                            {"FREQVAL", "-5"}});
    AppendRow("NODES.DBF",
              {{"UNIQUE_ID", "A2"}, {"LINK_ID", "G1"}, {"NODE", "Blank"}, {"NEXTTIME", "08:00"}});
    Start();
    auto ok = [](cfgman::TfrmModify* p) {
        p->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    };
    for (const char* account : {"Behind", "Blank"}) {
        SCOPED_TRACE(account);
        Select(Named(QString::fromLatin1(account)));
        WhenModal<cfgman::TfrmModify>([&](cfgman::TfrmModify* p) {
            EXPECT_EQ(p->edtMins->value(), account == std::string("Behind") ? -5 : 0);
            p->edtUserName->setText(QStringLiteral("changed"));
            ok(p);
        });
        main_->mnuMainProperties->trigger();
    }
    // As an outside reader sees them: the login changed, the intervals not.
    EXPECT_EQ(DbfRead(db_ + "NODES.DBF", "LOGIN"), (Keys{"changed", "changed"}));
    EXPECT_EQ(DbfRead(db_ + "NODES.DBF", "FREQVAL"), (Keys{"-5", "None"}));

    // A changed interval is written.
    Select(Named("Blank"));
    WhenModal<cfgman::TfrmModify>([&](cfgman::TfrmModify* p) {
        p->edtMins->setValue(15);
        ok(p);
    });
    main_->mnuMainProperties->trigger();
    EXPECT_EQ(DbfRead(db_ + "NODES.DBF", "FREQVAL"), (Keys{"-5", "15"}));
    EXPECT_TRUE(boxes_.empty()) << boxes_[0];
}

} // namespace
} // namespace cfgtest
