#pragma once
// The hidden start-up window of postp: it holds the tray icon with its menu
// and the about box, and closing it ends the program.
#include <QWidget>
#include <functional>
#include <string>

class QAction;

namespace retriever {
class TMailRetriever;
}
namespace widgets {
class TmdTray;
class TPopupMenu;
class TEPAboutDialog;
} // namespace widgets

namespace postp {

class TfrmMain;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    widgets::TmdTray* mdTray1 = nullptr;
    widgets::TPopupMenu* TrayPopup = nullptr;
    QAction* O1 = nullptr;        // "&Open..."
    QAction* S1 = nullptr;        // "Start"
    QAction* S2 = nullptr;        // "Stop"
    QAction* Contents1 = nullptr; // "Help" > "Contents...", no action
    QAction* A1 = nullptr;        // "Help" > "&About"
    QAction* C1 = nullptr;        // "Close"
    widgets::TEPAboutDialog* aboutD = nullptr;

    // Set once they exist: the data module's tables and the retriever window.
    retriever::TMailRetriever* DM = nullptr;
    TfrmMain* frmMain = nullptr;

    void O1Click();
    void S1Click();
    void S2Click();
    void A1Click();
    void C1Click();
    void mdTray1DefaultFunction();

    // Ends the program: the tables close and OnTerminate ends the event
    // loop. Asked for during a pass, it waits for the pass's end.
    void Close(int exitCode = 0);
    [[nodiscard]] bool Closed() const { return closed_; }
    [[nodiscard]] int ExitCode() const { return exitCode_; }
    std::function<void(int exitCode)> OnTerminate;

    // Why the notification area refused the icon; empty while it shows.
    [[nodiscard]] const std::string& NoTrayReason() const { return noTrayReason_; }

private:
    void FormClose();

    bool closed_ = false;
    int exitCode_ = 0;
    std::string noTrayReason_;
};

} // namespace postp
