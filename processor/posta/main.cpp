// posta, the agent processor: a tray program that files pending mail
// through each account's agents.
#include "processor/agentprocessor.h"
#include "processor/posta/mailagnt.h"
#include "processor/posta/startform.h"
#include "widgets/frame/trayprogram.h"

int main(int argc, char** argv) {
    return widgets::RunTrayProgram<posta::TForm1, quelta::TAgentProcessor, posta::TfrmMain>(
        argc, argv, "Quelta Agent Processor");
}
