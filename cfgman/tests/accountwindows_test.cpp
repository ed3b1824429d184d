// The account wizard, the account properties and the restriction dialogs
// offscreen, and the retriever acting on what they wrote (Dovecot).
#include "cfgman/core/settings.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmodify.h"
#include "cfgman/frmnewnode.h"
#include "cfgman/frmrules.h"
#include "cfgman/frmstatus.h"
#include "cfgman/rulecondition.h"
#include "cfgman/tests/cfgfixture.h"
#include "cfgman/tests/outside_readers.h"
#include "mail/tests/dovecot_server.h"
#include "widgets/wizard.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

namespace cfgtest {
namespace {

template <class T> T* As(QWidget* w) {
    auto* t = qobject_cast<T*>(w);
    EXPECT_NE(t, nullptr) << (w ? w->metaObject()->className() : "no window");
    return t;
}

class AccountWindowTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        PointIniAtTest();
        AddGroup("G1", "Sales");
        AddGroup("G2", "Support");
    }
    void TearDown() override {
        if (main_) {
            main_->close();
            main_->SetStatusWindow(nullptr);
        }
        status_.reset();
        main_.reset();
        CfgTest::TearDown();
    }
    void Start() {
        for (const char* wav : {"newitem.wav", "expandtree.wav", "slide.wav"})
            Spit(root_ + "prog/" + wav, "RIFF");
        main_ = std::make_unique<cfgman::TfrmMain>(root_ + "prog/");
        main_->FormCreate();
        status_ = std::make_unique<cfgman::TfrmStatus>(main_.get());
        main_->SetStatusWindow(status_.get());
        main_->show();
        QCoreApplication::processEvents();
        ASSERT_FALSE(main_->StartupFailed()) << (boxes_.empty() ? "" : boxes_[0]);
    }
    QTreeWidgetItem* Node(std::initializer_list<int> path) {
        QTreeWidgetItem* n = main_->treeMain->topLevelItem(0);
        for (int i : path)
            n = n ? n->child(i) : nullptr;
        return n;
    }
    // Fills the wizard as a user would, page by page, with Next.
    static void FillWizard(cfgman::TfrmNewNode* w, const QString& name, int group,
                           const QString& server, const QString& user, bool remove,
                           const QString& email = QString()) {
        w->edtNodeName->setText(name);
        w->NewNodeWiz->NextClick();
        w->lstGroups->setCurrentRow(group);
        w->NewNodeWiz->NextClick();
        w->edtSMTP->setText(server);
        w->NewNodeWiz->NextClick();
        w->edtUsername->setText(user);
        w->edtPassword->setText(QStringLiteral("secret"));
        w->NewNodeWiz->NextClick();
        w->edtEmail->setText(email);
        w->NewNodeWiz->NextClick();
        // Due at once: a minute in the past is today's date and a time of 00:00.
        w->MedtNextTime->setText(QStringLiteral("12:00AM"));
        w->NewNodeWiz->NextClick();
        w->cmbAction2->setCurrentIndex(remove ? 0 : 1);
    }
    void Exit() {
        main_->close();
        main_->SetStatusWindow(nullptr);
        status_.reset();
        main_.reset();
    }
    std::unique_ptr<cfgman::TfrmMain> main_;
    std::unique_ptr<cfgman::TfrmStatus> status_;
};

TEST_F(AccountWindowTest, TheWizardsPagesFollowWhatIsTyped) {
    Start();
    cfgman::TfrmNewNode w(main_.get());
    w.show();
    EXPECT_EQ(w.windowTitle(), "Mail Account Wizard");
    EXPECT_EQ(w.NewNodeWiz->ActivePage(), w.WizPage1);
    EXPECT_FALSE(w.NewNodeWiz->NextButton()->isEnabled());
    w.edtNodeName->setText("Orders");
    EXPECT_TRUE(w.NewNodeWiz->NextButton()->isEnabled());
    EXPECT_EQ(w.edtRealName->text(), "Orders");
    // The POP3 server follows the SMTP server until it is edited after it.
    w.edtSMTP->setText("mail.example.com");
    EXPECT_EQ(w.edtPOP->text(), "mail.example.com");
    w.edtPOP->setText("pop.example.com");
    EXPECT_EQ(w.edtPOP->text(), "pop.example.com");
    w.edtSMTP->setText("smtp.example.com");
    EXPECT_EQ(w.edtPOP->text(), "smtp.example.com");
    // The login from the address: the part before "@"; none keeps it.
    w.edtUsername->setText("typed");
    w.NewNodeWiz->SetActivePage(w.EPWizardPage3);
    w.edtEmail->setText("ann@example.com");
    w.NewNodeWiz->NextClick();
    EXPECT_EQ(w.edtUsername->text(), "ann");
    EXPECT_EQ(w.NewNodeWiz->ActivePage(), w.EPWizardPage4);
    w.NewNodeWiz->BackClick();
    w.edtEmail->setText("no-at-sign");
    w.NewNodeWiz->NextClick();
    EXPECT_EQ(w.edtUsername->text(), "ann");
    // The schedule shows now.
    EXPECT_EQ(w.MedtNextDate->text().size(), 8);
    EXPECT_TRUE(w.MedtNextTime->text().endsWith("M"));
    EXPECT_EQ(w.edtMins->text(), "10");
}

TEST_F(AccountWindowTest, FinishRefusesWhatCannotBeStoredAndCancelWritesNothing) {
    Start();
    WhenModal([](QWidget* m) {
        auto* w = As<cfgman::TfrmNewNode>(m);
        FillWizard(w, "Orders", 0, "127.0.0.1", "orders", false);
        w->MedtNextDate->setText("99/99/99");
        w->NewNodeWiz->NextClick(); // Finish
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->NewNodeWiz->ActivePage(), w->EPWizardPage4);
        w->lstGroups->clearSelection();
        w->MedtNextDate->setText("12/09/26");
        w->NewNodeWiz->SetActivePage(w->EPWizardPage5);
        w->NewNodeWiz->NextClick();
        EXPECT_EQ(w->NewNodeWiz->ActivePage(), w->WizPage2);
        w->NewNodeWiz->CancelButton()->click();
    });
    main_->NewAccount1->trigger();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0], "'99/99/99' is not a valid date");
    EXPECT_EQ(boxes_[1], "Select the group the account belongs to.");
    EXPECT_TRUE(Rows("NODES.DBF").empty());
    EXPECT_TRUE(Rows("rules.dbf").empty());
}

TEST_F(AccountWindowTest, TheAccountIsLinkedToTheChosenGroup) {
    Start();
    // The tree last stood on Support: the wizard starts there.
    main_->treeMain->setCurrentItem(Node({1}));
    WhenModal([](QWidget* m) {
        auto* w = As<cfgman::TfrmNewNode>(m);
        EXPECT_EQ(w->lstGroups->currentItem()->text(), "Support");
        FillWizard(w, "Orders", 0, "127.0.0.1", "orders", false);
        w->NewNodeWiz->NextClick(); // Finish
    });
    sounds_.clear();
    main_->NewAccount1->trigger();
    EXPECT_EQ(sounds_, std::vector<std::string>{root_ + "prog/newitem.wav"});
    const auto nodes = Rows("NODES.DBF");
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].at("LINK_ID"), "G1");
    EXPECT_EQ(nodes[0].at("NODE"), "Orders");
    EXPECT_EQ(nodes[0].at("POPADDRESS"), "127.0.0.1");
    EXPECT_EQ(nodes[0].at("NEXTTIME"), "00:00");
    EXPECT_EQ(nodes[0].at("FREQVAL"), "10");
    const auto rules = Rows("rules.dbf");
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].at("ACT1"), "Y");
    EXPECT_EQ(rules[0].at("ACT2"), "N");
    EXPECT_EQ(Node({0, 0})->text(0), "Orders");
}

TEST_F(AccountWindowTest, PropertiesEditTheAccountAndItsRestrictions) {
    AddAccount("A1", "G1", "Orders");
    AddAccount("A2", "G1", "Other");
    Attach("T1", "A1", "Forwarder");
    Attach("T2", "A2", "Not this one");
    Start();
    main_->treeMain->setCurrentItem(Node({0, 0}));
    beeps_ = 0;
    WhenModal([this](QWidget* m) {
        auto* p = As<cfgman::TfrmModify>(m);
        EXPECT_EQ(p->windowTitle(), "Modify Account Properties");
        EXPECT_EQ(p->edtName->text(), "Orders");
        // No restriction yet: that tab, a beep and the warning.
        EXPECT_EQ(p->Tabs->currentWidget(), p->TabRules);
        EXPECT_EQ(beeps_, 1);
        EXPECT_TRUE(p->lblWarning->isVisible());
        EXPECT_FALSE(p->btnRemove->isEnabled());
        ASSERT_EQ(p->lstVAttachedAgents->topLevelItemCount(), 1);
        EXPECT_EQ(p->lstVAttachedAgents->topLevelItem(0)->text(0), "Forwarder");

        // Add "If size is greater than 250 Kb".
        WhenModal([](QWidget* m2) {
            auto* wiz = As<cfgman::TfrmRuleWiz>(m2);
            EXPECT_EQ(wiz->Condition->cmbCondition->currentIndex(), 0);
            EXPECT_EQ(wiz->Condition->cmbField->currentText(), "From");
            EXPECT_TRUE(wiz->Condition->panelfieldcontains->isVisible());
            wiz->Condition->cmbCondition->setCurrentIndex(2);
            EXPECT_TRUE(wiz->Condition->panelmessagesize->isVisible());
            EXPECT_FALSE(wiz->Condition->panelfieldcontains->isVisible());
            wiz->Condition->edtNumber->setText("250");
            wiz->Wizard->NextClick();
            wiz->cmbAction1->setCurrentIndex(1);
            wiz->Wizard->NextClick();
            EXPECT_FALSE(wiz->Wizard->NextButton()->isEnabled());
            wiz->edtName->setText("Big");
            wiz->Wizard->NextClick(); // Finish
        });
        p->btnAdd->click();
        EXPECT_FALSE(p->lblWarning->isVisible());
        ASSERT_EQ(p->lstVRules->topLevelItemCount(), 1);
        p->lstVRules->setCurrentItem(p->lstVRules->topLevelItem(0));
        EXPECT_TRUE(p->btnRemove->isEnabled());

        // Its properties show 250 again; a size that is no number is refused.
        WhenModal([this](QWidget* m2) {
            auto* prop = As<cfgman::TfrmRuleProp>(m2);
            EXPECT_EQ(prop->Condition->edtNumber->text(), "250");
            EXPECT_EQ(prop->cmbAction1->currentText(), "NO");
            prop->Condition->edtNumber->setText("lots");
            const size_t before = boxes_.size();
            prop->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            EXPECT_EQ(boxes_.size(), before + 1);
            EXPECT_TRUE(prop->isVisible());
            prop->Condition->edtNumber->setText("1");
            prop->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        p->btnProperties->click();

        // The schedule: "M>" moves a month, but December stays there; an
        // impossible date is today.
        p->cal->setSelectedDate(QDate(2026, 11, 9));
        p->Button6->click();
        EXPECT_EQ(p->cal->selectedDate(), QDate(2026, 12, 9));
        p->Button6->click();
        EXPECT_EQ(p->cal->selectedDate(), QDate(2026, 12, 9));
        p->Button3->click();
        EXPECT_EQ(p->cal->selectedDate(), QDate(2027, 12, 9));
        EXPECT_EQ(p->MedtNextDate->text(), "12/09/27");
        EXPECT_EQ(p->lblDateRead->text(), "December 09 2027");
        p->MedtNextDate->setText("13/45/27");
        p->MedtNextDateChange();
        EXPECT_EQ(p->cal->selectedDate(), QDate::currentDate());
        p->IntervalTrackBar->setValue(45);
        EXPECT_EQ(p->edtMins->value(), 45);
        p->MedtNextTime->setText("03:45PM");
        p->edtUserName->setText("orders");
        p->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    main_->AccountsBar.Modify->trigger();
    const auto rules = Rows("rules.dbf");
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].at("COND"), "G");
    EXPECT_EQ(rules[0].at("CONDVAL2"), "1000");
    EXPECT_EQ(rules[0].at("LINK_ID"), "A1");
    EXPECT_EQ(rules[0].at("ACT1"), "N");
    // As an outside reader sees the account row.
    EXPECT_EQ(DbfRead(db_ + "NODES.DBF", "LOGIN")[0], "orders");
    EXPECT_EQ(DbfRead(db_ + "NODES.DBF", "FREQVAL")[0], "45");
    EXPECT_EQ(DbfRead(db_ + "NODES.DBF", "NEXTTIME")[0], "15:45");
    EXPECT_EQ(DbfRead(db_ + "NODES.DBF", "NEXTDATE")[0],
              QDate::currentDate().toString("yyyy-MM-dd").toStdString());
}

TEST_F(AccountWindowTest, TheTreePopupAndModifyOpenTheWizardAndTheLastAccountsProperties) {
    AddAccount("A1", "G1", "Orders");
    AddAccount("A2", "G2", "Help");
    Start();
    // "&New" > "&Account..." on a group: the wizard, on that group.
    main_->treeMain->setCurrentItem(Node({1}));
    WhenModal<cfgman::TfrmNewNode>([](cfgman::TfrmNewNode* w) {
        EXPECT_EQ(w->lstGroups->currentItem()->text(), "Support");
        w->NewNodeWiz->CancelButton()->click();
    });
    main_->popAccount->trigger();
    // "&Properties..." on an account: its own.
    main_->treeMain->setCurrentItem(Node({1, 0}));
    WhenModal<cfgman::TfrmModify>([](cfgman::TfrmModify* p) {
        EXPECT_EQ(p->edtName->text(), "Help");
        p->reject();
    });
    main_->popProperties->trigger();
    // "Modify" on a group: the account last selected, not one of the group's.
    main_->treeMain->setCurrentItem(Node({0}));
    ASSERT_TRUE(main_->AccountsBar.Modify->isEnabled());
    WhenModal<cfgman::TfrmModify>([](cfgman::TfrmModify* p) {
        EXPECT_EQ(p->edtName->text(), "Help");
        p->reject();
    });
    main_->AccountsBar.Modify->trigger();
    EXPECT_EQ(main_->ErrorCount(), 0);
}

TEST_F(AccountWindowTest, OkKeepsAnIntervalTheBarCannotShow) {
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"},
                            {"LINK_ID", "G1"},
                            {"NODE", "Twice a day"},
                            {"NEXTTIME", "08:00"},
                            {"FREQVAL", "720"}});
    Start();
    main_->treeMain->setCurrentItem(Node({0, 0}));
    auto ok = [](cfgman::TfrmModify* p) {
        p->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    };
    WhenModal<cfgman::TfrmModify>([&](cfgman::TfrmModify* p) {
        EXPECT_EQ(p->edtMins->value(), 720);
        EXPECT_EQ(p->IntervalTrackBar->value(), 600);
        ok(p);
    });
    main_->mnuMainProperties->trigger();
    EXPECT_EQ(DbfRead(db_ + "NODES.DBF", "FREQVAL")[0], "720");
    // Moving the bar is the user's change.
    WhenModal<cfgman::TfrmModify>([&](cfgman::TfrmModify* p) {
        p->IntervalTrackBar->setValue(90);
        EXPECT_EQ(p->edtMins->value(), 90);
        ok(p);
    });
    main_->mnuMainProperties->trigger();
    EXPECT_EQ(DbfRead(db_ + "NODES.DBF", "FREQVAL")[0], "90");
    EXPECT_TRUE(boxes_.empty()) << boxes_[0];
}

// The retriever, run from a copy in the test's folder, over what the
// windows wrote.
int RunPostp(const std::string& root) {
    const std::string prog = root + "prog/";
    for (const char* file : {"postp", "libwsock32.so"})
        if (!std::filesystem::exists(prog + file))
            std::filesystem::copy_file(std::string(QUELTA_BIN_DIR "/") + file, prog + file);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QString out;
    const int code = RunProgram(QString::fromStdString(prog + "postp"), {"/SINGLEPASS"}, &out, env);
    if (code != 0)
        ADD_FAILURE() << "postp said: " << out.toStdString();
    return code;
}

std::vector<std::string> PendingFiles(const std::string& messages, const std::string& id) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(messages + id + "/Pending", ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(AccountWindowTest, TheRetrieverFetchesWhatTheWizardAndARestrictionSay) {
    nettest::DovecotServer dovecot;
    if (!dovecot.Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot.Why();
    dovecot.AddUser("keep", "secret");
    dovecot.AddUser("empty", "secret");
    const std::string small = "Message-ID: <small@x>\r\nSubject: small\r\n\r\nhello\r\n";
    const std::string large =
        "Message-ID: <large@x>\r\nSubject: large\r\n\r\n" + std::string(3000, 'x') + "\r\n";
    dovecot.Deliver("keep", small);
    dovecot.Deliver("keep", large);
    dovecot.Deliver("empty", small);
    Start();
    for (const auto& [name, user, remove] :
         {std::tuple{"Keeper", "keep", false}, std::tuple{"Emptier", "empty", true}}) {
        WhenModal([&, name = QString(name), user = QString(user), remove = remove](QWidget* m) {
            auto* w = As<cfgman::TfrmNewNode>(m);
            FillWizard(w, name, 0, QString::fromStdString(dovecot.Address()), user, remove);
            w->NewNodeWiz->NextClick();
        });
        main_->NewAccount1->trigger();
    }
    const auto nodes = Rows("NODES.DBF");
    ASSERT_EQ(nodes.size(), 2u);
    // "If size is greater than 1" Kb, Retrieve NO, on the first account.
    main_->treeMain->setCurrentItem(Node({0, 0}));
    ASSERT_EQ(Node({0, 0})->text(0), "Keeper");
    WhenModal([](QWidget* m) {
        auto* p = As<cfgman::TfrmModify>(m);
        WhenModal([](QWidget* m2) {
            auto* wiz = As<cfgman::TfrmRuleWiz>(m2);
            wiz->Condition->cmbCondition->setCurrentIndex(2);
            wiz->Condition->edtNumber->setText("1");
            wiz->Wizard->NextClick();
            wiz->cmbAction1->setCurrentIndex(1);
            wiz->cmbAction2->setCurrentIndex(1);
            wiz->Wizard->NextClick();
            wiz->edtName->setText("Too big");
            wiz->Wizard->NextClick();
        });
        p->btnAdd->click();
        p->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    main_->mnuMainProperties->trigger();
    ASSERT_EQ(Rows("rules.dbf").size(), 3u);
    Exit();

    ASSERT_EQ(RunPostp(root_), 0) << Slurp(root_ + "prog/mailproc.log").substr(0, 600);
    const std::string keeper = nodes[0].at("UNIQUE_ID"), emptier = nodes[1].at("UNIQUE_ID");
    EXPECT_EQ(PendingFiles(root_ + "messages/", keeper), std::vector<std::string>{"-small@x-.eml"});
    EXPECT_EQ(Slurp(root_ + "messages/" + keeper + "/Pending/-small@x-.eml"), small);
    EXPECT_EQ(dovecot.Mailbox("keep").size(), 2u); // Delete NO: both stay
    EXPECT_EQ(PendingFiles(root_ + "messages/", emptier),
              std::vector<std::string>{"-small@x-.eml"});
    EXPECT_TRUE(dovecot.Mailbox("empty").empty()); // Delete YES
    // The schedule moved on.
    const auto after = Rows("NODES.DBF");
    EXPECT_NE(after[0].at("NEXTTIME"), "00:00");
}

} // namespace
} // namespace cfgtest

#include "cfgman/frmrem.h"

namespace cfgtest {
namespace {

// Python's poplib counts what the server holds, as another client sees it.
int PopCount(std::uint16_t port, const std::string& user) {
    QProcess p;
    p.start("/usr/bin/python3", {"-c",
                                 "import poplib, sys\n"
                                 "c = poplib.POP3('127.0.0.1', int(sys.argv[1]))\n"
                                 "c.user(sys.argv[2]); c.pass_('secret')\n"
                                 "print(c.stat()[0]); c.quit()",
                                 QString::number(port), QString::fromStdString(user)});
    p.waitForFinished(30000);
    return p.readAllStandardOutput().trimmed().toInt();
}

TEST_F(AccountWindowTest, ThePreviewListsTheWaitingHeadersAndLeavesTheMailbox) {
    nettest::DovecotServer dovecot;
    if (!dovecot.Started())
        GTEST_SKIP() << "Dovecot POP3 server not available: " << dovecot.Why();
    dovecot.AddUser("three", "secret");
    dovecot.AddUser("none", "secret");
    for (const char* subject : {"first", "second", "third"})
        dovecot.Deliver("three", std::string("From: Ann <ann@x.example>\r\nSubject: ") + subject +
                                     "\r\nDate: Wed, 9 Dec 2026 08:00:00 +0000\r\n\r\nbody\r\n");
    // No POP3 server: the SMTP server's name is used.
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "A1"},
                            {"LINK_ID", "G1"},
                            {"NODE", "Three"},
                            {"SMTPADDRES", dovecot.Address()},
                            {"LOGIN", "three"},
                            {"PASSWORD", "secret"}});
    AppendRow("NODES.DBF", {{"UNIQUE_ID", "A2"},
                            {"LINK_ID", "G1"},
                            {"NODE", "None"},
                            {"POPADDRESS", dovecot.Address()},
                            {"LOGIN", "none"},
                            {"PASSWORD", "secret"}});
    Start();
    main_->treeMain->setCurrentItem(Node({0, 0}));
    main_->Checkwhatsontheserver1->trigger();
    const QStringList lines = status_->Lines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[2].endsWith(" -- Downloading Header 1 of 3 -- first"));
    EXPECT_TRUE(lines[1].endsWith(" -- Downloading Header 2 of 3 -- second"));
    EXPECT_TRUE(lines[0].endsWith(" -- Downloading Header 3 of 3 -- third"));
    EXPECT_EQ(status_->lblCurrentAction->text(), "Downloading Headers 3 of 3");
    ASSERT_TRUE(main_->frmRem->isVisible());
    EXPECT_EQ(main_->frmRem->windowTitle(), "Preview Messages on Server");
    ASSERT_EQ(main_->frmRem->lstMessages->topLevelItemCount(), 3);
    EXPECT_EQ(main_->frmRem->lstMessages->topLevelItem(1)->text(0), "second");
    EXPECT_EQ(main_->frmRem->lstMessages->topLevelItem(1)->text(1), "Ann <ann@x.example>");
    EXPECT_EQ(PopCount(dovecot.Port(), "three"), 3);
    EXPECT_EQ(dovecot.Mailbox("three").size(), 3u);
    EXPECT_TRUE(boxes_.empty());

    main_->frmRem->hide();
    main_->treeMain->setCurrentItem(Node({0, 1}));
    main_->Checkwhatsontheserver1->trigger();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "There are no messages waiting.");
    EXPECT_FALSE(main_->frmRem->isVisible());
    // Both sessions ended with QUIT: the server saw them log out.
    const std::string log = dovecot.Log();
    size_t quits = 0;
    for (size_t at = log.find("Logged out"); at != std::string::npos;
         at = log.find("Logged out", at + 1))
        ++quits;
    EXPECT_GE(quits, 2u) << log;
}

} // namespace
} // namespace cfgtest
