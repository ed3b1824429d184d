#include "retriever/postp/mailagnt.h"

#include "platform/win/hooks.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"
#include "retriever/mailretriever.h"
#include "retriever/postp/startform.h"
#include "retriever/settings.h"
#include "widgets/gfxcontrols.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace postp {

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

void Pump() {
    QCoreApplication::processEvents();
}

} // namespace

TfrmMain::TfrmMain(TForm1& form1, retriever::TMailRetriever& dm, const std::string& programFolder,
                   QWidget* parent)
    : QWidget(parent), form1_(&form1), dm_(dm), programFolder_(programFolder) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(retriever::kCaption));

    lblOnOff = new QLabel(QStringLiteral("Mail Processor Off"), this);
    lblScanPasses = new QLabel(QStringLiteral("0"), this);
    lblCurrentNode = new QLabel(this);
    lblCurrentAction = new QLabel(this);
    progNode = new widgets::TEPMeter(this);
    progNode->setMinimumHeight(16);
    lblmessagespath = new QLabel(this);
    lblagentsPath = new QLabel(this);
    lblDatabases = new QLabel(this);
    REStatus = new QPlainTextEdit(this);
    REStatus->setReadOnly(true);
    REStatus->setLineWrapMode(QPlainTextEdit::NoWrap);
    REStatus->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    REStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Button1 = new QPushButton(QStringLiteral("On/Off"), this);
    btnClearAll = new QPushButton(QStringLiteral("&Clear Display"), this);
    btnShutDown = new QPushButton(QStringLiteral("&Shut Down"), this);
    StatusBar = new QStatusBar(this);
    StatusPanel = new QLabel(StatusBar);
    StatusPanel->setFixedWidth(200);
    StatusBar->addWidget(StatusPanel);
    StatusBar->setSizeGripEnabled(false);

    auto* folders = new QGridLayout;
    folders->addWidget(new QLabel(QStringLiteral("Messages:"), this), 0, 0);
    folders->addWidget(lblmessagespath, 0, 1);
    folders->addWidget(new QLabel(QStringLiteral("Agents:"), this), 1, 0);
    folders->addWidget(lblagentsPath, 1, 1);
    folders->addWidget(new QLabel(QStringLiteral("Databases:"), this), 2, 0);
    folders->addWidget(lblDatabases, 2, 1);
    folders->addWidget(new QLabel(QStringLiteral("Account:"), this), 3, 0);
    folders->addWidget(lblCurrentNode, 3, 1);
    folders->addWidget(new QLabel(QStringLiteral("Action:"), this), 4, 0);
    folders->addWidget(lblCurrentAction, 4, 1);
    folders->setColumnStretch(1, 1);
    auto* state = new QHBoxLayout;
    state->addWidget(lblOnOff);
    state->addStretch();
    state->addWidget(new QLabel(QStringLiteral("Scan passes:"), this));
    state->addWidget(lblScanPasses);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(btnClearAll);
    buttons->addStretch();
    buttons->addWidget(btnShutDown);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addLayout(state);
    layout->addLayout(folders);
    layout->addWidget(progNode);
    layout->addWidget(REStatus, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(btnClearAll, &QPushButton::clicked, this, [this] { btnClearAllClick(); });
    connect(btnShutDown, &QPushButton::clicked, this, [this] { btnShutDownClick(); });

    TimerProcess = new QTimer(this);
    TimerProcess->setInterval(5000);
    connect(TimerProcess, &QTimer::timeout, this, [this] { TimerProcessTimer(); });

    dm_.OnLog = [this](const std::string& line, const std::string& text) { ShowLog(line, text); };
    dm_.OnCurrentNode = [this](const std::string& t) { lblCurrentNode->setText(Q(t)); };
    dm_.OnCurrentAction = [this](const std::string& t) { lblCurrentAction->setText(Q(t)); };
    dm_.OnProgress = [this](int max, int position) {
        if (max > 0)
            progNode->SetMaxValue(max);
        progNode->SetValue(position);
        Pump();
    };
    dm_.OnPassDone = [this](int passes) { lblScanPasses->setText(QString::number(passes)); };
    dm_.OnTimerEnabled = [this](bool on) {
        if (!on)
            TimerProcess->stop();
        else if (!(form1_ && form1_->Closed()))
            TimerProcess->start();
    };
    form1.frmMain = this;
}

TfrmMain::~TfrmMain() {
    FormDestroy();
    dm_.OnLog = nullptr;
    dm_.OnCurrentNode = dm_.OnCurrentAction = nullptr;
    dm_.OnProgress = nullptr;
    dm_.OnPassDone = nullptr;
    dm_.OnTimerEnabled = nullptr;
    if (form1_)
        form1_->frmMain = nullptr;
}

bool TfrmMain::ProcessingOn() const {
    return dm_.ProcessingOn();
}

void TfrmMain::FormCreate(const QStringList& args) {
    TimerProcess->start();
    if (form1_ && !form1_->NoTrayReason().empty())
        show();
    try {
        StartUp(args);
    } catch (const std::exception& e) {
        win::MessageBox(e.what(), retriever::kCaption, win::MB_OK | win::MB_ICONERROR);
        // A single pass that cannot run still ends the program.
        if (retriever::ParseCommandLine({args.value(1).toStdString()}) ==
                retriever::TCommand::SinglePass &&
            form1_)
            form1_->Close(1);
    }
}

void TfrmMain::StartUp(const QStringList& args) {
    dm_.POP().SetWinsockLoaded(true);

    dm_.SetProgramFolder(programFolder_);
    dm_.LoadLog();
    logLoaded_ = true;
    {
        QStringList lines;
        for (const std::string& line : dm_.LogLines())
            lines << Q(line);
        REStatus->setPlainText(lines.join(QLatin1Char('\n')));
    }
    if (form1_ && !form1_->NoTrayReason().empty())
        NoTray(form1_->NoTrayReason());

    win::TIniFile ini("quelta.ini");
    const retriever::TRetrieverSettings s = retriever::ReadSettings(ini);
    ShowProcessing(s.autoEnabled);
    if (s.autoEnabled)
        dm_.SendtoLog("Service Started");
    dm_.SetRasService(s.rasService);

    dm_.SetFolders(s.messagesFolder, s.agentsFolder, s.dataBaseFolder);
    dm_.ForceFolders();
    lblmessagespath->setText(Q(s.messagesFolder));
    lblagentsPath->setText(Q(s.agentsFolder));
    lblDatabases->setText(Q(s.dataBaseFolder));

    move(s.left, s.top);
    resize(s.width, s.height);
    boundsRead_ = true;

    dm_.OpenTables();
    CommandLine(args);
}

void TfrmMain::CommandLine(const QStringList& args) {
    if (args.size() < 2)
        return;
    const std::string first = args[1].toStdString();
    switch (retriever::ParseCommandLine({first})) {
    case retriever::TCommand::SinglePass:
        show();
        dm_.SendtoLog("Mail retriever running in single pass mode.");
        Pump();
        TimerProcessTimer();
        Pump();
        if (form1_)
            form1_->Close();
        break;
    case retriever::TCommand::Unknown:
        win::MessageBox(retriever::UnknownOptionText(first), retriever::kCaption, win::MB_OK);
        break;
    case retriever::TCommand::None:
        break;
    }
}

void TfrmMain::TimerProcessTimer() {
    // Ticks pumped during a running pass start nothing.
    if (passRunning_)
        return;
    passRunning_ = true;
    dm_.TimerProcessTimer();
    passRunning_ = false;
    if (closePending_ && form1_)
        form1_->Close();
}

void TfrmMain::ShowProcessing(bool on) {
    if (form1_) {
        form1_->S1->setChecked(on);
        form1_->S2->setChecked(!on);
    }
    lblOnOff->setText(on ? QStringLiteral("Mail Processor On")
                         : QStringLiteral("Mail Processor Off"));
    dm_.SetProcessingOn(on);
}

void TfrmMain::Button1Click() {
    try {
        win::TIniFile ini("quelta.ini");
        if (dm_.ProcessingOn()) {
            dm_.SendtoLog("Service Terminated by user");
            ShowProcessing(false);
            retriever::WriteAutoEnabled(ini, false);
        } else {
            ShowProcessing(true);
            dm_.SendtoLog("Service Started");
            retriever::WriteAutoEnabled(ini, true);
        }
    } catch (const std::exception& e) {
        dm_.AppException(e.what());
    }
}

void TfrmMain::SetRetrieval(bool on) {
    if (on != dm_.ProcessingOn())
        Button1Click();
    else
        ShowProcessing(on); // the radio items follow the state
}

void TfrmMain::btnClearAllClick() {
    dm_.ClearLog();
    REStatus->clear();
}

void TfrmMain::btnShutDownClick() {
    if (form1_)
        form1_->Close();
}

void TfrmMain::NoTray(const std::string& reason) {
    show();
    dm_.SendtoLog("No notification area, the window stays open: " + reason);
}

void TfrmMain::ShowLog(const std::string& line, const std::string& text) {
    StatusPanel->setText(Q(text));
    if (REStatus->document()->isEmpty()) {
        REStatus->setPlainText(Q(line));
        return;
    }
    QTextCursor c(REStatus->document());
    c.movePosition(QTextCursor::Start);
    c.insertText(Q(line) + QLatin1Char('\n'));
}

void TfrmMain::FormDestroy() {
    TimerProcess->stop();
    try {
        if (boundsRead_) {
            win::TIniFile ini("quelta.ini");
            retriever::WriteWindowPos(ini, x(), y(), height(), width());
        }
    } catch (const std::exception& e) {
        dm_.AppException(e.what());
    }
    // A start-up that never read the log must not wipe the file.
    if (logLoaded_)
        dm_.SaveLog();
}

} // namespace postp
