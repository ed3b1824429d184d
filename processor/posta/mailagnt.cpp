#include "processor/posta/mailagnt.h"

#include "automation/quelta_tlb.h"
#include "platform/win/hooks.h"
#include "platform/win/osactions.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"
#include "processor/agentprocessor.h"
#include "processor/posta/settings.h"
#include "processor/posta/startform.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

namespace posta {

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The first parameter in upper case, or "" without one.
QString FirstParameter(const QStringList& args) {
    return args.size() > 1 ? args[1].toUpper() : QString();
}

bool IsSinglePass(const QString& p) {
    return p.left(11) == QLatin1String("/SINGLEPASS");
}

template <class I> I* CreateObject(REFCLSID clsid, REFIID iid) {
    I* object = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                  reinterpret_cast<void**>(&object));
    if (FAILED(hr) || !object)
        throw std::runtime_error(com::ErrorMessage(FAILED(hr) ? hr : E_NOINTERFACE));
    return object;
}

} // namespace

TfrmMain::TfrmMain(TForm1& form1, quelta::TAgentProcessor& dm, const std::string& programFolder,
                   QWidget* parent)
    : QWidget(parent), form1_(&form1), dm_(dm), programFolder_(programFolder) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quelta Agent Processor"));

    lblOnOff = new QLabel(QStringLiteral("Agent Processor Off"), this);
    lblScanPasses = new QLabel(QStringLiteral("0 Total Scan Passes"), this);
    lblmessagespath = new QLabel(this);
    lblagentsPath = new QLabel(this);
    lblDatabases = new QLabel(this);
    REStatus = new QPlainTextEdit(this);
    REStatus->setReadOnly(true);
    REStatus->setLineWrapMode(QPlainTextEdit::NoWrap);
    REStatus->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    REStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Button1 = new QPushButton(QStringLiteral("&On/Off"), this);
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
    folders->setColumnStretch(1, 1);
    auto* state = new QHBoxLayout;
    state->addWidget(lblOnOff);
    state->addStretch();
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
    layout->addWidget(REStatus, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(btnClearAll, &QPushButton::clicked, this, [this] { btnClearAllClick(); });
    connect(btnShutDown, &QPushButton::clicked, this, [this] { btnShutDownClick(); });

    paneTimer_ = new QTimer(this);
    paneTimer_->setSingleShot(true);
    paneTimer_->setInterval(100);
    connect(paneTimer_, &QTimer::timeout, this, [this] { FlushLog(); });

    TimerAgents = new QTimer(this);
    TimerAgents->setInterval(2000);
    connect(TimerAgents, &QTimer::timeout, this, [this] { TimerAgentsTimer(); });

    dm_.OnPump = [this] { Pump(); };
    dm_.OnLog = [this](const std::string& line, const std::string& text) { ShowLog(line, text); };
    dm_.OnPassDone = [this](int passes) {
        lblScanPasses->setText(QString::number(passes) + QStringLiteral(" Total Scan Passes"));
    };
    form1.frmMain = this;
}

TfrmMain::~TfrmMain() {
    FormDestroy();
    dm_.OnPump = nullptr;
    dm_.OnLog = nullptr;
    dm_.OnPassDone = nullptr;
    dm_.AgentSMTP().SetRAS(nullptr);
    dm_.SetAutomationObjects(nullptr, nullptr);
    if (CurrentMessageObject)
        CurrentMessageObject->Release();
    if (SmtpServerObject)
        SmtpServerObject->Release();
    if (comInitialized_)
        CoUninitialize();
    if (form1_)
        form1_->frmMain = nullptr;
}

void TfrmMain::Form1Destroyed() {
    form1_ = nullptr;
}

void TfrmMain::Pump() {
    QCoreApplication::processEvents();
}

void TfrmMain::FormCreate(const QStringList& args) {
    TimerAgents->start();
    if (form1_ && !form1_->NoTrayReason().empty())
        show();
    try {
        StartUp(args);
    } catch (const std::exception& e) {
        // As the GUI library reports an error in a window's creation: a
        // message box, and the rest of start-up is skipped.
        startupFailed_ = true;
        win::MessageBox(e.what(), "Quelta Agent Processor", win::MB_OK | win::MB_ICONERROR);
        // A single pass that cannot run still ends the program.
        if (IsSinglePass(FirstParameter(args)) && form1_)
            form1_->Close(1);
    }
}

void TfrmMain::StartUp(const QStringList& args) {
    HRESULT hr = CoInitialize(nullptr);
    comInitialized_ = SUCCEEDED(hr);
    CurrentMessageObject = CreateObject<IQueltaMessage>(CLSID_QueltaMessage, IID_IQueltaMessage);
    SmtpServerObject = CreateObject<IQueltaSMTP>(CLSID_QueltaSMTP, IID_IQueltaSMTP);
    dm_.SetAutomationObjects(CurrentMessageObject, SmtpServerObject);
    // Also now, not only at activation: the window mostly stays hidden and
    // scripts would find no objects.
    dm_.RegisterScriptObjects();

    dm_.SetDebugMode(false);
    dm_.LoadSocketLayer();

    dm_.SetProgramFolder(programFolder_);
    dm_.LoadLog();
    logLoaded_ = true;
    {
        QStringList lines;
        for (const std::string& line : dm_.LogLines())
            lines << Q(line);
        REStatus->setPlainText(lines.join(QLatin1Char('\n')));
        pendingLines_.clear(); // the loaded log replaced them
    }
    if (form1_ && !form1_->NoTrayReason().empty())
        NoTray(form1_->NoTrayReason());

    win::TIniFile ini("quelta.ini");
    const TAgentSettings s = ReadAgentSettings(ini);
    if (s.AutoEnabled) {
        ShowProcessing(true);
        dm_.SendtoLog("Service Started", 0);
    } else {
        ShowProcessing(false);
    }

    move(s.Left, s.Top);
    resize(s.Width, s.Height);
    boundsRead_ = true;

    dm_.AgentSMTP().SetRAS(&agRas1);
    if (s.Service != "None")
        agRas1.SetService(s.Service);

    // The core ends each folder with a separator, so a value written
    // without one still gives sound paths.
    dm_.SetFolders(win::ResolvePath(s.MessagesFolder), win::ResolvePath(s.AgentsFolder),
                   win::ResolvePath(s.DataBaseFolder));
    win::ForceDirectories(dm_.MessagesFolder());
    win::ForceDirectories(dm_.AgentsFolder());
    lblmessagespath->setText(Q(dm_.MessagesFolder()));
    lblagentsPath->setText(Q(dm_.AgentsFolder()));
    lblDatabases->setText(Q(dm_.DataBaseFolder()));

    dm_.OpenTables();

    CommandLine(args);
}

void TfrmMain::CommandLine(const QStringList& args) {
    const QString p = FirstParameter(args);
    if (p.isEmpty())
        return;
    if (IsSinglePass(p)) {
        show();
        dm_.SendtoLog("Running in single pass mode.", 0);
        Pump();
        RunPass();
        Pump();
        if (form1_)
            form1_->Close();
    } else if (p.left(2) == QLatin1String("/D")) {
        dm_.SetDebugMode(true);
        dm_.SendtoLog("Running in debug mode.", 0);
    }
}

bool TfrmMain::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QWidget::event(e);
}

void TfrmMain::FormActivate() {
    try {
        dm_.RegisterScriptObjects();
    } catch (const std::exception& e) {
        dm_.AppException(e.what());
    }
}

void TfrmMain::TimerAgentsTimer() {
    // Ticks pumped during a running pass (the single pass) start nothing.
    if (passRunning_)
        return;
    TimerAgents->stop();
    if (processingOn_ && dm_.TablesOpen())
        RunPass();
    if (!(form1_ && form1_->Closed()))
        TimerAgents->start();
}

void TfrmMain::RunPass() {
    passRunning_ = true;
    try {
        dm_.AgentsMain();
    } catch (const std::exception& e) {
        dm_.AppException(e.what());
    } catch (...) {
        dm_.AppException("Unknown error");
    }
    passRunning_ = false;
    AfterPass();
}

// Closing and shutting down wait for the pass, so tables never close under it.
void TfrmMain::AfterPass() {
    if (!form1_ || form1_->Closed())
        return;
    if (dm_.ShutdownRequested()) {
        win::ExitWindows(dm_.ShutdownFlags());
        form1_->Close();
    } else if (dm_.CloseRequested() || closePending_) {
        form1_->Close();
    }
}

void TfrmMain::ShowProcessing(bool on) {
    if (form1_) {
        form1_->S1->setChecked(on);
        form1_->S2->setChecked(!on);
    }
    lblOnOff->setText(on ? QStringLiteral("Agent Processor On")
                         : QStringLiteral("Agent Processor Off"));
    processingOn_ = on;
}

void TfrmMain::Button1Click() {
    try {
        win::TIniFile ini("quelta.ini");
        if (processingOn_) {
            dm_.SendtoLog("Service Terminated by user", 0);
            ShowProcessing(false);
            WriteAutoEnabled(ini, false);
        } else {
            ShowProcessing(true);
            dm_.SendtoLog("Service Started", 0);
            WriteAutoEnabled(ini, true);
        }
    } catch (const std::exception& e) {
        dm_.AppException(e.what());
    }
}

void TfrmMain::SetProcessing(bool on) {
    if (on != processingOn_)
        Button1Click();
    else
        ShowProcessing(on); // the radio items follow the state
}

void TfrmMain::btnClearAllClick() {
    dm_.ClearLog();
    pendingLines_.clear();
    paneTimer_->stop();
    REStatus->clear();
}

void TfrmMain::btnShutDownClick() {
    if (form1_)
        form1_->Close();
}

void TfrmMain::NoTray(const std::string& reason) {
    show();
    dm_.SendtoLog("No notification area, the window stays open: " + reason, 0);
}

void TfrmMain::ShowLog(const std::string& line, const std::string& text) {
    StatusPanel->setText(Q(text));
    // Lines reach the pane in batches: one edit at the top of a long pane
    // per line would cost the pass more than its own work.
    pendingLines_ << Q(line);
    if (!paneTimer_->isActive())
        paneTimer_->start();
}

void TfrmMain::FlushLog() {
    paneTimer_->stop();
    if (pendingLines_.isEmpty())
        return;
    std::reverse(pendingLines_.begin(), pendingLines_.end());
    QString text = pendingLines_.join(QLatin1Char('\n'));
    pendingLines_.clear();
    if (REStatus->document()->isEmpty()) {
        REStatus->setPlainText(text);
        return;
    }
    QTextCursor c(REStatus->document());
    c.movePosition(QTextCursor::Start);
    c.insertText(text + QLatin1Char('\n'));
}

void TfrmMain::FormDestroy() {
    TimerAgents->stop();
    try {
        if (boundsRead_) {
            win::TIniFile ini("quelta.ini");
            WriteWindowPos(ini, x(), y(), height(), width());
        }
    } catch (const std::exception& e) {
        dm_.AppException(e.what());
    }
    // A start-up that never read the log must not wipe the file.
    if (logLoaded_)
        dm_.SaveLog();
}

} // namespace posta
