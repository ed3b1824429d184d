// The main window, the status window and the group dialog offscreen, over
// tables made by mkschema.
#include "cfgman/core/settings.h"
#include "cfgman/dbgrid.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmnewgroup.h"
#include "cfgman/frmstatus.h"
#include "cfgman/tests/cfgfixture.h"
#include "widgets/officebutton.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

namespace cfgtest {
namespace {

class WindowTest : public CfgTest {
protected:
    void TearDown() override {
        Exit();
        CfgTest::TearDown();
    }
    // The program's start: main window, status window, shown.
    void Start(bool withStatus = true) {
        for (const char* wav : {"about.wav", "expandtree.wav", "slide.wav", "newitem.wav"})
            Spit(root_ + "prog/" + wav, "RIFF");
        main_ = std::make_unique<cfgman::TfrmMain>(root_ + "prog/");
        main_->FormCreate();
        if (withStatus) {
            status_ = std::make_unique<cfgman::TfrmStatus>(main_.get());
            main_->SetStatusWindow(status_.get());
        }
        main_->show();
        QCoreApplication::processEvents();
    }
    void Exit() {
        if (!main_)
            return;
        main_->close();
        main_->SetStatusWindow(nullptr);
        status_.reset();
        main_.reset();
    }
    QTreeWidgetItem* Root() { return main_->treeMain->topLevelItem(0); }
    QTreeWidgetItem* Node(std::initializer_list<int> path) {
        QTreeWidgetItem* n = Root();
        for (int i : path)
            n = n->child(i);
        return n;
    }
    void Select(QTreeWidgetItem* node) {
        main_->treeMain->setCurrentItem(node);
        QCoreApplication::processEvents();
    }
    // The tree's popup as a right click opens it.
    std::vector<std::string> PopupShown() {
        emit main_->treeMain->customContextMenuRequested(QPoint(4, 4));
        EXPECT_TRUE(main_->PopupMenuTree->isVisible());
        std::vector<std::string> shown;
        for (QAction* a : main_->PopupMenuTree->actions())
            if (a->isVisible())
                shown.push_back(a->isSeparator() ? "-" : a->text().toStdString());
        main_->PopupMenuTree->close();
        return shown;
    }

    std::unique_ptr<cfgman::TfrmMain> main_;
    std::unique_ptr<cfgman::TfrmStatus> status_;
};

TEST_F(WindowTest, WithoutSettingsTheProgramFolderHoldsEverythingAndExitWritesWhatItRead) {
    Start();
    const std::string prog = root_ + "prog/";
    // The tables come from the program folder, which has none.
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find("ORGS.DBF"), std::string::npos) << boxes_[0];
    EXPECT_NE(boxes_[0].find("mkschema " + prog), std::string::npos) << boxes_[0];
    EXPECT_TRUE(main_->StartupFailed());
    EXPECT_TRUE(std::filesystem::is_directory(prog + "messages"));
    EXPECT_TRUE(std::filesystem::is_directory(prog + "agents"));
    EXPECT_TRUE(std::filesystem::is_directory(prog + "templates"));
    EXPECT_EQ(main_->x(), 25);
    EXPECT_EQ(main_->y(), 25);
    EXPECT_EQ(main_->height(), 380);
    EXPECT_EQ(main_->width(), 540);
    // The failure went to a box only: the status window did not exist yet.
    EXPECT_TRUE(status_->Lines().isEmpty());
    Exit();
    win::TIniFile ini = Ini();
    EXPECT_EQ(ini.ReadString("Folders", "Messages", ""), prog + "messages/");
    EXPECT_EQ(ini.ReadString("Folders", "Agents", ""), prog + "agents/");
    EXPECT_EQ(ini.ReadString("Folders", "DataBase", ""), prog);
    EXPECT_FALSE(ini.ValueExists("Folders", "Templates"));
    EXPECT_EQ(ini.ReadInteger("WindowPos", "Left", 0), 25);
    EXPECT_EQ(ini.ReadInteger("WindowPos", "Width", 0), 540);
}

TEST_F(WindowTest, AFailedStartKeepsTheTrayProgramsFolders) {
    PointIniAtTest();
    win::TIniFile ini = Ini();
    ini.WriteString("Folders", "Messages", "/srv/quelta/mail\\");
    std::filesystem::remove(db_ + "PENDING.DBF");
    Start();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find("PENDING.DBF"), std::string::npos) << boxes_[0];
    EXPECT_NE(boxes_[0].find(db_), std::string::npos) << boxes_[0];
    Exit();
    EXPECT_EQ(Ini().ReadString("Folders", "Messages", ""), "/srv/quelta/mail\\");
    EXPECT_EQ(Ini().ReadString("Folders", "DataBase", ""), db_);
}

TEST_F(WindowTest, ErrorsAndLogLinesReachTheStatusWindowNewestFirst) {
    PointIniAtTest();
    Start();
    ASSERT_TRUE(boxes_.empty()) << boxes_[0];
    main_->SendtoLog("first", 0);
    main_->SendtoLog("second", 2);
    EXPECT_EQ(main_->StatusPanel0->text(), "second");
    QStringList lines = status_->Lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(" -- second"));
    EXPECT_TRUE(lines[1].endsWith(" -- first"));
    EXPECT_TRUE(status_->lblLastPMessage->text().endsWith(" second"));
    EXPECT_FALSE(status_->isVisible());

    main_->Command([] { throw std::runtime_error("the disk is full"); });
    EXPECT_EQ(main_->ErrorCount(), 1);
    EXPECT_EQ(beeps_, 1);
    EXPECT_TRUE(status_->isVisible());
    EXPECT_EQ(status_->height(), cfgman::TfrmStatus::kExpanded);
    EXPECT_EQ(status_->lblNumErrors->text(), "1");
    EXPECT_EQ(status_->lblLastError->text(), "the disk is full");
    lines = status_->Lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(" -- Error-the disk is full")) << lines[0].toStdString();
    EXPECT_FALSE(lines[0].startsWith(" -- "));

    // Texts from mail are shown as they are, whatever they look like.
    main_->SendtoLog("Downloading Header 1 of 1 -- <b>Offer</b>", 0);
    EXPECT_EQ(Shown(main_->StatusPanel0), "Downloading Header 1 of 1 -- <b>Offer</b>");
    EXPECT_TRUE(Shown(status_->lblLastPMessage).endsWith(" <b>Offer</b>"));
    main_->AppException("Unable to load <h1>x</h1>.eml");
    EXPECT_EQ(Shown(status_->lblLastError), "Unable to load <h1>x</h1>.eml");
}

TEST_F(WindowTest, TheStatusWindowRemembersItsHeightThroughCloseButNotThroughTheCloseBox) {
    PointIniAtTest();
    Start();
    // An error opens it expanded; "Close" keeps that.
    main_->AppException("boom");
    EXPECT_EQ(status_->btnDetails->Caption(), "Hide Details <<");
    status_->OfficeButton1->OnClick(status_->OfficeButton1);
    EXPECT_FALSE(status_->isVisible());
    main_->L1->trigger();
    EXPECT_EQ(status_->height(), cfgman::TfrmStatus::kExpanded);
    // Esc hides as "Close" does.
    status_->reject();
    EXPECT_FALSE(status_->isVisible());
    main_->L1->trigger();
    EXPECT_EQ(status_->Tag(), 2);
    // "Hide Details <<", then the close box: collapsed from then on.
    status_->btnDetails->OnClick(status_->btnDetails);
    EXPECT_EQ(status_->height(), cfgman::TfrmStatus::kCollapsed);
    EXPECT_EQ(status_->btnDetails->Caption(), "Details >>");
    status_->btnDetails->OnClick(status_->btnDetails);
    status_->close();
    EXPECT_EQ(status_->Tag(), 0);
    main_->L1->trigger();
    EXPECT_TRUE(status_->isVisible());
    EXPECT_EQ(status_->height(), cfgman::TfrmStatus::kCollapsed);
}

TEST_F(WindowTest, TheTreeAndItsPopupFollowTheNodeKinds) {
    PointIniAtTest();
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Attach("T1", "A1", "Forwarder");
    AddGroup("G2", "Support");
    Start();
    EXPECT_EQ(main_->windowTitle(), "Quelta Configuration Manager");
    EXPECT_EQ(main_->windowIconText(), "quelta");
    EXPECT_EQ(main_->pageControlMain->currentWidget(), main_->TSaccounts);
    EXPECT_EQ(main_->pageControlMain->tabText(1), "Agents");
    ASSERT_NE(Root(), nullptr);
    EXPECT_EQ(Root()->text(0), "E-Mail Accounts");
    ASSERT_EQ(Root()->childCount(), 2);
    EXPECT_EQ(Node({0})->text(0), "Sales");
    EXPECT_EQ(Node({0, 0})->text(0), "Orders");
    EXPECT_EQ(Node({0, 0, 0})->text(0), "Forwarder");
    EXPECT_FALSE(Node({0, 0})->isExpanded());
    EXPECT_TRUE(Node({1})->isExpanded()); // the last group

    main_->treeMain->setCurrentItem(nullptr);
    EXPECT_EQ(PopupShown(), std::vector<std::string>{"Rena&me"});
    Select(Root());
    EXPECT_EQ(PopupShown(), (std::vector<std::string>{"&New", "&Delete...", "Rena&me"}));
    Select(Node({0, 0}));
    EXPECT_EQ(PopupShown(), (std::vector<std::string>{"&New", "&Delete...", "Rena&me", "-",
                                                      "&Attach Agent...", "-", "&Properties..."}));
    EXPECT_TRUE(main_->mnuMainDelete->isEnabled());
    EXPECT_TRUE(main_->mnuRename->isEnabled());
    EXPECT_TRUE(main_->AccountsBar.Modify->isEnabled());
    EXPECT_EQ(main_->Tables.TableNodes2.FieldByName("UNIQUE_ID").AsString(), "A1");
    Select(Node({0, 0, 0}));
    EXPECT_EQ(PopupShown(), (std::vector<std::string>{"Rena&me", "&Detach Agent..."}));
    EXPECT_FALSE(main_->mnuMainDelete->isEnabled());
    Select(Node({1}));
    EXPECT_EQ(main_->Tables.TableGroups2.FieldByName("UNIQUE_ID").AsString(), "G2");
}

TEST_F(WindowTest, AnAgentsHistorySlidesOpenAndShut) {
    PointIniAtTest();
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Attach("T1", "A1", "Forwarder");
    Attach("T2", "A1", "Reply");
    AppendRow(
        "ACTIONS.DBF",
        {{"UNIQUE_ID", "X1"}, {"AGENT_ID", "T2"}, {"ACTION", "Replied"}, {"CREATEAT", "10:20"}});
    AppendRow("ACTIONS.DBF", {{"UNIQUE_ID", "X2"}, {"AGENT_ID", "T1"}, {"ACTION", "Forwarded"}});
    Start();
    Node({0, 0})->setExpanded(true);
    sounds_.clear();
    Select(Node({0, 0, 1}));
    EXPECT_EQ(main_->panelHistoryHolder->height(), 175);
    EXPECT_TRUE(main_->panelHistoryHolder->isVisible());
    ASSERT_EQ(main_->historyModel->rowCount(), 1);
    EXPECT_EQ(main_->historyModel->index(0, 0).data().toString(), "Replied");
    EXPECT_EQ(main_->historyModel->index(0, 2).data().toString(), "10:20");
    EXPECT_EQ(main_->historyModel->headerData(0, Qt::Horizontal).toString(), "Action Description");
    ASSERT_EQ(sounds_.size(), 1u);
    EXPECT_EQ(sounds_[0], root_ + "prog/slide.wav");
    // A second agent: already open, no sound.
    Select(Node({0, 0, 0}));
    EXPECT_EQ(main_->historyModel->index(0, 0).data().toString(), "Forwarded");
    EXPECT_EQ(sounds_.size(), 1u);
    Select(Node({0}));
    EXPECT_EQ(main_->panelHistoryHolder->height(), 0);
    EXPECT_FALSE(main_->panelHistoryHolder->isVisible());
}

TEST_F(WindowTest, GroupsAreMadeRenamedAndDeletedWithTheirQuestions) {
    PointIniAtTest();
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    AddAccount("A2", "G1", "Enquiries");
    Start();

    // Cancel makes nothing; OK makes the group.
    WhenModal([](QWidget* w) {
        auto* d = qobject_cast<cfgman::TfrmNewGroup*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), "Create New Folder");
        d->btnCancel->click();
    });
    main_->Position1->trigger();
    EXPECT_EQ(Rows("GROUPS.DBF").size(), 1u);
    WhenModal([](QWidget* w) {
        auto* d = qobject_cast<cfgman::TfrmNewGroup*>(w);
        ASSERT_NE(d, nullptr);
        d->edtGroupName->setText("Support");
        d->btnOK->click();
    });
    main_->Position1->trigger();
    ASSERT_EQ(Rows("GROUPS.DBF").size(), 2u);
    EXPECT_EQ(Rows("GROUPS.DBF")[1].at("GROUP"), "Support");
    EXPECT_EQ(Rows("GROUPS.DBF")[1].at("UNIQUE_ID").substr(14), "Su");
    ASSERT_EQ(Root()->childCount(), 2);
    EXPECT_EQ(Node({1})->text(0), "Support");

    // Rename through the tree's edit.
    EXPECT_FALSE(main_->treeMainEditing(Root()));
    ASSERT_TRUE(main_->treeMainEditing(Node({1})));
    main_->treeMainEdited(Node({1}), "Help Desk");
    EXPECT_EQ(Rows("GROUPS.DBF")[1].at("GROUP"), "Help Desk");
    EXPECT_TRUE(status_->Lines()[0].endsWith(" -- Group renamed from Support to Help Desk"));
    EXPECT_EQ(main_->StatusPanel0->text(), "Group renamed from Support to Help Desk");

    // A group with accounts: the warning, No keeps everything.
    Select(Node({0}));
    answers_ = {win::IDNO};
    main_->mnuMainDelete->trigger();
    ASSERT_FALSE(boxes_.empty());
    EXPECT_EQ(boxes_.back(), "WARNING THIS GROUP HAS ACCOUNTS: Are you sure you want to delete "
                             "this group and all accounts inside it?");
    EXPECT_EQ(captions_.back(), "Delete Confirmation");
    EXPECT_EQ(Rows("NODES.DBF").size(), 2u);
    answers_ = {win::IDYES};
    main_->mnuMainDelete->trigger();
    EXPECT_TRUE(Rows("NODES.DBF").empty());
    ASSERT_EQ(Rows("GROUPS.DBF").size(), 1u);
    ASSERT_EQ(Root()->childCount(), 1);

    // The last group stays.
    Select(Node({0}));
    main_->mnuMainDelete->trigger();
    EXPECT_EQ(boxes_.back(),
              "Unable to delete this folder, you must have at least one root folder.");
    EXPECT_EQ(Rows("GROUPS.DBF").size(), 1u);
    main_->treeMain->setCurrentItem(nullptr);
    main_->Delete1Click();
    EXPECT_EQ(boxes_.back(), "Nothing Selected to delete");
}

TEST_F(WindowTest, AnAccountIsDeletedAloneAndRenamedInPlace) {
    PointIniAtTest();
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Attach("T1", "A1", "Forwarder");
    Start();
    ASSERT_TRUE(main_->treeMainEditing(Node({0, 0})));
    main_->treeMainEdited(Node({0, 0}), "Shop");
    EXPECT_EQ(Rows("NODES.DBF")[0].at("NODE"), "Shop");
    EXPECT_TRUE(status_->Lines()[0].endsWith(" -- Node renamed from Orders to Shop"));
    Select(Node({0, 0}));
    answers_ = {win::IDYES};
    main_->mnuMainDelete->trigger();
    EXPECT_EQ(boxes_.back(), "Are you sure you want to delete this account?");
    EXPECT_EQ(captions_.back(), " Delete Confirmation");
    EXPECT_TRUE(Rows("NODES.DBF").empty());
    EXPECT_EQ(Rows("Agents.dbf").size(), 1u); // its agents stay
    EXPECT_EQ(Node({0})->childCount(), 0);
}

TEST_F(WindowTest, ListsShowTheAgentAndTemplateFilesAndSoundsFollowTheSwitch) {
    PointIniAtTest();
    Spit(root_ + "agents/b.agent", "");
    Spit(root_ + "agents/A.AGENT", "");
    Spit(root_ + "agents/notes.txt", "");
    Spit(root_ + "templates/reply.eml", "");
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Attach("T1", "A1", "Forwarder");
    Start();
    ASSERT_EQ(main_->lstVAgents->topLevelItemCount(), 2);
    EXPECT_EQ(main_->lstVAgents->topLevelItem(0)->text(0), "A");
    EXPECT_EQ(main_->lstVAgents->topLevelItem(1)->text(0), "b");
    ASSERT_EQ(main_->lstVTemplates->topLevelItemCount(), 1);
    EXPECT_EQ(main_->lstVTemplates->topLevelItem(0)->text(0), "reply");
    EXPECT_EQ(main_->lstVAgents->headerItem()->text(0), "Agent Name");

    sounds_.clear();
    Node({0, 0})->setExpanded(true);
    Node({0, 0})->setExpanded(false);
    EXPECT_EQ(sounds_, (std::vector<std::string>(2, root_ + "prog/expandtree.wav")));
    Ini().WriteBool("Misc", "SoundsDisabled", true);
    Node({0, 0})->setExpanded(true);
    EXPECT_EQ(sounds_.size(), 2u);
}

} // namespace
} // namespace cfgtest

namespace cfgtest {
namespace {

TEST_F(WindowTest, MinimisingKeepsTheTaskbarTextAndAboutPlaysItsSound) {
    PointIniAtTest();
    Start();
    main_->showMinimized();
    QCoreApplication::processEvents();
    EXPECT_TRUE(main_->windowState() & Qt::WindowMinimized);
    EXPECT_EQ(main_->windowIconText(), "quelta");
    EXPECT_EQ(main_->windowTitle(), "Quelta Configuration Manager");
    main_->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(main_->windowIconText(), "quelta");

    sounds_.clear();
    WhenModal([](QWidget* about) {
        EXPECT_EQ(about->size(), QSize(400, 242));
        about->close(); // a click does the same
    });
    main_->About1->trigger();
    EXPECT_EQ(sounds_, std::vector<std::string>{root_ + "prog/about.wav"});
}

} // namespace
} // namespace cfgtest

#include "cfgman/core/mailini.h"
#include "cfgman/frmcustomsend.h"
#include "cfgman/frmpref.h"
#include "cfgman/tests/outside_readers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>

namespace cfgtest {
namespace {

cfgman::TfrmPref* Pref(QWidget* w) {
    auto* p = qobject_cast<cfgman::TfrmPref*>(w);
    EXPECT_NE(p, nullptr);
    return p;
}

TEST_F(WindowTest, PreferencesCancelChangesNothingAndOkWritesEveryKey) {
    PointIniAtTest();
    Ini().WriteString("Connect", "Method", "ras");
    Ini().WriteString("RAS", "Service", "Office");
    Start();
    // No dial-up on this machine: the entry was refused with a box.
    boxes_.clear();
    const std::string before = Slurp(root_ + "win/quelta.ini");
    WhenModal([](QWidget* w) {
        cfgman::TfrmPref* p = Pref(w);
        // "ras" in any case is dial-up, and only then the list is on.
        EXPECT_TRUE(p->optDUN->isChecked());
        EXPECT_TRUE(p->RASComboBox->isEnabled());
        EXPECT_EQ(p->RASComboBox->itemText(0), "None");
        EXPECT_EQ(p->RASComboBox->currentText(), "None");
        p->optLAN->click();
        EXPECT_FALSE(p->RASComboBox->isEnabled());
        p->edtTemplates->setText("/elsewhere/");
        p->chkDisableSounds->setChecked(true);
        p->btnCancel->click();
    });
    main_->Preferences1->trigger();
    EXPECT_EQ(Slurp(root_ + "win/quelta.ini"), before);
    EXPECT_EQ(cfgman::Folders().Templates, root_ + "templates/");

    // Only the templates folder changes: no question, all four folders written.
    WhenModal([](QWidget* w) {
        cfgman::TfrmPref* p = Pref(w);
        p->optLAN->click();
        p->edtTemplates->setText("/elsewhere/");
        p->chkDisableSounds->setChecked(true);
        p->btnOK->click();
    });
    main_->Preferences1->trigger();
    EXPECT_TRUE(boxes_.empty());
    win::TIniFile ini = Ini();
    EXPECT_EQ(ini.ReadString("Connect", "Method", ""), "LAN");
    EXPECT_EQ(ini.ReadString("RAS", "Service", ""), "Office"); // untouched without dial-up
    EXPECT_EQ(ini.ReadString("Folders", "Templates", ""), "/elsewhere/");
    EXPECT_EQ(ini.ReadString("Folders", "Database", ""), db_);
    EXPECT_EQ(ini.ReadString("Folders", "Messages", ""), root_ + "messages/");
    EXPECT_TRUE(ini.ReadBool("Misc", "SoundsDisabled", false));
    EXPECT_EQ(cfgman::Folders().Templates, "/elsewhere/");
}

TEST_F(WindowTest, ANewMessagesPathNeedsAYesAndNoneMeansNoDialUp) {
    PointIniAtTest();
    Start();
    auto change = [this](const char* path) {
        WhenModal([path](QWidget* w) {
            cfgman::TfrmPref* p = Pref(w);
            p->optDUN->click();
            EXPECT_TRUE(p->RASComboBox->isEnabled());
            p->RASComboBox->setCurrentIndex(0);
            p->edtMessagesPath->setText(path);
            p->btnOK->click();
        });
        main_->Preferences1->trigger();
    };
    answers_ = {win::IDNO};
    change("/new/mail/");
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0], "You have selected a new messages path.  Are you sure you want to store "
                         "messages in /new/mail/?");
    EXPECT_EQ(boxes_[1], "Your messages path has been restored to the previous setting.");
    EXPECT_EQ(Ini().ReadString("Folders", "Messages", ""), root_ + "messages/");
    EXPECT_EQ(Ini().ReadString("Connect", "Method", ""), "RAS");
    EXPECT_EQ(Ini().ReadString("RAS", "Service", ""), "None");
    EXPECT_TRUE(main_->agRas1.Service().empty());

    answers_ = {win::IDYES};
    change("/new/mail/");
    EXPECT_EQ(Ini().ReadString("Folders", "Messages", ""), "/new/mail/");
    EXPECT_EQ(cfgman::Folders().MessagesPath(), "/new/mail/");
}

TEST_F(WindowTest, PreferencesKeepCustomSendsServerAndSenderInMailIni) {
    PointIniAtTest();
    const std::string file = root_ + "win/MAIL.INI";
    Spit(file,
         "[Internet]\r\nSMTPAddress= old.example.com \r\nDefaultFromAddress=desk@example.com\r\n"
         "CloseMail=no\r\n");
    Start();
    const std::string before = Slurp(file);
    QString edits;
    auto prefs = [&](const char* server, const char* from, bool ok) {
        WhenModal([&edits, server, from, ok](QWidget* w) {
            cfgman::TfrmPref* p = Pref(w);
            edits = p->edtSMTPAddress->text() + "|" + p->edtDefaultFrom->text();
            p->edtSMTPAddress->setText(server);
            p->edtDefaultFrom->setText(from);
            (ok ? p->btnOK : p->btnCancel)->click();
        });
        main_->Preferences1->trigger();
    };
    prefs("mail.example.com", "sales@example.com", false);
    EXPECT_EQ(edits, "old.example.com|desk@example.com");
    EXPECT_EQ(Slurp(file), before);

    prefs("  mail.example.com ", "Sales <sales@example.com>", true);
    EXPECT_EQ(Crudini(file, "Internet", "SMTPAddress"), "mail.example.com");
    EXPECT_EQ(Crudini(file, "Internet", "DefaultFromAddress"), "Sales <sales@example.com>");
    EXPECT_EQ(Crudini(file, "Internet", "CloseMail"), "no");
    // Custom Send's From follows the default, unless the user typed another.
    EXPECT_EQ(main_->frmCustomSend->edtFrom->text(), "Sales <sales@example.com>");
    main_->frmCustomSend->edtFrom->setText("me@example.com");
    prefs("mail.example.com", "", true);
    EXPECT_EQ(edits, "mail.example.com|Sales <sales@example.com>");
    EXPECT_EQ(cfgman::ReadMailIni().DefaultFromAddress, "");
    EXPECT_EQ(main_->frmCustomSend->edtFrom->text(), "me@example.com");
}

} // namespace
} // namespace cfgtest

#include "cfgman/core/outside.h"
#include "cfgman/filedialog.h"
#include "cfgman/frmfind.h"
#include "cfgman/frmmmwiz.h"

#include <QElapsedTimer>
#include <QThread>
#include <sys/stat.h>

namespace cfgtest {
namespace {

class OutsideTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        cfgman::SetLauncher([this](const std::vector<std::string>& argv) {
            started_.push_back(argv);
            return true;
        });
        cfgman::SetOpenDialogHook([this](const cfgman::TOpenDialog& d) {
            dialogs_.push_back(d);
            return chosen_;
        });
        PointIniAtTest();
        Start();
    }
    void TearDown() override {
        cfgman::SetLauncher({});
        cfgman::SetOpenDialogHook({});
        WindowTest::TearDown();
    }
    std::vector<std::vector<std::string>> started_;
    std::vector<cfgman::TOpenDialog> dialogs_;
    QString chosen_;
};

TEST_F(OutsideTest, LogsHelpAndWebPagesOpenInTheDesktopsViewer) {
    const std::string prog = root_ + "prog/";
    main_->A2->trigger();
    main_->M1->trigger();
    main_->Contents1->trigger();
    main_->R1->trigger();
    main_->O1->trigger();
    using V = std::vector<std::string>;
    ASSERT_EQ(started_.size(), 5u);
    EXPECT_EQ(started_[0], (V{"xdg-open", prog + "agentproc.log"}));
    EXPECT_EQ(started_[1], (V{"xdg-open", prog + "mailproc.log"}));
    EXPECT_EQ(started_[2], (V{"xdg-open", "file://" + prog + "QUELTAM.html#Welcome"}));
    EXPECT_EQ(started_[3][1].substr(started_[3][1].size() - 13), "/suggestions/");
    EXPECT_EQ(started_[4][1].substr(started_[4][1].size() - 6), "/order");
}

TEST_F(OutsideTest, AMissingScriptEditorIsSaidInTheStatusWindow) {
    main_->e2->trigger();
    EXPECT_TRUE(started_.empty());
    ASSERT_FALSE(status_->Lines().isEmpty());
    EXPECT_TRUE(status_->Lines()[0].endsWith(QString::fromStdString(
        " -- The script editor qide is not installed in " + root_ + "prog/")));
    // Cancelling the script dialog starts nothing either.
    main_->E4->trigger();
    ASSERT_EQ(dialogs_.size(), 1u);
    EXPECT_EQ(dialogs_[0].Title, "Open QueltaBasic Script File");
    EXPECT_EQ(dialogs_[0].DefaultExt, "BAS");
    EXPECT_EQ(dialogs_[0].Filters.size(), 3);
    EXPECT_TRUE(dialogs_[0].Filters[0].startsWith("Quelta Basic Files (*.bas"));
    EXPECT_TRUE(started_.empty());
}

TEST_F(OutsideTest, AScriptPathWithBlanksReachesTheEditorAsOneArgument) {
    // A recording qide, started for real.
    cfgman::SetLauncher({});
    const std::string qide = root_ + "prog/qide";
    const std::string record = root_ + "qide-args.txt";
    Spit(qide, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + record + "'\n");
    ::chmod(qide.c_str(), 0755);
    chosen_ = QString::fromStdString(root_ + "my scripts/order check.bas");
    main_->E4->trigger();
    QElapsedTimer timer;
    timer.start();
    while (!std::filesystem::exists(record) && timer.elapsed() < 10000)
        QThread::msleep(50);
    QThread::msleep(100);
    EXPECT_EQ(Slurp(record), "1\n" + root_ + "my scripts/order check.bas\n");
}

TEST_F(OutsideTest, TheHiddenWindowsDoWhatTheirButtonsSay) {
    main_->Find1->trigger();
    auto* find = main_->findChild<cfgman::TfrmFind*>();
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(find->windowTitle(), "Find Messages");
    EXPECT_TRUE(find->btnSearch->isDefault());
    find->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(main_->findChild<cfgman::TfrmFind*>(), nullptr);

    WhenModal([this](QWidget* w) {
        auto* wizard = qobject_cast<cfgman::TfrmMMWiz*>(w);
        ASSERT_NE(wizard, nullptr);
        EXPECT_EQ(wizard->Step(), 1);
        EXPECT_TRUE(wizard->frameIntro->isVisible());
        EXPECT_FALSE(wizard->btnFinish->isVisible());
        wizard->btnBack->click();
        EXPECT_EQ(wizard->Step(), 1);
        wizard->btnNext->click();
        EXPECT_TRUE(wizard->frameMessage->isVisible());
        wizard->btnBack->click();
        EXPECT_TRUE(wizard->frameIntro->isVisible());
        wizard->btnNext->click();
        wizard->edtDocument->setText("typed.rtf");
        chosen_.clear(); // cancelled: the box keeps its text
        wizard->btnBrowseDocument->click();
        EXPECT_EQ(wizard->edtDocument->text(), "typed.rtf");
        wizard->btnNext->click();
        EXPECT_TRUE(wizard->frameData->isVisible());
        chosen_ = "/data/people.dbf";
        wizard->btnBrowseData->click();
        EXPECT_EQ(wizard->edtFileName->text(), "/data/people.dbf");
        EXPECT_EQ(dialogs_.back().Filters[1], "ASCII Comma Delimited (*.txt *.asc *.csv)");
        wizard->btnNext->click();
        EXPECT_EQ(wizard->Step(), 4);
        EXPECT_FALSE(wizard->frameData->isVisible());
        wizard->btnCancel->click();
    });
    main_->MailMerge1->trigger();
}

} // namespace
} // namespace cfgtest

#include "cfgman/frmupdate.h"
#include "widgets/wizard.h"

namespace cfgtest {
namespace {

TEST_F(WindowTest, AMaintenanceStepRefusedElsewhereIsAnErrorLineAndTheProgramGoesOn) {
    PointIniAtTest();
    AddGroup("G1", "Sales");
    Start();
    {
        TableHolder processor(db_, "RECEIVED.DBF", "shared");
        ASSERT_TRUE(processor.Ready());
        main_->ReIndex1->trigger();
        EXPECT_EQ(main_->ErrorCount(), 1);
        ASSERT_FALSE(status_->Lines().isEmpty());
        EXPECT_TRUE(status_->Lines()[0].contains(" -- Error-"))
            << status_->Lines()[0].toStdString();
        EXPECT_TRUE(status_->isVisible());
    }
    // Still working, without a restart: a group another program added shows
    // on Refresh, and a deleted row goes on Compress.
    AddGroup("G2", "Support");
    main_->Refresh1->trigger();
    EXPECT_EQ(Root()->child(0)->text(0), "Sales");
    ASSERT_EQ(Root()->childCount(), 2);
    main_->ReIndex1->trigger();
    Select(Root()->child(1));
    answers_ = {win::IDYES};
    main_->mnuMainDelete->trigger();
    ASSERT_EQ(DbfRecordCount(db_ + "GROUPS.DBF"), 2u);
    main_->Compress1->trigger();
    EXPECT_EQ(DbfRecordCount(db_ + "GROUPS.DBF"), 1u);
    EXPECT_EQ(main_->ErrorCount(), 1);
}

TEST_F(WindowTest, TheAutoProcessorItemsOnlySayHowAndTheUpdateWizardChecksNothing) {
    PointIniAtTest();
    Start();
    EXPECT_FALSE(main_->E3->isVisible());
    main_->E3->trigger();
    main_->DisableAuto->trigger();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0], "Sorry in this release you must manually enable both Agent and Mail "
                         "Retriever services.  You may find them in the quelta program group.");
    EXPECT_EQ(boxes_[1], boxes_[0]);
    int result = -1;
    WhenModal([&](QWidget* w) {
        auto* update = qobject_cast<cfgman::TfrmUpdate*>(w);
        ASSERT_NE(update, nullptr);
        update->Wizard->NextClick();
        update->Wizard->NextClick();
        EXPECT_EQ(update->Wizard->NextButton()->text(), "&Finish");
        update->Wizard->NextClick();
        result = update->result();
    });
    main_->N15->trigger();
    EXPECT_EQ(result, QDialog::Accepted);
}

} // namespace
} // namespace cfgtest

namespace cfgtest {
namespace {

class RowKeyTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        PointIniAtTest();
        AddGroup("G1", "Sales");
        AddAccount("A1", "G1", "One");
        AddAccount("A2", "G1", "Two");
        AddAccount("A3", "G1", "Three");
    }
    QTreeWidgetItem* Named(const QString& text) {
        const auto found = main_->treeMain->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found[0];
    }
    // A row deleted by another program.
    void DeleteElsewhere(const std::string& table, const std::string& key) {
        data::TTable t;
        t.SetDatabaseName(db_);
        t.SetTableName(table);
        t.Open();
        for (t.First(); !t.Eof(); t.Next())
            if (t.FieldByName("UNIQUE_ID").AsString().starts_with(key)) {
                t.Delete();
                break;
            }
        t.Close();
    }
    void SelectReceived(int row) {
        main_->lstVReceived->setCurrentIndex(main_->lstVReceived->model()->index(row, 0));
    }
    QString SelectedSubject() {
        return main_->lstVReceived->currentIndex().siblingAtColumn(1).data().toString();
    }
    std::vector<std::string> Field(const std::string& table, const char* field) {
        std::vector<std::string> values;
        for (const Row& r : Rows(table))
            values.push_back(r.at(field));
        return values;
    }
};

TEST_F(RowKeyTest, AfterCompressingTheTreeAndTheListsActOnTheRowsTheyShow) {
    for (const char* m : {"m1", "m2", "m3"}) {
        AppendRow("RECEIVED.DBF", {{"MESSAGE_ID", m},
                                   {"LINK_ID", "A2"},
                                   {"SUBJECT", std::string("subject ") + m},
                                   {"FILENAME", std::string(m) + ".eml"}});
        Spit(root_ + "messages/A2/In/" + m + ".eml", "Subject: x\r\n\r\n");
    }
    Start();
    Select(Named("One"));
    answers_ = {win::IDYES};
    main_->mnuMainDelete->trigger();
    ASSERT_EQ(Field("NODES.DBF", "NODE"), (std::vector<std::string>{"Two", "Three"}));
    Select(Named("Two"));
    SelectReceived(0);
    ASSERT_EQ(SelectedSubject(), "subject m1");
    answers_ = {win::IDYES};
    main_->MenuItem3->trigger();
    ASSERT_EQ(Field("RECEIVED.DBF", "MESSAGE_ID"), (std::vector<std::string>{"m2", "m3"}));

    // Compressing renumbers the rows; the selection stays on Two.
    ASSERT_EQ(DbfRecordCount(db_ + "NODES.DBF"), 3u);
    main_->Compress1->trigger();
    EXPECT_EQ(main_->ErrorCount(), 0);
    ASSERT_EQ(DbfRecordCount(db_ + "NODES.DBF"), 2u);
    ASSERT_NE(main_->treeMain->currentItem(), nullptr);
    EXPECT_EQ(main_->treeMain->currentItem()->text(0), "Two");
    ASSERT_EQ(main_->lstVReceived->model()->rowCount(), 2);

    // The list's first row is m2, and m2 is what goes.
    SelectReceived(0);
    ASSERT_EQ(SelectedSubject(), "subject m2");
    answers_ = {win::IDYES};
    main_->MenuItem3->trigger();
    EXPECT_EQ(Field("RECEIVED.DBF", "MESSAGE_ID"), std::vector<std::string>{"m3"});
    EXPECT_TRUE(std::filesystem::exists(root_ + "messages/A2/In/m3.eml"));

    // Renaming Three renames Three; deleting Two deletes Two.
    ASSERT_TRUE(main_->treeMainEditing(Named("Three")));
    main_->treeMainEdited(Named("Three"), "Third");
    Select(Named("Two"));
    answers_ = {win::IDYES};
    main_->mnuMainDelete->trigger();
    EXPECT_EQ(Field("NODES.DBF", "NODE"), std::vector<std::string>{"Third"});
    EXPECT_EQ(main_->ErrorCount(), 0);
}

TEST_F(RowKeyTest, ANodeWhoseRowIsGoneIsRefusedAndTheTreeIsShownAsItIs) {
    Start();
    DeleteElsewhere("NODES.DBF", "A2");
    Select(Named("Two"));
    // Nothing is offered for a row that is gone ...
    EXPECT_FALSE(main_->mnuMainDelete->isEnabled());
    EXPECT_FALSE(main_->AccountsBar.Modify->isEnabled());
    // ... and what the popup still reaches says so.
    answers_ = {win::IDYES};
    main_->popDelete->trigger();
    ASSERT_FALSE(boxes_.empty());
    EXPECT_EQ(boxes_.back(), "The account Two is no longer in the tables.");
    EXPECT_EQ(Field("NODES.DBF", "NODE"), (std::vector<std::string>{"One", "Three"}));
    QCoreApplication::processEvents();
    EXPECT_EQ(Named("Two"), nullptr);
    EXPECT_NE(Named("Three"), nullptr);
}

} // namespace
} // namespace cfgtest
