#include "processor/posta/mailagnt.h"

#include "automation/quelta_tlb.h"
#include "platform/win/hooks.h"
#include "platform/win/osactions.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"
#include "processor/posta/settings.h"
#include "processor/posta/startform.h"
#include "processor/startup.h"

#include <QEvent>
#include <QLabel>
#include <QTimer>
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

template <class I> I* CreateObject(REFCLSID clsid, REFIID iid, const std::string& programFolder) {
    I* object = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                  reinterpret_cast<void**>(&object));
    if (FAILED(hr) || !object)
        throw std::runtime_error(
            quelta::AutomationStartUpText(FAILED(hr) ? hr : E_NOINTERFACE, programFolder));
    return object;
}

const widgets::TTrayWindowSetup kSetup = {"Quelta Agent Processor", "Agent Processor On",
                                          "Agent Processor Off",    "&On/Off",
                                          "0 Total Scan Passes",    2000,
                                          WriteAutoEnabled,         WriteWindowPos};

} // namespace

TfrmMain::TfrmMain(TForm1& form1, quelta::TAgentProcessor& dm, const std::string& programFolder,
                   QWidget* parent)
    : TTrayWindowOf(form1, dm, kSetup, parent), programFolder_(programFolder) {
    TimerAgents = PassTimer;
    dm_.OnPump = [] { Pump(); };
    dm_.OnPassDone = [this](int passes) {
        lblScanPasses->setText(QString::number(passes) + QStringLiteral(" Total Scan Passes"));
    };
}

TfrmMain::~TfrmMain() {
    dm_.OnPump = nullptr;
    dm_.OnPassDone = nullptr;
    dm_.AgentSMTP().SetRAS(nullptr);
    dm_.SetAutomationObjects(nullptr, nullptr);
    if (CurrentMessageObject)
        CurrentMessageObject->Release();
    if (SmtpServerObject)
        SmtpServerObject->Release();
    if (comInitialized_)
        CoUninitialize();
}

void TfrmMain::StartUp(const QStringList& args) {
    HRESULT hr = CoInitialize(nullptr);
    comInitialized_ = SUCCEEDED(hr);
    CurrentMessageObject =
        CreateObject<IQueltaMessage>(CLSID_QueltaMessage, IID_IQueltaMessage, programFolder_);
    SmtpServerObject = CreateObject<IQueltaSMTP>(CLSID_QueltaSMTP, IID_IQueltaSMTP, programFolder_);
    dm_.SetAutomationObjects(CurrentMessageObject, SmtpServerObject);
    // Also now, not only at activation: the window mostly stays hidden and
    // scripts would find no objects.
    dm_.RegisterScriptObjects();

    dm_.SetDebugMode(false);
    dm_.LoadSocketLayer();
    // Sends stopped by a kill left their copies of the mail behind.
    TTempFileStream::RemoveAbandoned();

    dm_.SetProgramFolder(programFolder_);
    LoadLogPane();

    win::TIniFile ini("quelta.ini");
    const TAgentSettings s = ReadAgentSettings(ini);
    StartProcessing(s.AutoEnabled);
    PlaceWindow(s.Left, s.Top, s.Height, s.Width);

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

bool TfrmMain::SinglePassAsked(const QStringList& args) const {
    return IsSinglePass(FirstParameter(args));
}

void TfrmMain::CommandLine(const QStringList& args) {
    const QString p = FirstParameter(args);
    if (p.isEmpty())
        return;
    if (IsSinglePass(p)) {
        RunSinglePass("Running in single pass mode.");
    } else if (p.left(2) == QLatin1String("/D")) {
        dm_.SetDebugMode(true);
        dm_.SendtoLog("Running in debug mode.", 0);
    }
}

bool TfrmMain::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return TTrayWindowOf::event(e);
}

void TfrmMain::FormActivate() {
    try {
        dm_.RegisterScriptObjects();
    } catch (const std::exception& e) {
        dm_.AppException(e.what());
    }
}

bool TfrmMain::PassDue() const {
    return ProcessingOn() && dm_.TablesOpen();
}

void TfrmMain::Pass() {
    dm_.AgentsMain();
}

bool TfrmMain::PassEndsProgram() {
    if (dm_.ShutdownRequested()) {
        win::ExitWindows(dm_.ShutdownFlags());
        return true;
    }
    return dm_.CloseRequested();
}

} // namespace posta
