#pragma once
// The tray programs' main: the application, which stays when its last
// window closes since the program lives in the tray, the hooks the Qt-free
// code calls, then the start-up object, the core and the window, and the
// event loop until the start-up object closes.
#include "platform/win/paths.h"
#include "widgets/apphooks.h"

#include <QApplication>

namespace widgets {

// Returns the exit code the close was given.
template <class Form, class Core, class Window>
int RunTrayProgram(int& argc, char** argv, const char* name) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(name));
    QApplication::setQuitOnLastWindowClosed(false);
    TAppHooks hooks;

    Form form1;
    Core dm;
    form1.DM = &dm;
    int exitCode = 0;
    {
        Window frmMain(form1, dm, win::ProgramFolder());
        form1.OnTerminate = [](int code) { QCoreApplication::exit(code); };
        frmMain.FormCreate(QCoreApplication::arguments());
        if (!form1.Closed())
            QApplication::exec();
        exitCode = form1.ExitCode();
    }
    return exitCode;
}

} // namespace widgets
