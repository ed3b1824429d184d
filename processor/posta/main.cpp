// posta, the agent processor: a tray program that files pending mail
// through each account's agents.
#include "platform/win/paths.h"
#include "processor/agentprocessor.h"
#include "processor/posta/mailagnt.h"
#include "processor/posta/startform.h"
#include "widgets/apphooks.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelta Agent Processor"));
    // The program lives in the tray: closing the processor window only hides it.
    QApplication::setQuitOnLastWindowClosed(false);
    TAppHooks hooks;

    posta::TForm1 form1;
    quelta::TAgentProcessor dm;
    form1.DM = &dm;
    int exitCode = 0;
    {
        posta::TfrmMain frmMain(form1, dm, win::ProgramFolder());
        form1.OnTerminate = [](int code) { QCoreApplication::exit(code); };
        frmMain.FormCreate(QCoreApplication::arguments());
        if (!form1.Closed())
            QApplication::exec();
        exitCode = form1.ExitCode();
    }
    return exitCode;
}
