// postp, the mail retriever: a tray program that polls the accounts' POP3
// mailboxes on their schedules and fetches mail into the pending folders.
#include "platform/win/hooks.h"
#include "platform/win/paths.h"
#include "retriever/mailretriever.h"
#include "retriever/postp/mailagnt.h"
#include "retriever/postp/startform.h"

#include <QApplication>
#include <QMessageBox>

namespace {

// Message boxes need a user; on a platform without a screen the default
// hook writes them to stderr instead of waiting for an answer.
bool HasScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case win::MB_ICONERROR:
        icon = QMessageBox::Critical;
        break;
    case win::MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case win::MB_ICONWARNING:
        icon = QMessageBox::Warning;
        break;
    case win::MB_ICONINFORMATION:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (flags & 0x0F) {
    case win::MB_OKCANCEL:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case win::MB_YESNO:
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    case win::MB_YESNOCANCEL:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case win::MB_RETRYCANCEL:
        buttons = QMessageBox::Retry | QMessageBox::Cancel;
        break;
    default:
        break;
    }
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), buttons);
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return win::IDCANCEL;
    case QMessageBox::Yes:
        return win::IDYES;
    case QMessageBox::No:
        return win::IDNO;
    case QMessageBox::Retry:
        return win::IDRETRY;
    default:
        return win::IDOK;
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quelta Mail Retriever"));
    // The program lives in the tray: closing the retriever window only hides it.
    QApplication::setQuitOnLastWindowClosed(false);
    win::SetPumpHook([] { QCoreApplication::processEvents(); });
    win::SetBeepHook([](unsigned) { QApplication::beep(); });
    if (HasScreen())
        win::SetMessageBoxHook(ShowMessageBox);

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
    win::SetPumpHook({});
    win::SetMessageBoxHook({});
    win::SetBeepHook({});
    return exitCode;
}
