#pragma once
// The hidden start-up object of the tray programs: the tray icon with its
// menu (the program's first item, Start and Stop, Help with About, Close)
// and the about box. Closing it ends the program; asked for while a pass
// runs, the close waits until the pass has ended.
#include <QColor>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QAction;

namespace widgets {

class TmdTray;
class TPopupMenu;
class TEPAboutDialog;
class TTrayWindow;

// What tells the programs' start-up objects apart.
struct TTrayFormTexts {
    const char* tip;                    // the icon's tip
    const char* firstItem;              // the menu's first item
    std::vector<const char*> helpItems; // Help's items above "&About", a separator between
    QColor badge;                       // the colour of the icon's round badge
};

class TTrayForm : public QWidget {
    Q_OBJECT
public:
    ~TTrayForm() override;

    TmdTray* mdTray1 = nullptr;
    TPopupMenu* TrayPopup = nullptr;
    QAction* S1 = nullptr; // "Start"
    QAction* S2 = nullptr; // "Stop"
    QAction* A1 = nullptr; // "Help" > "&About"
    QAction* C1 = nullptr; // "Close"
    TEPAboutDialog* aboutD = nullptr;

    // The program's window, once it exists.
    [[nodiscard]] TTrayWindow* Window() const { return window_; }

    void S1Click();
    void S2Click();
    void A1Click();
    void C1Click();
    // The icon's default action: the window comes to the front.
    void mdTray1DefaultFunction();

    // Ends the program: the tables close and OnTerminate ends the event loop.
    void Close(int exitCode = 0);
    [[nodiscard]] bool Closed() const { return closed_; }
    [[nodiscard]] int ExitCode() const { return exitCode_; }
    std::function<void(int exitCode)> OnTerminate;

    // Why the notification area refused the icon; empty while it shows.
    [[nodiscard]] const std::string& NoTrayReason() const { return noTrayReason_; }

protected:
    explicit TTrayForm(const TTrayFormTexts& texts, QWidget* parent = nullptr);

    // Closes the program's tables.
    virtual void FormClose() = 0;

    QAction* firstItem_ = nullptr;
    std::vector<QAction*> helpItems_;

private:
    friend class TTrayWindow;

    TTrayWindow* window_ = nullptr;
    bool closed_ = false;
    int exitCode_ = 0;
    std::string noTrayReason_;
};

// The start-up object over a program's core, which closes its tables with
// CloseTables() and reports a failure through AppException(message).
template <class Core> class TTrayFormOf : public TTrayForm {
public:
    // Set once it exists.
    Core* DM = nullptr;

protected:
    using TTrayForm::TTrayForm;

    void FormClose() override {
        if (!DM)
            return;
        try {
            DM->CloseTables();
        } catch (const std::exception& e) {
            DM->AppException(e.what());
        }
    }
};

} // namespace widgets
