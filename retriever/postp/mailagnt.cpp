#include "retriever/postp/mailagnt.h"

#include "platform/win/hooks.h"
#include "platform/win/profile.h"
#include "retriever/postp/startform.h"
#include "retriever/settings.h"
#include "widgets/gfxcontrols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

namespace postp {

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

const widgets::TTrayWindowSetup kSetup = {retriever::kCaption,
                                          "Mail Processor On",
                                          "Mail Processor Off",
                                          "On/Off",
                                          "0",
                                          5000,
                                          retriever::WriteAutoEnabled,
                                          retriever::WriteWindowPos};

} // namespace

TfrmMain::TfrmMain(TForm1& form1, retriever::TMailRetriever& dm, const std::string& programFolder,
                   QWidget* parent)
    : TTrayWindowOf(form1, dm, kSetup, parent), programFolder_(programFolder) {
    TimerProcess = PassTimer;
    lblCurrentNode = new QLabel(this);
    lblCurrentAction = new QLabel(this);
    progNode = new widgets::TEPMeter(this);
    progNode->setMinimumHeight(16);
    AddFolderRow(QStringLiteral("Account:"), lblCurrentNode);
    AddFolderRow(QStringLiteral("Action:"), lblCurrentAction);
    stateRow_->insertWidget(2, new QLabel(QStringLiteral("Scan passes:"), this));
    AddAbovePane(progNode);

    dm_.OnCurrentNode = [this](const std::string& t) {
        Later(lblCurrentNode, [this, shown = Q(t)] { lblCurrentNode->setText(shown); });
    };
    dm_.OnCurrentAction = [this](const std::string& t) {
        Later(lblCurrentAction, [this, shown = Q(t)] { lblCurrentAction->setText(shown); });
    };
    dm_.OnProgress = [this](int max, int position) {
        if (max > 0)
            meterMax_ = max;
        Later(progNode, [this, position] {
            if (meterMax_ > 0)
                progNode->SetMaxValue(meterMax_);
            progNode->SetValue(position);
        });
        Pump();
    };
    dm_.OnPassDone = [this](int passes) { lblScanPasses->setText(QString::number(passes)); };
    dm_.OnTimerEnabled = [this](bool on) { EnablePassTimer(on); };
}

TfrmMain::~TfrmMain() {
    dm_.OnCurrentNode = dm_.OnCurrentAction = nullptr;
    dm_.OnProgress = nullptr;
    dm_.OnPassDone = nullptr;
    dm_.OnTimerEnabled = nullptr;
}

void TfrmMain::StartUp(const QStringList& args) {
    dm_.POP().SetWinsockLoaded(true);

    dm_.SetProgramFolder(programFolder_);
    LoadLogPane();

    win::TIniFile ini("quelta.ini");
    const retriever::TRetrieverSettings s = retriever::ReadSettings(ini);
    StartProcessing(s.autoEnabled);
    dm_.SetRasService(s.rasService);

    dm_.SetFolders(s.messagesFolder, s.agentsFolder, s.dataBaseFolder);
    dm_.ForceFolders();
    lblmessagespath->setText(Q(s.messagesFolder));
    lblagentsPath->setText(Q(s.agentsFolder));
    lblDatabases->setText(Q(s.dataBaseFolder));

    PlaceWindow(s.left, s.top, s.height, s.width);

    dm_.OpenTables();
    CommandLine(args);
}

bool TfrmMain::SinglePassAsked(const QStringList& args) const {
    return retriever::ParseCommandLine({args.value(1).toStdString()}) ==
           retriever::TCommand::SinglePass;
}

void TfrmMain::CommandLine(const QStringList& args) {
    if (args.size() < 2)
        return;
    const std::string first = args[1].toStdString();
    switch (retriever::ParseCommandLine({first})) {
    case retriever::TCommand::SinglePass:
        RunSinglePass("Mail retriever running in single pass mode.");
        break;
    case retriever::TCommand::Unknown:
        win::MessageBox(retriever::UnknownOptionText(first), retriever::kCaption, win::MB_OK);
        break;
    case retriever::TCommand::None:
        break;
    }
}

// The core's tick runs the pass only while retrieval is on.
void TfrmMain::Pass() {
    dm_.TimerProcessTimer();
}

void TfrmMain::ProcessingSwitched(bool on) {
    dm_.SetProcessingOn(on);
}

} // namespace postp
