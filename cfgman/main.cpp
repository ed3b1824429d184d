// cfgman, the configuration manager: groups, accounts, agents and
// templates, set up in one window over the shared tables and files.
#include "cfgman/frmmain.h"
#include "cfgman/frmstatus.h"
#include "cfgman/splash.h"
#include "platform/win/paths.h"
#include "widgets/apphooks.h"

#include <QApplication>

namespace {

// The last resort of the program's error handler: a failure that escaped a
// command is logged like any other and the program goes on.
class TCfgApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            if (cfgman::TfrmMain* main = cfgman::frmMain())
                main->AppException(e.what());
            return false;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    TCfgApplication app(argc, argv);
    TAppHooks hooks;

    auto* splash = new cfgman::TSplashForm;
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();
    QCoreApplication::setApplicationName(QStringLiteral("Quelta Mail Management System"));

    cfgman::TfrmMain frmMain(win::ProgramFolder());
    frmMain.SetSplash(splash);
    frmMain.FormCreate();
    cfgman::TfrmStatus frmStatus(&frmMain);
    frmMain.SetStatusWindow(&frmStatus);
    frmMain.show();
    const int code = QApplication::exec();
    frmMain.SetStatusWindow(nullptr);
    return code;
}
