#include "widgets/wizard.h"

#include <QDialog>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <algorithm>

#include "platform/win/hooks.h"
#include "widgets/gfxcontrols.h"

namespace widgets {

namespace {

// WinHelp's command for a help context number.
constexpr unsigned kHelpContext = 1;
constexpr char kHelpContextProperty[] = "HelpContext";

void FillWith(QWidget* widget, TColor color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ToQColor(color));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// The first control of the page that takes the focus by tab, in tab order.
void FocusFirstControl(QWidget* page) {
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
            w->isVisibleTo(page)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

std::string& HelpFile() {
    static std::string file;
    return file;
}

} // namespace

std::string LoadWizardString(int id) {
    switch (id) {
    case sWizardHelp:
        return "&Help";
    case sWizardBack:
        return "< &Back";
    case sWizardNext:
        return "Next >";
    case sWizardFinish:
        return "&Finish";
    case sWizardCancel:
        return "Cancel";
    case sWizardAddPagesHint:
        return "Use the right mouse button to add pages.";
    default:
        return {};
    }
}

int HelpContext(const QWidget* control) {
    return control ? control->property(kHelpContextProperty).toInt() : 0;
}

void SetHelpContext(QWidget* control, int context) {
    control->setProperty(kHelpContextProperty, context);
}

const std::string& ApplicationHelpFile() {
    return HelpFile();
}

void SetApplicationHelpFile(const std::string& file) {
    HelpFile() = file;
}

// ---- TEPWizardPage --------------------------------------------------------

TEPWizardPage::TEPWizardPage(QWidget* parent) : QWidget(parent) {
    FillWith(this, color_);
    hide();
    if (auto* wizard = qobject_cast<TEPWizard*>(parent))
        wizard->InsertPage(this);
}

TEPWizardPage::~TEPWizardPage() {
    if (wizard_)
        wizard_->ErasePage(this);
}

void TEPWizardPage::SetInclude(bool value) {
    if (value == include_)
        return;
    include_ = value;
    if (wizard_)
        wizard_->IncludeChanged(this);
}

int TEPWizardPage::PageIndex() const {
    if (!wizard_)
        return -1;
    const auto& pages = wizard_->pages_;
    const auto it = std::find(pages.begin(), pages.end(), this);
    return it == pages.end() ? -1 : static_cast<int>(it - pages.begin());
}

void TEPWizardPage::SetPageIndex(int index) {
    if (wizard_)
        wizard_->MovePage(PageIndex(), index);
}

void TEPWizardPage::SetWizard(TEPWizard* wizard) {
    if (wizard == wizard_)
        return;
    if (wizard_)
        wizard_->ErasePage(this);
    if (wizard)
        wizard->InsertPage(this);
}

void TEPWizardPage::SetColor(TColor color) {
    color_ = color;
    FillWith(this, color);
}

bool TEPWizardPage::DoneQuery() {
    bool done = true;
    if (OnDoneQuery)
        OnDoneQuery(this, done);
    return done;
}

bool TEPWizardPage::event(QEvent* event) {
    // Moved elsewhere by its parent: no longer one of the wizard's pages.
    if (event->type() == QEvent::ParentChange && wizard_ && parentWidget() != wizard_)
        SetWizard(nullptr);
    return QWidget::event(event);
}

// Only showing within the program counts, not a minimised window.
void TEPWizardPage::showEvent(QShowEvent* event) {
    shownIn_ = window()->metaObject();
    if (!event->spontaneous() && OnShow)
        OnShow(this);
    QWidget::showEvent(event);
}

// A window being destroyed hides its children after its own class is gone
// (it is a plain QWidget by then): the handlers, which belong to that
// window, must not run.
void TEPWizardPage::hideEvent(QHideEvent* event) {
    if (!event->spontaneous() && OnHide && window()->metaObject() == shownIn_)
        OnHide(this);
    QWidget::hideEvent(event);
}

// ---- TEPWizardPanel -------------------------------------------------------

TEPWizardPanel::TEPWizardPanel(TEPWizard* wizard) : QWidget(wizard) {
    setAutoFillBackground(true);
}

QPushButton* TEPWizardPanel::MakeButton(const std::string& caption) {
    auto* button = new QPushButton(QString::fromStdString(caption), this);
    button->resize(75, 25);
    return button;
}

void TEPWizardPanel::AlignControls() {
    // The client rectangle less 10 at the top, 8 at the right, 7 at the bottom.
    int right = width() - 8;
    const int top = 10, bottom = height() - 7;
    for (const Button& b : buttons_) {
        if (b.button->isHidden())
            continue;
        const int w = b.button->width();
        b.button->setGeometry(right - w, top, w, std::max(bottom - top, 0));
        right -= w + b.tag;
    }
}

void TEPWizardPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawEdge(painter, Rect(8, 0, width() - 8, height()), EDGE_ETCHED, BF_TOP);
}

void TEPWizardPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    AlignControls();
}

// ---- TEPWizard ------------------------------------------------------------

TEPWizard::TEPWizard(QWidget* parent) : QWidget(parent) {
    FillWith(this, color_);
    panel_ = new TEPWizardPanel(this);
    // Made in tab order (Help, Back, Next, Cancel); the bar lays them out
    // from the right as Cancel, Next, Back, Help.
    help_ = panel_->MakeButton(LoadWizardString(sWizardHelp));
    back_ = panel_->MakeButton(LoadWizardString(sWizardBack));
    next_ = panel_->MakeButton(LoadWizardString(sWizardNext));
    cancel_ = panel_->MakeButton(LoadWizardString(sWizardCancel));
    panel_->buttons_ = {{cancel_, 8}, {next_, 0}, {back_, 8}, {help_, 0}};
    next_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, [this] { CancelClick(); });
    connect(next_, &QPushButton::clicked, this, [this] { NextClick(); });
    connect(back_, &QPushButton::clicked, this, [this] { BackClick(); });
    connect(help_, &QPushButton::clicked, this, [this] { HelpClick(); });
    panel_->resize(width(), next_->height() + 17);
    SetButtons(TEPWizardButton::epwbCancel);
    UpdateButtons();
}

TEPWizard::~TEPWizard() {
    // The pages die with us as our children; they must not call back.
    for (TEPWizardPage* page : pages_)
        page->wizard_ = nullptr;
    pages_.clear();
    activePage_ = firstPage_ = nullptr;
}

void TEPWizard::SetActivePage(TEPWizardPage* page) {
    if (page == activePage_ || (page && page->wizard_ != this))
        return;
    Changing();
    TEPWizardPage* previous = activePage_;
    if (page) {
        page->setGeometry(PageRect());
        page->raise();
        page->show();
        if (page->isEnabled())
            FocusFirstControl(page);
    }
    if (previous)
        previous->hide();
    activePage_ = page;
    UpdateButtons();
    Change();
}

void TEPWizard::SetFirstPage(TEPWizardPage* page) {
    if (page == firstPage_)
        return;
    firstPage_ = page;
    if (loading_)
        SetActivePage(page);
}

void TEPWizard::SetButtons(TEPWizardButtons buttons) {
    if (buttons == buttons_)
        return;
    help_->setVisible(buttons.testFlag(TEPWizardButton::epwbHelp));
    cancel_->setVisible(buttons.testFlag(TEPWizardButton::epwbCancel));
    buttons_ = buttons;
    panel_->AlignControls();
}

void TEPWizard::SetColor(TColor color) {
    color_ = color;
    FillWith(this, color);
}

void TEPWizard::EndLoad() {
    loading_ = false;
    UpdateButtons();
}

TEPWizardPage* TEPWizard::Pages(int index) const {
    if (index < 0 || index >= PageCount())
        return nullptr;
    return pages_[static_cast<std::size_t>(index)];
}

void TEPWizard::RemovePage(TEPWizardPage* page) {
    if (page && page->wizard_ == this)
        page->SetWizard(nullptr);
}

void TEPWizard::MovePage(int from, int to) {
    if (from < 0 || from >= PageCount() || to < 0 || to >= PageCount() || from == to)
        return;
    const auto first = pages_.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
    UpdateButtons();
}

TEPWizardPage* TEPWizard::FindNextPage(TEPWizardPage* page, bool forward, bool includedOnly) const {
    const auto it = std::find(pages_.begin(), pages_.end(), page);
    if (!page || it == pages_.end())
        return nullptr;
    const int count = PageCount();
    const int step = forward ? 1 : -1;
    for (int i = static_cast<int>(it - pages_.begin()) + step; i >= 0 && i < count; i += step) {
        TEPWizardPage* candidate = pages_[static_cast<std::size_t>(i)];
        if (!includedOnly || candidate->Include())
            return candidate;
    }
    return nullptr;
}

bool TEPWizard::NextAllowed() const {
    return isEnabled() && activePage_ && activePage_->DoneQuery();
}

void TEPWizard::UpdateButtons() {
    back_->setEnabled(isEnabled() && FindNextPage(activePage_, false, true));
    UpdateNextButton();
    next_->setText(QString::fromStdString(
        LoadWizardString(FindNextPage(activePage_, true, true) ? sWizardNext : sWizardFinish)));
}

void TEPWizard::UpdateNextButton() {
    next_->setEnabled(NextAllowed());
}

void TEPWizard::BackClick() {
    if (TEPWizardPage* page = FindNextPage(activePage_, false, true))
        SetActivePage(page);
}

void TEPWizard::NextClick() {
    if (!activePage_ || !activePage_->DoneQuery())
        return;
    if (TEPWizardPage* page = FindNextPage(activePage_, true, true))
        SetActivePage(page);
    else if (OnFinishClick)
        OnFinishClick(this);
}

void TEPWizard::HelpClick() {
    for (QWidget* w = activePage_; w; w = w->parentWidget())
        if (const int context = HelpContext(w)) {
            win::WinHelp(ApplicationHelpFile(), kHelpContext, static_cast<unsigned long>(context));
            return;
        }
}

void TEPWizard::ShowControl(QWidget* control) {
    if (auto* page = qobject_cast<TEPWizardPage*>(control); page && page->wizard_ == this)
        SetActivePage(page);
}

void TEPWizard::CancelClick() {
    const QPointer<TEPWizard> self(this);
    if (OnCancelClick)
        OnCancelClick(cancel_);
    if (!self)
        return;
    auto* dialog = qobject_cast<QDialog*>(window());
    if (dialog && dialog->isModal() && dialog->isVisible())
        dialog->done(mrCancel);
}

void TEPWizard::Changing() {
    if (OnChanging)
        OnChanging(this);
}

void TEPWizard::Change() {
    if (OnChange)
        OnChange(this);
}

void TEPWizard::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::EnabledChange)
        return;
    const bool enabled = isEnabled();
    help_->setEnabled(enabled);
    cancel_->setEnabled(enabled);
    next_->setEnabled(enabled && NextAllowed());
    back_->setEnabled(enabled && FindNextPage(activePage_, false, true));
}

// Enter presses Next, Escape presses Cancel, as a dialog's default and
// cancel buttons; keys a control of the page uses do not come here.
void TEPWizard::keyPressEvent(QKeyEvent* event) {
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        QPushButton* button = nullptr;
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
            button = next_;
        else if (event->key() == Qt::Key_Escape)
            button = cancel_;
        if (button) {
            if (!button->isHidden() && button->isEnabled())
                button->click();
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void TEPWizard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutPages();
}

void TEPWizard::InsertPage(TEPWizardPage* page) {
    if (std::find(pages_.begin(), pages_.end(), page) != pages_.end())
        return;
    pages_.push_back(page);
    page->wizard_ = this;
    if (page->parentWidget() != this) {
        page->setParent(this);
        page->hide();
    }
    page->setGeometry(PageRect());
    if (!loading_)
        SetActivePage(page);
}

void TEPWizard::ErasePage(TEPWizardPage* page) {
    if (std::find(pages_.begin(), pages_.end(), page) == pages_.end())
        return;
    // The neighbour becomes active, also when the page going was not.
    TEPWizardPage* neighbour = FindNextPage(page, true, false);
    if (!neighbour)
        neighbour = FindNextPage(page, false, false);
    SetActivePage(neighbour);
    page->wizard_ = nullptr;
    pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
    if (activePage_ == page)
        activePage_ = nullptr;
    if (firstPage_ == page)
        firstPage_ = nullptr;
    // The neighbours of the active page may have changed.
    UpdateButtons();
}

void TEPWizard::IncludeChanged(TEPWizardPage* page) {
    // An excluded active page gives way to the next included page, else the
    // one before; the only page leaves none.
    if (page == activePage_ && !page->Include()) {
        if (PageCount() == 1) {
            SetActivePage(nullptr);
        } else {
            TEPWizardPage* other = FindNextPage(page, true, true);
            if (!other)
                other = FindNextPage(page, false, true);
            if (other)
                SetActivePage(other);
        }
    }
    UpdateButtons();
}

QRect TEPWizard::PageRect() const {
    return QRect(0, 0, width(), std::max(height() - panel_->height(), 0));
}

void TEPWizard::LayoutPages() {
    const int h = panel_->height();
    panel_->setGeometry(0, std::max(height() - h, 0), width(), h);
    for (TEPWizardPage* page : pages_)
        page->setGeometry(PageRect());
}

} // namespace widgets
