#pragma once
// A wizard: a stack of pages of which one is shown, above a button bar with
// Help, Back, Next (Finish on the last included page) and Cancel. Pages can
// be left out of the sequence, and a page can refuse the step until its
// input is complete.
#include <QFlags>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "widgets/colors.h"

class QPushButton;

namespace widgets {

class TEPWizard;

// The program's string table as far as the wizard uses it.
enum : int {
    sWizardHelp = 1,
    sWizardBack = 2,
    sWizardNext = 3,
    sWizardFinish = 4,
    sWizardCancel = 5,
    sWizardAddPagesHint = 7,
};
// The text of an id; empty for an unknown one.
[[nodiscard]] std::string LoadWizardString(int id);

// A control's help context, 0 for none, kept in its "HelpContext" property;
// Help asks the program's help file (through win::WinHelp) for it.
[[nodiscard]] int HelpContext(const QWidget* control);
void SetHelpContext(QWidget* control, int context);
[[nodiscard]] const std::string& ApplicationHelpFile();
void SetApplicationHelpFile(const std::string& file);

// The standard dialog result of Cancel.
constexpr int mrCancel = 2;

class TEPWizardPage : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;
    using TEPWizardDoneQueryEvent = std::function<void(QObject* sender, bool& done)>;

    // Hidden until its wizard shows it; a wizard as the parent takes the
    // page in (and shows it unless the wizard is being loaded).
    explicit TEPWizardPage(QWidget* parent = nullptr);
    ~TEPWizardPage() override;

    // An excluded page is skipped by Back and Next and does not count for
    // the Finish caption.
    [[nodiscard]] bool Include() const { return include_; }
    void SetInclude(bool value);
    // Position in the wizard's page list, -1 without a wizard; setting it
    // moves the page within the list (an index outside it changes nothing).
    [[nodiscard]] int PageIndex() const;
    void SetPageIndex(int index);
    [[nodiscard]] TEPWizard* Wizard() const { return wizard_; }
    void SetWizard(TEPWizard* wizard);
    [[nodiscard]] TColor Color() const { return color_; }
    void SetColor(TColor color);

    // True unless OnDoneQuery says the page is not complete.
    virtual bool DoneQuery();

    TEPWizardDoneQueryEvent OnDoneQuery;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    friend class TEPWizard;

    bool include_ = true;
    TEPWizard* wizard_ = nullptr;
    TColor color_ = clWindow;
    const QMetaObject* shownIn_ = nullptr; // the window's class when last shown
};

// The button bar: its visible buttons from the right in creation order
// (Cancel, Next, Back, Help), each followed by a gap of its tag, under an
// etched line.
class TEPWizardPanel : public QWidget {
    Q_OBJECT
public:
    explicit TEPWizardPanel(TEPWizard* wizard);

    void AlignControls();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TEPWizard;

    struct Button {
        QPushButton* button;
        int tag;
    };
    QPushButton* MakeButton(const std::string& caption);

    std::vector<Button> buttons_;
};

enum class TEPWizardButton { epwbHelp = 0x1, epwbCancel = 0x2 };
using TEPWizardButtons = QFlags<TEPWizardButton>;
Q_DECLARE_OPERATORS_FOR_FLAGS(TEPWizardButtons)

class TEPWizard : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TEPWizard(QWidget* parent = nullptr);
    ~TEPWizard() override;

    [[nodiscard]] TEPWizardPage* ActivePage() const { return activePage_; }
    // Shows the page and hides the one before; nothing for a page of
    // another wizard. Fires OnChanging (which cannot refuse) and OnChange.
    void SetActivePage(TEPWizardPage* page);
    [[nodiscard]] TEPWizardPage* FirstPage() const { return firstPage_; }
    // While the wizard is being loaded it also becomes the active page.
    void SetFirstPage(TEPWizardPage* page);
    // Help and Cancel; Back and Next are always there.
    [[nodiscard]] TEPWizardButtons Buttons() const { return buttons_; }
    void SetButtons(TEPWizardButtons buttons);
    [[nodiscard]] TColor Color() const { return color_; }
    void SetColor(TColor color);

    // Between these, as while a form is read, pages join without becoming
    // active and FirstPage decides the starting page.
    void BeginLoad() { loading_ = true; }
    void EndLoad();
    [[nodiscard]] bool Loading() const { return loading_; }

    // The page list, in sequence order.
    [[nodiscard]] int PageCount() const { return static_cast<int>(pages_.size()); }
    [[nodiscard]] TEPWizardPage* Pages(int index) const;
    void AddPage(TEPWizardPage* page) { page->SetWizard(this); }
    void RemovePage(TEPWizardPage* page);
    // Indexes outside the list change nothing.
    void MovePage(int from, int to);

    // The page after (or before) the given one, only included ones if asked;
    // nullptr when there is none or the page is not in the list.
    [[nodiscard]] TEPWizardPage* FindNextPage(TEPWizardPage* page, bool forward,
                                              bool includedOnly) const;
    // Back's and Next's enabled state and Next's caption.
    void UpdateButtons();
    // Next's enabled state alone: pages call it after each edit that can
    // complete them.
    void UpdateNextButton();
    void BackClick();
    // Steps to the next included page, or fires OnFinishClick on the last;
    // nothing while the active page's DoneQuery refuses.
    void NextClick();
    void HelpClick();
    // A request to show a control: one of this wizard's pages becomes active.
    void ShowControl(QWidget* control);

    [[nodiscard]] TEPWizardPanel* Panel() const { return panel_; }
    [[nodiscard]] QPushButton* HelpButton() const { return help_; }
    [[nodiscard]] QPushButton* BackButton() const { return back_; }
    [[nodiscard]] QPushButton* NextButton() const { return next_; }
    [[nodiscard]] QPushButton* CancelButton() const { return cancel_; }

    // Cancel's own click event (sender: the Cancel button). After it a modal
    // dialog that is still open closes with mrCancel.
    TNotifyEvent OnCancelClick;
    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;
    TNotifyEvent OnFinishClick;

protected:
    virtual void Changing();
    virtual void Change();

    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TEPWizardPage;

    void InsertPage(TEPWizardPage* page);
    void ErasePage(TEPWizardPage* page);
    void IncludeChanged(TEPWizardPage* page);
    void CancelClick();
    void LayoutPages();
    [[nodiscard]] QRect PageRect() const;
    [[nodiscard]] bool NextAllowed() const;

    TEPWizardPage* activePage_ = nullptr;
    TEPWizardPage* firstPage_ = nullptr;
    TEPWizardButtons buttons_;
    std::vector<TEPWizardPage*> pages_;
    TEPWizardPanel* panel_ = nullptr;
    QPushButton* help_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;
    TColor color_ = clWindow;
    bool loading_ = false;
};

} // namespace widgets
