// Menu commands that start outside programs, and the small windows of the
// hidden menu items.
#include "cfgman/core/outside.h"
#include "cfgman/filedialog.h"
#include "cfgman/frmfind.h"
#include "cfgman/frmmain.h"
#include "cfgman/frmmmwiz.h"

namespace cfgman {

void TfrmMain::e2Click() {
    StartScriptEditor({});
}

void TfrmMain::E4Click() {
    const QString file =
        ExecuteOpenDialog(this, {QStringLiteral("Open QueltaBasic Script File"),
                                 QStringLiteral("BAS"),
                                 {QStringLiteral("Quelta Basic Files (*.bas *.BAS)"),
                                  QStringLiteral("Quelta Basic Macro Files (*.mac *.MAC)"),
                                  QStringLiteral("All Files (*)")},
                                 {}});
    if (!file.isEmpty())
        StartScriptEditor(file.toUtf8().toStdString());
}

void TfrmMain::StartScriptEditor(const std::string& file) {
    const std::string editor = ScriptEditor(programFolder_);
    if (editor.empty()) {
        SendtoLog("The script editor qide is not installed in " + programFolder_, 0);
        return;
    }
    // The script's path is one argument, blanks and all.
    std::vector<std::string> argv{editor};
    if (!file.empty())
        argv.push_back(file);
    Launch(argv);
}

void TfrmMain::A2Click() {
    OpenDocument(programFolder_ + "agentproc.log");
}

void TfrmMain::M1Click() {
    OpenDocument(programFolder_ + "mailproc.log");
}

void TfrmMain::Contents1Click() {
    OpenDocument(HelpAddress(programFolder_));
}

void TfrmMain::O3Click() {
    OpenDocument(MakerPage("/resources/"));
}

void TfrmMain::V1Click() {
    OpenDocument(MakerPage("/"));
}

void TfrmMain::R1Click() {
    OpenDocument(MakerPage("/suggestions/"));
}

void TfrmMain::N16Click() {
    OpenDocument(MakerPage("/products"));
}

void TfrmMain::O1Click() {
    OpenDocument(MakerPage("/order"));
}

void TfrmMain::Find1Click() {
    auto* find = new TfrmFind(this);
    find->show();
}

void TfrmMain::MailMerge1Click() {
    auto* wizard = new TfrmMMWiz(this);
    wizard->exec();
}

} // namespace cfgman
