// The agent windows offscreen: the trigger and action dialogs, the agent
// wizard and the properties window through the main window's commands,
// and the Agents page with its rename, delete, attach and detach.
#include "cfgman/core/settings.h"
#include "cfgman/filedialog.h"
#include "cfgman/frmaction.h"
#include "cfgman/frmagentproperties.h"
#include "cfgman/frmagents.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmodify.h"
#include "cfgman/frmnewagent.h"
#include "cfgman/frmstatus.h"
#include "cfgman/frmtrigger.h"
#include "cfgman/tests/cfgfixture.h"
#include "processor/agentfile.h"
#include "widgets/wizard.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

namespace cfgtest {
namespace {

using quelta::ReadAgentFile;

void Press(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

QStringList Texts(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList Row(const QTreeWidget* list, int row) {
    QStringList out;
    for (int c = 0; c < list->columnCount(); ++c)
        out << list->topLevelItem(row)->text(c);
    return out;
}

void Choose(cfgman::TfrmAction* d, const QString& entry) {
    const auto found = d->lstVActions->findItems(entry, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << entry.toStdString();
    d->lstVActions->setCurrentItem(found[0]);
}

class AgentWindowsTest : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        PointIniAtTest();
        agents_ = root_ + "agents/";
        cfgman::SetOpenDialogHook([this](const cfgman::TOpenDialog& d) {
            dialogs_.push_back(d);
            return chosen_;
        });
    }
    void TearDown() override {
        if (main_) {
            main_->close();
            main_->SetStatusWindow(nullptr);
        }
        status_.reset();
        main_.reset();
        cfgman::SetOpenDialogHook({});
        CfgTest::TearDown();
    }
    void Start() {
        for (const char* wav : {"about.wav", "expandtree.wav", "slide.wav", "newitem.wav"})
            Spit(root_ + "prog/" + wav, "RIFF");
        main_ = std::make_unique<cfgman::TfrmMain>(root_ + "prog/");
        main_->FormCreate();
        status_ = std::make_unique<cfgman::TfrmStatus>(main_.get());
        main_->SetStatusWindow(status_.get());
        main_->show();
        QCoreApplication::processEvents();
        ASSERT_TRUE(boxes_.empty()) << boxes_[0];
    }
    QTreeWidgetItem* Agent(const QString& name) {
        for (int i = 0; i < main_->lstVAgents->topLevelItemCount(); ++i)
            if (main_->lstVAgents->topLevelItem(i)->text(0) == name)
                return main_->lstVAgents->topLevelItem(i);
        return nullptr;
    }
    void SelectAgent(const QString& name) {
        main_->pageControlMain->setCurrentWidget(main_->TSagents);
        QTreeWidgetItem* item = Agent(name);
        ASSERT_NE(item, nullptr) << name.toStdString();
        main_->lstVAgents->setCurrentItem(item);
        item->setSelected(true);
        QCoreApplication::processEvents();
    }
    QTreeWidgetItem* TreeNode(std::initializer_list<int> path) {
        QTreeWidgetItem* n = main_->treeMain->topLevelItem(0);
        for (int i : path)
            n = n ? n->child(i) : nullptr;
        return n;
    }
    void SelectNode(std::initializer_list<int> path) {
        main_->pageControlMain->setCurrentWidget(main_->TSaccounts);
        main_->treeMain->setCurrentItem(TreeNode(path));
        QCoreApplication::processEvents();
    }

    std::string agents_;
    std::unique_ptr<cfgman::TfrmMain> main_;
    std::unique_ptr<cfgman::TfrmStatus> status_;
    std::vector<cfgman::TOpenDialog> dialogs_;
    QString chosen_;
};

TEST_F(AgentWindowsTest, TheTriggerDialogOffersItsListsAndSaysTheSentence) {
    cfgman::TfrmTrigger d;
    d.show();
    EXPECT_EQ(d.windowTitle(), "Trigger Settings");
    QStringList headers, conditions;
    for (int i = 0; i < d.cmbHeader->count(); ++i)
        headers << d.cmbHeader->itemText(i);
    for (int i = 0; i < d.cmbCondition->count(); ++i)
        conditions << d.cmbCondition->itemText(i);
    EXPECT_EQ(headers,
              (QStringList{"Subject", "From", "To", "Cc", "Reply To", "<Any Header>", "<Body>"}));
    EXPECT_EQ(conditions, (QStringList{"contains", "doesn't contain", "begins with", ""}));
    EXPECT_EQ(d.cmbHeader->currentText(), "Subject");
    EXPECT_EQ(d.cmbCondition->currentText(), "contains");
    d.memoValue->setPlainText("order");
    EXPECT_EQ(d.lblCondition->text(), "If the Subject contains order");
    d.cmbHeader->setCurrentIndex(6);
    d.cmbCondition->setCurrentIndex(3);
    EXPECT_EQ(d.lblCondition->text(), "If the <Body>  order");
    EXPECT_EQ(Shown(d.lblCondition), "If the <Body>  order");
    EXPECT_TRUE(d.btnOK->isDefault());

    // Stored texts find their entries exactly, or without regard to case.
    d.SetTrigger({"SUBJECT", "Begins With", "x"}, false);
    EXPECT_EQ(d.cmbHeader->currentIndex(), -1);
    EXPECT_EQ(d.cmbCondition->currentIndex(), -1);
    EXPECT_EQ(d.lblCondition->text(), "If the   x");
    d.SetTrigger({"SUBJECT", "Begins With", "x"}, true);
    EXPECT_EQ(d.cmbHeader->currentText(), "Subject");
    EXPECT_EQ(d.cmbCondition->currentText(), "begins with");
    d.SetTrigger({"From", "", "y"}, false);
    EXPECT_EQ(d.cmbCondition->currentIndex(), 3);

    // A pasted line break cannot reach the file; Enter is OK.
    d.memoValue->setPlainText("two\nlines");
    EXPECT_EQ(d.Trigger().Value, "two lines");
    Press(d.memoValue, Qt::Key_Return);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.memoValue->toPlainText(), "two\nlines");
}

TEST_F(AgentWindowsTest, TheActionDialogTakesEachActionsParameterOrRefusesWithoutOne) {
    Start();
    auto run = [&](const std::function<void(cfgman::TfrmAction*)>& fill) {
        cfgman::TfrmAction d(main_.get());
        WhenModal<cfgman::TfrmAction>(fill);
        const bool ok = d.exec() == QDialog::Accepted;
        return ok ? d.Action() : quelta::TAgentAction{"<cancelled>", "", ""};
    };
    {
        cfgman::TfrmAction d;
        EXPECT_EQ(d.windowTitle(), "Add Action");
        EXPECT_EQ(Texts(d.lstVActions),
                  (QStringList{"Auto-Reply", "Close Quelta", "Delay the Agent", "Forward To",
                               "Launch Program", "Play Sound", "Redirect To",
                               "Remove from further agent processing", "Run an queltaScript",
                               "Shut down Windows"}));
        EXPECT_EQ(d.spnDelay->value(), 1);
        EXPECT_EQ(d.spnDelay->maximum(), 3600);
        EXPECT_EQ(d.spnDelay->minimum(), 0);
        EXPECT_TRUE(d.optForce->isChecked());
        EXPECT_TRUE(d.optNormal->isChecked());
    }

    // The first entry is chosen on showing; "Forward To" without its
    // address is refused even while another panel holds text.
    auto a = run([&](cfgman::TfrmAction* d) {
        EXPECT_EQ(d->lstVActions->currentItem()->text(), "Auto-Reply");
        EXPECT_TRUE(d->edtTemplate->isVisibleTo(d));
        Choose(d, "Forward To");
        EXPECT_TRUE(d->edtForward->isVisibleTo(d));
        EXPECT_FALSE(d->edtTemplate->isVisibleTo(d));
        d->edtRedirect->setText("elsewhere@example.com");
        d->Button3->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(boxes_.back(), "Please specify parameters.");
        d->edtForward->setText("orders@example.com");
        d->Button3->click();
    });
    EXPECT_EQ(a.Name, "FORWARD TO");
    EXPECT_EQ(a.Param1, "orders@example.com");
    EXPECT_EQ(a.Param2, "");

    a = run([&](cfgman::TfrmAction* d) {
        Choose(d, "Shut down Windows");
        d->optReboot->setChecked(true);
        d->Button3->click();
    });
    EXPECT_EQ(a.Name, "SHUT DOWN WINDOWS");
    EXPECT_EQ(a.Param1, "REBOOT");

    a = run([&](cfgman::TfrmAction* d) {
        Choose(d, "Delay the Agent");
        d->spnDelay->setValue(30);
        d->Button3->click();
    });
    EXPECT_EQ(a.Name, "DELAY THE AGENT");
    EXPECT_EQ(a.Param1, "30");

    a = run([&](cfgman::TfrmAction* d) {
        Choose(d, "Launch Program");
        chosen_ = "/usr/bin/lpr";
        d->btnProgram->click();
        EXPECT_EQ(d->edtCommandLine->text(), "/usr/bin/lpr");
        chosen_.clear(); // a cancelled chooser keeps the box
        d->btnProgram->click();
        EXPECT_EQ(d->edtCommandLine->text(), "/usr/bin/lpr");
        d->optMaximized->setChecked(true);
        d->Button3->click();
    });
    EXPECT_EQ(a.Name, "LAUNCH PROGRAM");
    EXPECT_EQ(a.Param1, "/usr/bin/lpr");
    EXPECT_EQ(a.Param2, "MAXIMIZED");
    ASSERT_EQ(dialogs_.size(), 2u);
    EXPECT_EQ(dialogs_[0].DefaultExt, "exe");
    EXPECT_EQ(dialogs_[0].Filters, (QStringList{"Application files (*.exe)", "All Files (*)"}));

    for (const auto& [entry, name, word] : std::vector<std::array<const char*, 3>>{
             {"Close Quelta", "CLOSE QUELTA", "CLOSE"},
             {"Remove from further agent processing", "REMOVE FROM FURTHER AGENT PROCESSING",
              "REMOVE"}}) {
        a = run([entry](cfgman::TfrmAction* d) {
            Choose(d, entry);
            d->Button3->click();
        });
        EXPECT_EQ(a.Name, name);
        EXPECT_EQ(a.Param1, word);
    }

    dialogs_.clear();
    a = run([&](cfgman::TfrmAction* d) {
        chosen_ = QString::fromStdString(root_ + "templates/thanks.eml");
        d->btnTemplate->click();
        Choose(d, "Play Sound");
        chosen_ = "/usr/share/sounds/ding.wav";
        d->btnSound->click();
        Choose(d, "Run an queltaScript");
        chosen_ = "/srv/scripts/stamp.bas";
        d->btnScript->click();
        d->Button3->click();
    });
    EXPECT_EQ(a.Name, "RUN AN QUELTASCRIPT");
    EXPECT_EQ(a.Param1, "/srv/scripts/stamp.bas");
    ASSERT_EQ(dialogs_.size(), 3u);
    EXPECT_EQ(dialogs_[0].Filters, (QStringList{"E-Mail Messages (*.eml)", "All Files (*)"}));
    EXPECT_EQ(dialogs_[0].DefaultExt, "EML");
    EXPECT_EQ(dialogs_[0].InitialDir.toStdString(), root_ + "templates/");
    EXPECT_EQ(dialogs_[1].Filters, (QStringList{"WAV Files (*.wav)", "All Files (*)"}));
    EXPECT_EQ(dialogs_[2].Filters, (QStringList{"queltaBasic Scripts (*.bas)", "All Files (*)"}));
    EXPECT_EQ(dialogs_[2].DefaultExt, "bas");

    // Nothing chosen in the list: no parameter either.
    a = run([&](cfgman::TfrmAction* d) {
        d->lstVActions->clearSelection();
        d->Button3->click();
        EXPECT_EQ(boxes_.back(), "Please specify parameters.");
        d->btnCancel->click();
    });
    EXPECT_EQ(a.Name, "<cancelled>");
}

// The wizard's steps for one agent: page 2 the triggers, page 3 the actions,
// page 4 the name; each step runs inside the wizard.
struct WizardSteps {
    std::function<void(cfgman::TfrmNewAgent*)> triggers, actions, name;
};

void RunWizard(const WizardSteps& steps) {
    WhenModal<cfgman::TfrmNewAgent>([steps](cfgman::TfrmNewAgent* w) {
        QPushButton* next = w->EPWizard1->NextButton();
        EXPECT_EQ(w->EPWizard1->ActivePage(), w->EPWizardPage1);
        next->click();
        ASSERT_EQ(w->EPWizard1->ActivePage(), w->EPWizardPage2);
        if (steps.triggers)
            steps.triggers(w);
        next->click();
        ASSERT_EQ(w->EPWizard1->ActivePage(), w->EPWizardPage3);
        if (steps.actions)
            steps.actions(w);
        next->click();
        ASSERT_EQ(w->EPWizard1->ActivePage(), w->EPWizardPage4);
        if (steps.name)
            steps.name(w);
    });
}

void AddTrigger(cfgman::TfrmNewAgent* w, int header, int condition, const QString& value) {
    WhenModal<cfgman::TfrmTrigger>([=](cfgman::TfrmTrigger* t) {
        t->cmbHeader->setCurrentIndex(header);
        t->cmbCondition->setCurrentIndex(condition);
        t->memoValue->setPlainText(value);
        t->btnOK->click();
    });
    w->btnAdd->click();
}

void AddAction(QPushButton* add, const QString& entry,
               const std::function<void(cfgman::TfrmAction*)>& fill) {
    WhenModal<cfgman::TfrmAction>([=](cfgman::TfrmAction* d) {
        Choose(d, entry);
        fill(d);
        d->Button3->click();
    });
    add->click();
}

void Finish(cfgman::TfrmNewAgent* w, const QString& name) {
    w->edtAgentName->setText(name);
    w->EPWizard1->NextButton()->click();
}

TEST_F(AgentWindowsTest, TheWizardWritesTheAgentItCollected) {
    Start();
    sounds_.clear();
    WizardSteps steps;
    steps.triggers = [](cfgman::TfrmNewAgent* w) {
        EXPECT_TRUE(w->optAll->isChecked());
        EXPECT_FALSE(w->lstVTriggers->isVisibleTo(w));
        w->optCertain->click();
        EXPECT_TRUE(w->lstVTriggers->isVisibleTo(w));
        EXPECT_TRUE(w->btnAdd->isVisibleTo(w));
        EXPECT_EQ(w->btnAdd->text(), "&Add");
        AddTrigger(w, 0, 0, "order");
        EXPECT_EQ(w->btnAdd->text(), "&And");
        EXPECT_EQ(w->mnuAddTrigger->text(), "&And");
        EXPECT_EQ(Row(w->lstVTriggers, 0), (QStringList{"Subject", "contains", "order"}));
    };
    steps.actions = [this](cfgman::TfrmNewAgent* w) {
        // No action yet: Next is held back, Enter does nothing.
        EXPECT_FALSE(w->EPWizard1->NextButton()->isEnabled());
        w->EPWizard1->NextClick();
        EXPECT_EQ(w->EPWizard1->ActivePage(), w->EPWizardPage3);
        AddAction(w->btnActionAdd, "Play Sound", [this](cfgman::TfrmAction* d) {
            chosen_ = "/usr/share/sounds/ding.wav";
            d->btnSound->click();
        });
        EXPECT_TRUE(w->EPWizard1->NextButton()->isEnabled());
        EXPECT_EQ(Row(w->lstVActions, 0),
                  (QStringList{"Play Sound", "/usr/share/sounds/ding.wav"}));
    };
    steps.name = [](cfgman::TfrmNewAgent* w) {
        EXPECT_EQ(w->EPWizard1->NextButton()->text(), "&Finish");
        EXPECT_FALSE(w->EPWizard1->NextButton()->isEnabled());
        w->edtAgentName->setText("   ");
        EXPECT_FALSE(w->EPWizard1->NextButton()->isEnabled());
        Finish(w, " Orders ");
    };
    RunWizard(steps);
    main_->NewAgent1->trigger();
    EXPECT_EQ(main_->pageControlMain->currentWidget(), main_->TSagents);
    EXPECT_EQ(sounds_, std::vector<std::string>{root_ + "prog/newitem.wav"});
    ASSERT_NE(Agent("Orders"), nullptr);

    const auto a = ReadAgentFile(agents_ + "Orders.agent");
    EXPECT_EQ(a.AgentType, "MESSAGE");
    EXPECT_EQ(a.AppVersion, "1.018");
    EXPECT_FALSE(a.CreatedDateTime.empty());
    EXPECT_EQ(a.CreatedDateTime, a.ModifiedDateTime);
    ASSERT_EQ(a.TriggerCount, 1);
    EXPECT_EQ(a.Triggers[0].Header, "Subject");
    EXPECT_EQ(a.Triggers[0].Condition, "contains");
    EXPECT_EQ(a.Triggers[0].Value, "order");
    ASSERT_EQ(a.ActionCount, 1);
    EXPECT_EQ(a.Actions[0].Name, "PLAY SOUND");
    EXPECT_EQ(a.Actions[0].Param1, "/usr/share/sounds/ding.wav");
    EXPECT_EQ(a.Actions[0].Param2, "");
    win::TIniFile ini(agents_ + "Orders.agent");
    EXPECT_TRUE(ini.ValueExists("MAIN", "CreateUser"));
    EXPECT_TRUE(ini.ValueExists("ACTIONPARAM3", "Entry1"));
}

TEST_F(AgentWindowsTest, TheWizardsTriggerChoiceDecidesWhatIsWrittenAndBadNamesStayInIt) {
    Spit(agents_ + "Existing.agent", "[MAIN]\nAgentType=MESSAGE\nActionCount=0\n");
    Start();
    WizardSteps steps;
    // Triggers added, then every message chosen again: none is written.
    steps.triggers = [](cfgman::TfrmNewAgent* w) {
        w->optCertain->click();
        EXPECT_TRUE(w->lstVTriggers->isVisibleTo(w));
        AddTrigger(w, 1, 1, "Smith");
        AddTrigger(w, 6, 3, "");
        EXPECT_EQ(Row(w->lstVTriggers, 1), (QStringList{"<Body>", "", ""}));
        w->optAll->click();
        EXPECT_FALSE(w->lstVTriggers->isVisibleTo(w));
    };
    steps.actions = [](cfgman::TfrmNewAgent* w) {
        AddAction(w->btnActionAdd, "Redirect To",
                  [](cfgman::TfrmAction* d) { d->edtRedirect->setText("desk@example.com"); });
    };
    steps.name = [this](cfgman::TfrmNewAgent* w) {
        Finish(w, "a/b");
        EXPECT_TRUE(w->isVisible());
        EXPECT_NE(boxes_.back().find("cannot contain"), std::string::npos) << boxes_.back();
        // An existing agent is replaced only after a Yes.
        answers_ = {win::IDNO};
        Finish(w, "Existing");
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(boxes_.back(), "An agent named Existing already exists. Do you want to "
                                 "replace it?");
        answers_ = {win::IDYES};
        Finish(w, "Existing");
    };
    RunWizard(steps);
    main_->NewAgent1->trigger();
    auto a = ReadAgentFile(agents_ + "Existing.agent");
    EXPECT_EQ(a.TriggerCount, 0);
    EXPECT_FALSE(win::TIniFile(agents_ + "Existing.agent").SectionExists("HEADER"));
    ASSERT_EQ(a.Actions.size(), 1u);
    EXPECT_EQ(a.Actions[0].Name, "REDIRECT TO");
    EXPECT_FALSE(std::filesystem::exists(root_ + "agents/a"));

    // "Only certain" with no trigger is every message too; Cancel writes nothing.
    steps.triggers = [](cfgman::TfrmNewAgent* w) { w->optCertain->click(); };
    steps.name = [](cfgman::TfrmNewAgent* w) { Finish(w, "Everything"); };
    RunWizard(steps);
    main_->popAgentsNew->trigger();
    a = ReadAgentFile(agents_ + "Everything.agent");
    EXPECT_EQ(a.AgentType, "MESSAGE");
    EXPECT_EQ(a.TriggerCount, 0);
    ASSERT_NE(Agent("Everything"), nullptr);

    steps.name = [](cfgman::TfrmNewAgent* w) {
        w->edtAgentName->setText("Never");
        w->EPWizard1->CancelButton()->click();
    };
    RunWizard(steps);
    main_->AgentsBar.New->trigger();
    EXPECT_FALSE(std::filesystem::exists(agents_ + "Never.agent"));
}

TEST_F(AgentWindowsTest, TheTriggerChoicesStayAtTheTopWhetherTheListShowsOrNot) {
    cfgman::TfrmNewAgent wizard;
    wizard.show();
    wizard.EPWizard1->NextClick();
    ASSERT_EQ(wizard.EPWizard1->ActivePage(), wizard.EPWizardPage2);
    cfgman::TfrmAgentProperties properties;
    properties.show();
    for (auto [page, all, certain, list] :
         {std::tuple<QWidget*, QRadioButton*, QRadioButton*, QWidget*>{
              wizard.EPWizardPage2, wizard.optAll, wizard.optCertain, wizard.lstVTriggers},
          {properties.Pages->widget(0), properties.optAll, properties.optCertain,
           properties.lstVTriggers}}) {
        SCOPED_TRACE(page->metaObject()->className());
        for (QRadioButton* choice : {all, certain}) {
            choice->click();
            QCoreApplication::processEvents();
            EXPECT_EQ(list->isVisible(), choice == certain);
            // The choices follow each other at the top; the room left
            // is below them, for the list when it shows.
            const int top = page->layout()->contentsMargins().top();
            const int gap = 3 * std::max(page->layout()->spacing(), 6);
            EXPECT_LE(all->geometry().top(), top + 2 * all->height() + gap);
            EXPECT_LE(certain->geometry().top() - all->geometry().bottom(), gap);
            EXPECT_LT(certain->geometry().bottom(), page->height() / 2);
        }
    }
}

TEST_F(AgentWindowsTest, TheWizardEditsAndDeletesTheTriggersItIsGiven) {
    Start();
    WizardSteps steps;
    steps.triggers = [this](cfgman::TfrmNewAgent* w) {
        w->optCertain->click();
        ASSERT_TRUE(w->btnAdd->isVisibleTo(w));
        AddTrigger(w, 0, 0, "one");
        AddTrigger(w, 1, 2, "two");
        AddTrigger(w, 2, 1, "three");
        w->lstVTriggers->clearSelection();
        w->Edit1->trigger();
        EXPECT_EQ(boxes_.back(), "Nothing selected for editing.");
        w->lstVTriggers->topLevelItem(0)->setSelected(true);
        w->lstVTriggers->topLevelItem(2)->setSelected(true);
        w->Edit1->trigger();
        EXPECT_EQ(boxes_.back(), "Cannot edit more than one item at a time.");
        // Delete takes every selected row.
        w->Remove1->trigger();
        ASSERT_EQ(w->lstVTriggers->topLevelItemCount(), 1);
        EXPECT_EQ(w->Lists().lstValue, std::vector<std::string>{"two"});
        // A double click edits; the dialog opens on the stored texts.
        WhenModal<cfgman::TfrmTrigger>([](cfgman::TfrmTrigger* t) {
            EXPECT_EQ(t->cmbHeader->currentText(), "From");
            EXPECT_EQ(t->cmbCondition->currentText(), "begins with");
            EXPECT_EQ(t->memoValue->toPlainText(), "two");
            t->cmbHeader->setCurrentIndex(5);
            t->memoValue->setPlainText("X-Mailer");
            t->btnOK->click();
        });
        QTreeWidgetItem* row = w->lstVTriggers->topLevelItem(0);
        row->setSelected(true);
        emit w->lstVTriggers->itemDoubleClicked(row, 0);
        EXPECT_EQ(Row(w->lstVTriggers, 0),
                  (QStringList{"<Any Header>", "begins with", "X-Mailer"}));
        w->lstVTriggers->topLevelItem(0)->setSelected(true);
        w->Remove1->trigger();
        EXPECT_EQ(w->btnAdd->text(), "&Add");
        AddTrigger(w, 3, 0, "boss@example.com");
    };
    steps.actions = [](cfgman::TfrmNewAgent* w) {
        AddAction(w->btnActionAdd, "Close Quelta", [](cfgman::TfrmAction*) {});
        AddAction(w->btnActionAdd, "Forward To",
                  [](cfgman::TfrmAction* d) { d->edtForward->setText("a@example.com"); });
        w->lstVActions->topLevelItem(0)->setSelected(true);
        w->MenuItem4->trigger();
        ASSERT_EQ(w->lstVActions->topLevelItemCount(), 1);
        EXPECT_EQ(w->Lists().lstActionParam1, std::vector<std::string>{"FORWARD TO"});
    };
    steps.name = [](cfgman::TfrmNewAgent* w) { Finish(w, "Boss"); };
    RunWizard(steps);
    main_->NewAgent1->trigger();
    const auto a = ReadAgentFile(agents_ + "Boss.agent");
    ASSERT_EQ(a.Triggers.size(), 1u);
    EXPECT_EQ(a.Triggers[0].Header, "Cc");
    ASSERT_EQ(a.Actions.size(), 1u);
    EXPECT_EQ(a.Actions[0].Param1, "a@example.com");
}

TEST_F(AgentWindowsTest, PropertiesShowTheAgentAndOkRewritesItWhole) {
    // Written by hand: the type in mixed case, three triggers, two actions.
    Spit(agents_ + "Orders.agent",
         "[MAIN]\nAgentType=Message\nAppVersion=0.9\nCreatedDateTime=1/2/99 3:04:05 AM\n"
         "ModifiedDateTime=1/2/99 3:04:05 AM\nTriggerCount=3\nActionCount=2\nOwnKey=kept?\n"
         "[HEADER]\nEntry1=SUBJECT\nEntry2=From\nEntry3=To\n"
         "[CONDITION]\nEntry1=Contains\nEntry2=doesn't contain\nEntry3=begins with\n"
         "[VALUE]\nEntry1=order\nEntry2=smith\nEntry3=sales\n"
         "[ACTIONPARAM1]\nEntry1=PLAY SOUND\nEntry2=LAUNCH PROGRAM\n"
         "[ACTIONPARAM2]\nEntry1=/s/ding.wav\nEntry2=/usr/bin/lpr\n"
         "[ACTIONPARAM3]\nEntry1=\nEntry2=HIDDEN\n");
    Start();
    SelectAgent("Orders");
    EXPECT_TRUE(main_->AgentsBar.Modify->isEnabled());
    EXPECT_TRUE(main_->mnuMainProperties->isEnabled());
    const std::string before = Slurp(agents_ + "Orders.agent");

    // Cancel writes nothing.
    WhenModal<cfgman::TfrmAgentProperties>([](cfgman::TfrmAgentProperties* p) {
        EXPECT_EQ(p->windowTitle(), "Agent Properties");
        EXPECT_TRUE(p->optCertain->isChecked());
        EXPECT_TRUE(p->lstVTriggers->isVisibleTo(p));
        ASSERT_EQ(p->lstVTriggers->topLevelItemCount(), 3);
        EXPECT_EQ(Row(p->lstVTriggers, 0), (QStringList{"SUBJECT", "Contains", "order"}));
        ASSERT_EQ(p->lstVActions->topLevelItemCount(), 2);
        EXPECT_EQ(Row(p->lstVActions, 1),
                  (QStringList{"LAUNCH PROGRAM", "/usr/bin/lpr", "HIDDEN"}));
        EXPECT_EQ(p->lstVActions->columnWidth(2), 0);
        p->btnCancel->click();
    });
    main_->mnuMainProperties->trigger();
    EXPECT_EQ(Slurp(agents_ + "Orders.agent"), before);

    // Down to one trigger, the first edited: it finds its entries whatever their case.
    WhenModal<cfgman::TfrmAgentProperties>([](cfgman::TfrmAgentProperties* p) {
        for (int row : {2, 1}) {
            p->lstVTriggers->setCurrentItem(p->lstVTriggers->topLevelItem(row));
            p->MenuItem4->trigger();
        }
        ASSERT_EQ(p->lstVTriggers->topLevelItemCount(), 1);
        EXPECT_EQ(p->Lists().lstValue, std::vector<std::string>{"order"});
        p->lstVTriggers->setCurrentItem(p->lstVTriggers->topLevelItem(0));
        WhenModal<cfgman::TfrmTrigger>([](cfgman::TfrmTrigger* t) {
            EXPECT_EQ(t->cmbHeader->currentText(), "Subject");
            EXPECT_EQ(t->cmbCondition->currentText(), "contains");
            t->memoValue->setPlainText("orders");
            t->btnOK->click();
        });
        p->MenuItem2->trigger();
        p->lstVActions->setCurrentItem(p->lstVActions->topLevelItem(0));
        p->Remove1->trigger();
        p->btnOK->click();
    });
    main_->popAgentsProperties->trigger();
    const auto a = ReadAgentFile(agents_ + "Orders.agent");
    EXPECT_EQ(a.AgentType, "MESSAGE");
    EXPECT_EQ(a.AppVersion, "1.018");
    EXPECT_EQ(a.CreatedDateTime, "1/2/99 3:04:05 AM");
    EXPECT_NE(a.ModifiedDateTime, "1/2/99 3:04:05 AM");
    ASSERT_EQ(a.TriggerCount, 1);
    EXPECT_EQ(a.Triggers[0].Header, "Subject");
    EXPECT_EQ(a.Triggers[0].Value, "orders");
    ASSERT_EQ(a.ActionCount, 1);
    EXPECT_EQ(a.Actions[0].Name, "LAUNCH PROGRAM");
    win::TIniFile ini(agents_ + "Orders.agent");
    EXPECT_FALSE(ini.ValueExists("HEADER", "Entry2"));
    EXPECT_FALSE(ini.ValueExists("ACTIONPARAM1", "Entry2"));
}

TEST_F(AgentWindowsTest, AnotherTypeOrNoFileOpensEmptyAndIsSavedAsAMessageAgent) {
    Spit(agents_ + "Timer.agent", "[MAIN]\nAgentType=INTERVAL\nTriggerCount=2\n");
    Start();
    SelectAgent("Timer");
    std::filesystem::remove(agents_ + "Timer.agent");
    Spit(agents_ + "Timer.agent", "[MAIN]\nAgentType=INTERVAL\nTriggerCount=2\n");
    WhenModal<cfgman::TfrmAgentProperties>([](cfgman::TfrmAgentProperties* p) {
        EXPECT_TRUE(p->optCertain->isChecked());
        EXPECT_EQ(p->lstVTriggers->topLevelItemCount(), 0);
        EXPECT_EQ(p->lstVActions->topLevelItemCount(), 0);
        p->optAll->click();
        EXPECT_FALSE(p->lstVTriggers->isVisibleTo(p));
        EXPECT_FALSE(p->btnAdd->isVisibleTo(p));
        WhenModal<cfgman::TfrmAction>([](cfgman::TfrmAction* d) {
            Choose(d, "Forward To");
            d->edtForward->setText("x@example.com");
            d->Button3->click();
        });
        p->btnActionAdd->click();
        EXPECT_EQ(p->btnActionAdd->text(), "&And");
        EXPECT_EQ(Row(p->lstVActions, 0), (QStringList{"Forward To", "x@example.com", ""}));
        p->btnOK->click();
    });
    emit main_->lstVAgents->itemDoubleClicked(Agent("Timer"), 0);
    auto a = ReadAgentFile(agents_ + "Timer.agent");
    EXPECT_EQ(a.AgentType, "MESSAGE");
    EXPECT_EQ(a.TriggerCount, 0);
    EXPECT_FALSE(a.CreatedDateTime.empty());
    ASSERT_EQ(a.Actions.size(), 1u);

    // The file gone meanwhile: a whole new agent under the name.
    std::filesystem::remove(agents_ + "Timer.agent");
    WhenModal<cfgman::TfrmAgentProperties>(
        [](cfgman::TfrmAgentProperties* p) { p->btnOK->click(); });
    main_->AgentsBar.Modify->trigger();
    a = ReadAgentFile(agents_ + "Timer.agent");
    EXPECT_EQ(a.AgentType, "MESSAGE");
    EXPECT_EQ(a.AppVersion, "1.018");
}

TEST_F(AgentWindowsTest, TheAgentsPageRenamesAndDeletesWithItsQuestions) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    Attach("T1", "A1", "Order");
    Spit(agents_ + "Order.agent", "[MAIN]\nAgentType=MESSAGE\n");
    Spit(agents_ + "b.agent", "");
    Spit(agents_ + "A.agent", "");
    Start();
    ASSERT_EQ(main_->lstVAgents->topLevelItemCount(), 3);
    EXPECT_EQ(main_->lstVAgents->topLevelItem(0)->text(0), "A");
    EXPECT_EQ(main_->lstVAgents->topLevelItem(1)->text(0), "b");
    EXPECT_FALSE(main_->AgentsBar.Delete->isEnabled());
    main_->pageControlMain->setCurrentWidget(main_->TSagents);
    QCoreApplication::processEvents();
    EXPECT_FALSE(main_->mnuMainDelete->isEnabled());
    SelectAgent("Order");
    EXPECT_TRUE(main_->mnuMainDelete->isEnabled());
    EXPECT_TRUE(main_->mnuRename->isEnabled());
    EXPECT_TRUE(main_->popAgentsDelete->isEnabled());
    // Back on the accounts page the menu follows the tree again.
    main_->pageControlMain->setCurrentWidget(main_->TSaccounts);
    QCoreApplication::processEvents();
    EXPECT_FALSE(main_->mnuMainProperties->isEnabled());
    SelectAgent("Order");

    // F2 opens the name for editing; the rename follows the rows too.
    main_->mnuRename->trigger();
    auto* editor = main_->lstVAgents->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "Order");
    EXPECT_EQ(editor->maxLength(), 99);
    editor->setText("Orders");
    Press(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_NE(Agent("Orders"), nullptr);
    EXPECT_EQ(Slurp(agents_ + "Orders.agent"), "[MAIN]\nAgentType=MESSAGE\n");
    EXPECT_FALSE(std::filesystem::exists(agents_ + "Order.agent"));
    EXPECT_EQ(Rows("Agents.dbf")[0].at("AGENT"), "Orders");
    EXPECT_EQ(TreeNode({0, 0, 0})->text(0), "Orders");

    main_->lstVAgentsEdited(Agent("Orders"), "b");
    EXPECT_EQ(boxes_.back(), "Unable to rename agent: an agent named b already exists.");
    EXPECT_NE(Agent("Orders"), nullptr);
    main_->lstVAgentsEdited(Agent("Orders"), "in/out");
    EXPECT_NE(Agent("Orders"), nullptr);
    EXPECT_NE(boxes_.back().find("cannot contain"), std::string::npos);
    std::filesystem::remove(agents_ + "A.agent");
    main_->lstVAgentsEdited(Agent("A"), "Z");
    EXPECT_EQ(boxes_.back(), "Unable to rename agent");
    EXPECT_NE(Agent("A"), nullptr);

    // Delete asks; No keeps, Yes takes the file and leaves the rows.
    SelectAgent("Orders");
    answers_ = {win::IDNO};
    main_->mnuMainDelete->trigger();
    EXPECT_EQ(boxes_.back(), "Are you sure you want to delete this agent?");
    EXPECT_EQ(captions_.back(), " Delete Confirmation");
    EXPECT_TRUE(std::filesystem::exists(agents_ + "Orders.agent"));
    answers_ = {win::IDYES};
    main_->AgentsBar.Delete->trigger();
    EXPECT_FALSE(std::filesystem::exists(agents_ + "Orders.agent"));
    EXPECT_EQ(Agent("Orders"), nullptr);
    EXPECT_EQ(Rows("Agents.dbf").size(), 1u);
    EXPECT_EQ(TreeNode({0, 0, 0})->text(0), "Orders");
}

TEST_F(AgentWindowsTest, AttachAddsARowAndANodeAndDetachAsksFirst) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    AddAccount("A2", "G1", "Support");
    Spit(agents_ + "Auto answer.agent", "");
    Spit(agents_ + "Forwarder.agent", "");
    Start();
    SelectNode({0, 1});
    EXPECT_TRUE(main_->mnuAttach->isEnabled());
    EXPECT_FALSE(main_->mnuDetach->isEnabled());
    // A new agent file since the list was filled is offered too.
    Spit(agents_ + "Late.agent", "");

    // Cancel attaches nothing; OK waits for a choice.
    WhenModal<cfgman::TfrmAgents>([](cfgman::TfrmAgents* d) {
        EXPECT_EQ(d->windowTitle(), "Attach Agent to Account");
        EXPECT_EQ(Texts(d->lstVAgents), (QStringList{"Auto answer", "Forwarder", "Late"}));
        EXPECT_FALSE(d->btnOK->isEnabled());
        d->Button2->click();
    });
    main_->mnuAttach->trigger();
    EXPECT_TRUE(Rows("Agents.dbf").empty());

    WhenModal<cfgman::TfrmAgents>([](cfgman::TfrmAgents* d) {
        d->lstVAgents->item(0)->setSelected(true);
        emit d->lstVAgents->itemDoubleClicked(d->lstVAgents->item(0));
    });
    main_->popAttach->trigger();
    auto rows = Rows("Agents.dbf");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("LINK_ID"), "A2");
    EXPECT_EQ(rows[0].at("AGENT"), "Auto answer");
    EXPECT_EQ(rows[0].at("UNIQUE_ID").size(), 20u);
    EXPECT_EQ(rows[0].at("UNIQUE_ID").substr(14), "Auto a");
    QTreeWidgetItem* node = TreeNode({0, 1, 0});
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->text(0), "Auto answer");
    EXPECT_EQ(cfgman::TfrmMain::NodeImage(node), 2);
    EXPECT_EQ(cfgman::TfrmMain::NodeRecNo(node), 1);
    EXPECT_TRUE(TreeNode({0, 1})->isExpanded());

    // The same agent again is a second attachment with its own key.
    WhenModal<cfgman::TfrmAgents>([](cfgman::TfrmAgents* d) {
        d->lstVAgents->item(0)->setSelected(true);
        d->btnOK->click();
    });
    main_->mnuAttach->trigger();
    rows = Rows("Agents.dbf");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[0].at("UNIQUE_ID"), rows[1].at("UNIQUE_ID"));

    // Detach: No changes nothing; Yes takes the selected attachment.
    SelectNode({0, 1, 1});
    EXPECT_TRUE(main_->mnuDetach->isEnabled());
    answers_ = {win::IDNO};
    main_->mnuDetach->trigger();
    EXPECT_EQ(boxes_.back(), "Are you sure you want to detach this agent?");
    EXPECT_EQ(captions_.back(), "Removal Confirmation");
    EXPECT_EQ(Rows("Agents.dbf").size(), 2u);
    EXPECT_EQ(TreeNode({0, 1})->childCount(), 2);
    answers_ = {win::IDYES};
    main_->popDetach->trigger();
    rows = Rows("Agents.dbf");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(TreeNode({0, 1})->childCount(), 1);
}

TEST_F(AgentWindowsTest, TheAccountPropertiesAttachAndDetachThroughTheSameCommands) {
    AddGroup("G1", "Sales");
    AddAccount("A1", "G1", "Orders");
    AddAccount("A2", "G1", "Support");
    Attach("T1", "A1", "Forwarder");
    Spit(agents_ + "Forwarder.agent", "");
    Spit(agents_ + "Reply.agent", "");
    Start();
    SelectNode({0, 1});
    WhenModal<cfgman::TfrmModify>([this](cfgman::TfrmModify* p) {
        EXPECT_TRUE(p->btnAttachAgent->isEnabled());
        EXPECT_TRUE(p->btnDetatchAgent->isEnabled());
        WhenModal<cfgman::TfrmAgents>([](cfgman::TfrmAgents* d) {
            d->lstVAgents->item(1)->setSelected(true);
            d->btnOK->click();
        });
        p->btnAttachAgent->click();
        ASSERT_EQ(p->lstVAttachedAgents->topLevelItemCount(), 1);
        EXPECT_EQ(p->lstVAttachedAgents->topLevelItem(0)->text(0), "Reply");
        // The tree's selection is the account, not an agent: detach still
        // takes the agent chosen here.
        p->lstVAttachedAgents->setCurrentItem(p->lstVAttachedAgents->topLevelItem(0));
        answers_ = {win::IDYES};
        p->btnDetatchAgent->click();
        EXPECT_EQ(boxes_.back(), "Are you sure you want to detach this agent?");
        EXPECT_EQ(p->lstVAttachedAgents->topLevelItemCount(), 0);
        p->reject();
    });
    main_->popProperties->trigger();
    const auto rows = Rows("Agents.dbf");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("UNIQUE_ID"), "T1");
}

} // namespace
} // namespace cfgtest
