// postp, the mail retriever: a tray program that polls the accounts' POP3
// mailboxes on their schedules and fetches mail into the pending folders.
#include "platform/win/paths.h"
#include "retriever/mailretriever.h"
#include "retriever/postp/mailagnt.h"
#include "retriever/postp/startform.h"
#include "widgets/apphooks.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelta Mail Retriever"));
    // The program lives in the tray: closing the retriever window only hides it.
    QApplication::setQuitOnLastWindowClosed(false);
    TAppHooks hooks;

    postp::TForm1 form1;
    retriever::TMailRetriever dm;
    form1.DM = &dm;
    int exitCode = 0;
    {
        postp::TfrmMain frmMain(form1, dm, win::ProgramFolder());
        form1.OnTerminate = [](int code) { QCoreApplication::exit(code); };
        frmMain.FormCreate(QCoreApplication::arguments());
        if (!form1.Closed())
            QApplication::exec();
        exitCode = form1.ExitCode();
    }
    return exitCode;
}
