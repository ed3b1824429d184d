// postp, the mail retriever: a tray program that polls the accounts' POP3
// mailboxes on their schedules and fetches mail into the pending folders.
#include "retriever/mailretriever.h"
#include "retriever/postp/mailagnt.h"
#include "retriever/postp/startform.h"
#include "widgets/frame/trayprogram.h"

int main(int argc, char** argv) {
    return widgets::RunTrayProgram<postp::TForm1, retriever::TMailRetriever, postp::TfrmMain>(
        argc, argv, "Quelta Mail Retriever");
}
