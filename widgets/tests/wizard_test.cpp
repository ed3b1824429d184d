// The wizard's page sequence, its buttons and keys, and its events.
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/hooks.h"
#include "widgets/tests/helpers.h"
#include "widgets/wizard.h"

namespace widgets {
namespace {

using test::Grab;
using test::Q;

void Key(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

std::string Caption(const QPushButton* button) {
    return button->text().toStdString();
}

// A wizard of 400 x 300 with pages A, B and C, A shown.
struct ThreePages : ::testing::Test {
    void SetUp() override {
        wizard.resize(400, 300);
        a = new TEPWizardPage(&wizard);
        b = new TEPWizardPage(&wizard);
        c = new TEPWizardPage(&wizard);
        wizard.SetActivePage(a);
        wizard.show();
    }
    TEPWizard wizard;
    TEPWizardPage *a = nullptr, *b = nullptr, *c = nullptr;
};

TEST(Wizard, ButtonsTheirTextsAndPlaces) {
    TEPWizard wizard;
    wizard.resize(400, 300);
    wizard.show();
    EXPECT_EQ(Caption(wizard.HelpButton()), "&Help");
    EXPECT_EQ(Caption(wizard.BackButton()), "< &Back");
    EXPECT_EQ(Caption(wizard.CancelButton()), "Cancel");
    // No page yet: nothing to step to.
    EXPECT_EQ(Caption(wizard.NextButton()), "&Finish");
    EXPECT_FALSE(wizard.NextButton()->isEnabled());
    EXPECT_FALSE(wizard.BackButton()->isEnabled());
    EXPECT_TRUE(wizard.NextButton()->isDefault());
    EXPECT_EQ(LoadWizardString(sWizardAddPagesHint), "Use the right mouse button to add pages.");

    // Help hidden, Cancel shown at first.
    EXPECT_EQ(wizard.Buttons(), TEPWizardButtons(TEPWizardButton::epwbCancel));
    EXPECT_TRUE(wizard.HelpButton()->isHidden());
    EXPECT_FALSE(wizard.CancelButton()->isHidden());
    EXPECT_EQ(wizard.Panel()->geometry(), QRect(0, 258, 400, 42));
    // From the right: Cancel, a gap of 8, Next and Back touching.
    EXPECT_EQ(wizard.CancelButton()->geometry(), QRect(317, 10, 75, 25));
    EXPECT_EQ(wizard.NextButton()->geometry(), QRect(234, 10, 75, 25));
    EXPECT_EQ(wizard.BackButton()->geometry(), QRect(159, 10, 75, 25));

    wizard.SetButtons(TEPWizardButton::epwbHelp | TEPWizardButton::epwbCancel);
    EXPECT_FALSE(wizard.HelpButton()->isHidden());
    EXPECT_EQ(wizard.HelpButton()->geometry(), QRect(76, 10, 75, 25));

    // Neither: Back and Next keep their places at the right.
    wizard.SetButtons({});
    EXPECT_TRUE(wizard.HelpButton()->isHidden());
    EXPECT_TRUE(wizard.CancelButton()->isHidden());
    EXPECT_EQ(wizard.NextButton()->geometry(), QRect(317, 10, 75, 25));
    EXPECT_EQ(wizard.BackButton()->geometry(), QRect(242, 10, 75, 25));

    // Tab order Help, Back, Next, Cancel.
    EXPECT_EQ(wizard.HelpButton()->nextInFocusChain(), wizard.BackButton());
    EXPECT_EQ(wizard.BackButton()->nextInFocusChain(), wizard.NextButton());
    EXPECT_EQ(wizard.NextButton()->nextInFocusChain(), wizard.CancelButton());

    // The etched line along the top, 8 pixels in from either side.
    const QImage bar = Grab(*wizard.Panel());
    EXPECT_EQ(bar.pixelColor(8, 0), Q(clBtnShadow));
    EXPECT_EQ(bar.pixelColor(391, 0), Q(clBtnShadow));
    EXPECT_EQ(bar.pixelColor(7, 0), Q(clWindow));
    EXPECT_EQ(bar.pixelColor(392, 0), Q(clWindow));
    EXPECT_EQ(bar.pixelColor(200, 1), Q(clBtnHighlight));
    EXPECT_EQ(bar.pixelColor(200, 2), Q(clWindow));
}

TEST_F(ThreePages, ExcludedPagesAreSkipped) {
    EXPECT_EQ(wizard.PageCount(), 3);
    EXPECT_EQ(c->PageIndex(), 2);
    EXPECT_TRUE(a->isVisibleTo(&wizard));
    EXPECT_FALSE(b->isVisibleTo(&wizard));
    EXPECT_EQ(a->geometry(), QRect(0, 0, 400, 258));

    b->SetInclude(false);
    EXPECT_EQ(Caption(wizard.NextButton()), "Next >");
    EXPECT_FALSE(wizard.BackButton()->isEnabled());
    wizard.NextClick();
    EXPECT_EQ(wizard.ActivePage(), c);
    EXPECT_FALSE(a->isVisibleTo(&wizard));
    EXPECT_EQ(Caption(wizard.NextButton()), "&Finish");
    EXPECT_TRUE(wizard.BackButton()->isEnabled());
    wizard.BackClick();
    EXPECT_EQ(wizard.ActivePage(), a);

    // The only included page after A leaves: Finish at once.
    c->SetInclude(false);
    EXPECT_EQ(Caption(wizard.NextButton()), "&Finish");
    c->SetInclude(true);
    EXPECT_EQ(Caption(wizard.NextButton()), "Next >");

    // A new order: C, A, B.
    c->SetPageIndex(0);
    EXPECT_EQ(wizard.Pages(0), c);
    EXPECT_EQ(wizard.Pages(1), a);
    EXPECT_TRUE(wizard.BackButton()->isEnabled());
    a->SetPageIndex(7);
    EXPECT_EQ(a->PageIndex(), 1);
    EXPECT_EQ(wizard.FindNextPage(c, true, false), a);
    EXPECT_EQ(wizard.FindNextPage(a, true, true), nullptr);
    EXPECT_EQ(wizard.FindNextPage(a, true, false), b);
    EXPECT_EQ(wizard.FindNextPage(nullptr, true, false), nullptr);
}

TEST_F(ThreePages, ExcludingTheActivePageMovesOn) {
    wizard.NextClick();
    ASSERT_EQ(wizard.ActivePage(), b);
    b->SetInclude(false);
    EXPECT_EQ(wizard.ActivePage(), c);
    EXPECT_TRUE(c->isVisibleTo(&wizard));
    // No included page after it: the one before.
    c->SetInclude(false);
    EXPECT_EQ(wizard.ActivePage(), a);

    TEPWizard single;
    auto* only = new TEPWizardPage(&single);
    only->SetInclude(false);
    EXPECT_EQ(single.ActivePage(), nullptr);
    EXPECT_FALSE(single.NextButton()->isEnabled());
}

TEST_F(ThreePages, RemovedPagesHandTheActivePageOn) {
    // Not the active page, yet the active page moves to its neighbour.
    wizard.RemovePage(b);
    EXPECT_EQ(wizard.ActivePage(), c);
    EXPECT_EQ(b->Wizard(), nullptr);
    EXPECT_EQ(b->PageIndex(), -1);
    EXPECT_EQ(wizard.PageCount(), 2);
    EXPECT_TRUE(wizard.BackButton()->isEnabled());
    // A page of no wizard cannot be shown by this one.
    wizard.SetActivePage(b);
    EXPECT_EQ(wizard.ActivePage(), c);
    delete b;

    // The last one goes: the one before takes over, and Back has nothing.
    delete c;
    EXPECT_EQ(wizard.ActivePage(), a);
    EXPECT_EQ(wizard.PageCount(), 1);
    EXPECT_FALSE(wizard.BackButton()->isEnabled());
    EXPECT_EQ(Caption(wizard.NextButton()), "&Finish");

    // Taken away by its parent: no longer a page of the wizard.
    QWidget elsewhere;
    a->setParent(&elsewhere);
    EXPECT_EQ(wizard.PageCount(), 0);
    EXPECT_EQ(wizard.ActivePage(), nullptr);
    delete a;
}

TEST_F(ThreePages, DoneQueryHoldsNextBackAndEnterDoesNothing) {
    bool complete = false;
    a->OnDoneQuery = [&](QObject* sender, bool& done) {
        EXPECT_EQ(sender, a);
        done = complete;
    };
    auto* edit = new QLineEdit(a);
    wizard.UpdateNextButton();
    EXPECT_FALSE(wizard.NextButton()->isEnabled());
    Key(edit, Qt::Key_Return);
    EXPECT_EQ(wizard.ActivePage(), a);
    wizard.NextClick();
    EXPECT_EQ(wizard.ActivePage(), a);

    complete = true;
    wizard.UpdateNextButton();
    EXPECT_TRUE(wizard.NextButton()->isEnabled());
    // The line edit passes Enter on: the default button takes it.
    Key(edit, Qt::Key_Return);
    EXPECT_EQ(wizard.ActivePage(), b);
    Key(&wizard, Qt::Key_Enter);
    EXPECT_EQ(wizard.ActivePage(), c);

    int finished = 0;
    wizard.OnFinishClick = [&](QObject* sender) {
        EXPECT_EQ(sender, &wizard);
        ++finished;
    };
    Key(c, Qt::Key_Return);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(wizard.ActivePage(), c);
}

TEST_F(ThreePages, ChangeEventsAndPageVisibility) {
    std::vector<std::string> log;
    const auto name = [&](QObject* page) {
        return page == a ? "A" : page == b ? "B" : page == c ? "C" : "-";
    };
    wizard.OnChanging = [&](QObject*) {
        log.push_back(std::string("changing ") + name(wizard.ActivePage()));
    };
    wizard.OnChange = [&](QObject*) {
        log.push_back(std::string("change ") + name(wizard.ActivePage()));
    };
    // Two controls on A.
    auto* first = new QLineEdit(a);
    first->show();
    (new QLineEdit(a))->show();
    for (TEPWizardPage* page : {a, b, c}) {
        page->OnShow = [&](QObject* p) { log.push_back(std::string("show ") + name(p)); };
        page->OnHide = [&](QObject* p) { log.push_back(std::string("hide ") + name(p)); };
    }
    wizard.hide();
    EXPECT_EQ(log, (std::vector<std::string>{"hide A"}));
    log.clear();
    wizard.show();
    EXPECT_EQ(log, (std::vector<std::string>{"show A"}));
    log.clear();

    wizard.NextClick();
    EXPECT_EQ(log, (std::vector<std::string>{"changing A", "show B", "hide A", "change B"}));
    log.clear();
    wizard.SetActivePage(b);
    EXPECT_TRUE(log.empty());

    // A request to show a page shows it; other controls are not pages.
    wizard.ShowControl(c);
    EXPECT_EQ(wizard.ActivePage(), c);
    QLineEdit stranger;
    wizard.ShowControl(&stranger);
    EXPECT_EQ(wizard.ActivePage(), c);

    // Showing a page focuses its first control in tab order.
    wizard.SetActivePage(a);
    EXPECT_EQ(a->focusWidget(), first);
    // The handlers see log and name, gone before the wizard is: its
    // destruction must not call them.
}

TEST_F(ThreePages, DisablingTheWizardDisablesItsButtons) {
    wizard.SetButtons(TEPWizardButton::epwbHelp | TEPWizardButton::epwbCancel);
    wizard.NextClick();
    wizard.setEnabled(false);
    for (QPushButton* button :
         {wizard.HelpButton(), wizard.BackButton(), wizard.NextButton(), wizard.CancelButton()})
        EXPECT_FALSE(button->isEnabled()) << Caption(button);
    wizard.setEnabled(true);
    for (QPushButton* button :
         {wizard.HelpButton(), wizard.BackButton(), wizard.NextButton(), wizard.CancelButton()})
        EXPECT_TRUE(button->isEnabled()) << Caption(button);
    // Back follows the pages again once enabled.
    wizard.BackClick();
    wizard.setEnabled(false);
    wizard.setEnabled(true);
    EXPECT_FALSE(wizard.BackButton()->isEnabled());
}

TEST(Wizard, LoadingStartsOnTheFirstPage) {
    TEPWizard wizard;
    wizard.BeginLoad();
    auto* one = new TEPWizardPage(&wizard);
    auto* two = new TEPWizardPage(&wizard);
    EXPECT_EQ(wizard.ActivePage(), nullptr);
    wizard.SetFirstPage(two);
    EXPECT_EQ(wizard.ActivePage(), two);
    wizard.EndLoad();
    EXPECT_TRUE(wizard.BackButton()->isEnabled());
    // After loading the first page is only remembered.
    wizard.SetFirstPage(one);
    EXPECT_EQ(wizard.FirstPage(), one);
    EXPECT_EQ(wizard.ActivePage(), two);
    // Out of loading, an added page is shown at once.
    auto* three = new TEPWizardPage;
    three->SetWizard(&wizard);
    EXPECT_EQ(three->parentWidget(), &wizard);
    EXPECT_EQ(wizard.ActivePage(), three);
    delete one;
    EXPECT_EQ(wizard.FirstPage(), nullptr);
}

TEST(Wizard, EscapeCancelsAModalDialog) {
    QDialog dialog;
    auto* wizard = new TEPWizard(&dialog);
    (new QVBoxLayout(&dialog))->addWidget(wizard);
    auto* page = new TEPWizardPage(wizard);
    auto* edit = new QLineEdit(page);
    std::vector<QObject*> cancels;
    wizard->OnCancelClick = [&](QObject* sender) { cancels.push_back(sender); };

    // Not modal: the handler runs, the window stays.
    dialog.show();
    Key(edit, Qt::Key_Escape);
    EXPECT_EQ(cancels, std::vector<QObject*>{wizard->CancelButton()});
    EXPECT_TRUE(dialog.isVisible());
    dialog.hide();

    dialog.open();
    Key(edit, Qt::Key_Escape);
    EXPECT_EQ(cancels.size(), 2u);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), mrCancel);

    // Without a Cancel button Escape does not close it either.
    wizard->SetButtons({});
    dialog.open();
    Key(edit, Qt::Key_Escape);
    EXPECT_EQ(cancels.size(), 2u);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(ThreePages, HelpAsksForTheNearestHelpContext) {
    std::vector<std::string> asked;
    win::SetHelpHook([&](const std::string& file, unsigned command, unsigned long data) {
        asked.push_back(file + " " + std::to_string(command) + " " + std::to_string(data));
    });
    SetApplicationHelpFile("QUELTAM.HLP");
    wizard.HelpClick();
    EXPECT_TRUE(asked.empty());
    SetHelpContext(&wizard, 40);
    wizard.HelpClick();
    SetHelpContext(a, 12);
    wizard.HelpClick();
    win::SetHelpHook(nullptr);
    SetApplicationHelpFile("");
    EXPECT_EQ(asked, (std::vector<std::string>{"QUELTAM.HLP 1 40", "QUELTAM.HLP 1 12"}));
}

} // namespace
} // namespace widgets
