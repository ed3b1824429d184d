// The main window's creation, menus, life cycle, status sink and error handler.
#include "cfgman/frmmain.h"
#include "cfgman/qtext.h"

#include "cfgman/core/settings.h"
#include "cfgman/core/uniqueid.h"
#include "cfgman/dbgrid.h"
#include "cfgman/frmcustomsend.h"
#include "cfgman/frmrem.h"
#include "cfgman/frmstatus.h"
#include "cfgman/splash.h"
#include "platform/win/hooks.h"
#include "platform/win/logbook.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"
#include "widgets/frame/logpane.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

namespace cfgman {

namespace {

TfrmMain* gMain = nullptr;

constexpr const char* kCaption = "Quelta Configuration Manager";
constexpr const char* kAppWindowText = "quelta";

} // namespace

TfrmMain* frmMain() {
    return gMain;
}

TfrmMain::TfrmMain(const std::string& programFolder, QWidget* parent)
    : QMainWindow(parent), programFolder_(win::IncludeTrailingPathDelimiter(programFolder)) {
    gMain = this;
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kCaption));

    msPOP1.SetDefaultPort(110);
    msRemotePOP1.SetDefaultPort(110);
    msRemotePOP1.SetMessageDirectory(".\\temp\\");
    msSMTP1.SetDefaultPort(25);
    msSMTP1.SetTimeOut(120);
    msSMTP1.SetMailMessage(&msMessage1);
    msMessage1.SetContentType("text/plain");
    agRas1.SetForceService(false);
    agRas1.SetMinimizeAtConnect(true);
    msPOP1.SetRAS(&agRas1);
    msRemotePOP1.SetRAS(&agRas1);
    msSMTP1.SetRAS(&agRas1);
    agRas1.OnStatusChange = [this](TagRas&, const std::string& status) {
        agRas1StatusChange(status);
    };
    agRas1.OnDisconnected = [this](TagRas&) { agRas1Disconnected(); };

    BuildPages();
    BuildMenus();
    BuildTreePopup();
    BuildTemplatesPage();
    BuildMessagePanel();
    frmRem = new TfrmRem(this);
    BuildAgentsPage();
    frmCustomSend = new TfrmCustomSend(this);
    // The shared message is the one last opened: moving on to another
    // pending or sent row forgets it.
    Tables.DSPending.OnDataChange = [this](data::TDataSource&) { msMessage1.Clear(); };
    Tables.DSSent.OnDataChange = [this](data::TDataSource&) { msMessage1.Clear(); };

    StatusPanel0 = new QLabel(QString::fromLatin1(kCaption), this);
    StatusPanel0->setTextFormat(Qt::PlainText);
    StatusPanel0->setFixedWidth(300);
    StatusPanel1 = new QLabel(this);
    StatusPanel1->setFixedWidth(50);
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1);
}

TfrmMain::~TfrmMain() {
    FormDestroy();
    Tables.DSPending.OnDataChange = nullptr;
    Tables.DSSent.OnDataChange = nullptr;
    agRas1.OnStatusChange = nullptr;
    agRas1.OnDisconnected = nullptr;
    if (gMain == this)
        gMain = nullptr;
}

void TfrmMain::BuildPages() {
    pageControlMain = new QTabWidget(this);
    pageControlMain->setObjectName(QStringLiteral("pageControlMain"));
    setCentralWidget(pageControlMain);

    auto makeBar = [this](QWidget* page, TPageBar& bar) {
        bar.bar = new QToolBar(page);
        bar.bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
        bar.New = bar.bar->addAction(QStringLiteral("New"));
        bar.Modify = bar.bar->addAction(QStringLiteral("Modify"));
        bar.Delete = bar.bar->addAction(QStringLiteral("Delete"));
        bar.Modify->setEnabled(false);
        bar.Delete->setEnabled(false);
    };

    TSaccounts = new QWidget;
    TSaccounts->setObjectName(QStringLiteral("TSaccounts"));
    auto* accounts = new QVBoxLayout(TSaccounts);
    accounts->setContentsMargins(0, 0, 0, 0);
    accounts->setSpacing(0);
    makeBar(TSaccounts, AccountsBar);
    accounts->addWidget(AccountsBar.bar);
    treeMain = new QTreeWidget(TSaccounts);
    treeMain->setObjectName(QStringLiteral("treeMain"));
    accounts->addWidget(treeMain, 1);

    panelHistoryHolder = new QWidget(TSaccounts);
    panelHistoryHolder->setObjectName(QStringLiteral("panelHistoryHolder"));
    panelHistoryHolder->setFixedHeight(0);
    panelHistoryHolder->setVisible(false);
    auto* history = new QVBoxLayout(panelHistoryHolder);
    history->setContentsMargins(2, 2, 2, 2);
    history->addWidget(new QLabel(
        QStringLiteral("The following events have occured for this agent"), panelHistoryHolder));
    GridAgentHistory = new QTableView(panelHistoryHolder);
    GridAgentHistory->setObjectName(QStringLiteral("GridAgentHistory"));
    historyModel = new TDataSetModel(Tables.TableAgentActions, Tables.XbAgentActions,
                                     {{"ACTION", QStringLiteral("Action Description"), 350},
                                      {"CREATEON", QStringLiteral("Date"), 100},
                                      {"CREATEAT", QStringLiteral("Time"), 64}},
                                     this);
    GridAgentHistory->setModel(historyModel);
    GridAgentHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridAgentHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridAgentHistory->verticalHeader()->hide();
    GridAgentHistory->setWordWrap(false);
    GridAgentHistory->verticalHeader()->setDefaultSectionSize(
        GridAgentHistory->fontMetrics().height() + 6);
    for (int c = 0; c < 3; ++c)
        GridAgentHistory->setColumnWidth(c, historyModel->Columns()[std::size_t(c)].Width);
    history->addWidget(GridAgentHistory, 1);
    accounts->addWidget(panelHistoryHolder);
    pageControlMain->addTab(TSaccounts, QStringLiteral("Mail Accounts"));

    auto listPage = [&](const char* name, const char* column, TPageBar& bar, QTreeWidget*& list) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(name));
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        makeBar(page, bar);
        layout->addWidget(bar.bar);
        list = new QTreeWidget(page);
        list->setRootIsDecorated(false);
        list->setHeaderLabels({QString::fromLatin1(column)});
        list->setColumnWidth(0, 400);
        layout->addWidget(list, 1);
        return page;
    };
    TSagents = listPage("TSagents", "Agent Name", AgentsBar, lstVAgents);
    lstVAgents->setObjectName(QStringLiteral("lstVAgents"));
    pageControlMain->addTab(TSagents, QStringLiteral("Agents"));
    TStemplates = listPage("TStemplates", "Template Name", TemplatesBar, lstVTemplates);
    lstVTemplates->setObjectName(QStringLiteral("lstVTemplates"));
    pageControlMain->addTab(TStemplates, QStringLiteral("Auto-Reply Templates"));
    pageControlMain->setCurrentWidget(TSaccounts);

    connect(pageControlMain, &QTabWidget::currentChanged, this,
            [this] { Command([this] { pageControlMainChange(); }); });
    connect(AccountsBar.Delete, &QAction::triggered, this,
            [this] { Command([this] { Delete1Click(); }); });
    connect(AccountsBar.New, &QAction::triggered, this, [this] { Command([this] { B1Click(); }); });
    connect(AccountsBar.Modify, &QAction::triggered, this,
            [this] { Command([this] { mnuPropertiesClick(); }); });
}

void TfrmMain::BuildMenus() {
    auto item = [this](QMenu* menu, const char* text, auto handler) {
        QAction* a = menu->addAction(QString::fromLatin1(text));
        if constexpr (!std::is_same_v<decltype(handler), std::nullptr_t>)
            connect(a, &QAction::triggered, this, [this, handler] { Command([=] { handler(); }); });
        return a;
    };

    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    QMenu* newMenu = File1->addMenu(QStringLiteral("&New..."));
    NewAccount1 = item(newMenu, "Mail A&ccount", [this] { B1Click(); });
    Position1 = item(newMenu, "Account &Group...", [this] { Position1Click(); });
    NewAgent1 = item(newMenu, "&Agent...", [this] { A1Click(); });
    NewTemplate1 =
        item(newMenu, "Auto-Reply &Template...", [this] { MailMessageTemplate1Click(); });
    newMenu->addSeparator();
    e2 = item(newMenu, "QueltaBasic S&cript...", [this] { e2Click(); });
    QMenu* open = File1->addMenu(QStringLiteral("Open"));
    E1 = item(open, "E-Mail Message...", [this] { E1Click(); });
    E4 = item(open, "QueltaBasic Script File", [this] { E4Click(); });
    mnuMainDelete = item(File1, "&Delete...", [this] { mnuMainDeleteClick(); });
    mnuMainDelete->setShortcut(QKeySequence(Qt::Key_Delete));
    mnuRename = item(File1, "Rena&me", [this] { mnuRenameClick(); });
    mnuRename->setShortcut(QKeySequence(Qt::Key_F2));
    mnuRename->setEnabled(false);
    mnuAttach = item(File1, "Attach Agent...", [this] { mnuAttachClick(); });
    mnuAttach->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    mnuAttach->setEnabled(false);
    mnuDetach = item(File1, "Detach Agent...", [this] { mnuDetachClick(); });
    mnuDetach->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    mnuDetach->setEnabled(false);
    QMenu* logs = File1->addMenu(QStringLiteral("Logfiles"));
    A2 = item(logs, "Agent Processor...", [this] { A2Click(); });
    M1 = item(logs, "Mail Processor...", [this] { M1Click(); });
    File1->addSeparator()->setVisible(false);
    E3 = item(File1, "&Enable AutoProcessor...", [this] { E3Click(); });
    E3->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    E3->setVisible(false);
    DisableAuto = item(File1, "&Disable AutoProcessor...", [this] { DisableAutoClick(); });
    DisableAuto->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    DisableAuto->setCheckable(true);
    DisableAuto->setChecked(true);
    DisableAuto->setVisible(false);
    File1->addSeparator();
    QMenu* maintain = File1->addMenu(QStringLiteral("&Maintain..."));
    ReIndex1 = item(maintain, "&Re-Index Databases", [this] { ReIndex1Click(); });
    Compress1 = item(maintain, "&Compress Databases...", [this] { Pack1Click(); });
    maintain->addSeparator()->setVisible(false);
    EraseAll1 = item(maintain, "&Erase All Messages (Be Careful)...", [this] { Zap1Click(); });
    EraseAll1->setVisible(false);
    L1 = item(File1, "&Status...", [this] { L1Click(); });
    File1->addSeparator();
    mnuMainProperties = item(File1, "&Properties...", [this] { mnuMainPropertiesClick(); });
    mnuMainProperties->setEnabled(false);
    File1->addSeparator();
    Exit1 = item(File1, "E&xit", [this] { Exit1Click(); });

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    Preferences1 = item(view, "P&references...", [this] { SetPreferences1Click(); });
    view->addSeparator();
    Refresh1 = item(view, "&Refresh", [this] { Refresh1Click(); });
    Refresh1->setShortcut(QKeySequence(Qt::Key_F5));
    Tools1 = view->addMenu(QStringLiteral("&Tools"));
    Tools1->menuAction()->setVisible(false);
    Find1 = item(Tools1, "Find Message...", [this] { Find1Click(); });
    Tools1->addSeparator()->setVisible(false);
    MailMerge1 = item(Tools1, "&Mail Merge Wizard...", [this] { MailMerge1Click(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    Contents1 = item(help, "&Contents...", [this] { Contents1Click(); });
    Contents1->setShortcut(QKeySequence(Qt::Key_F1));
    O3 = item(help, "&Online Quelta User Resources", [this] { O3Click(); });
    help->addSeparator()->setVisible(false);
    N15 = item(help, "&Update Software...", [this] { N15Click(); });
    N15->setVisible(false);
    help->addSeparator();
    V1 = item(help, "&Visit Dovira...", [this] { V1Click(); });
    R1 = item(help, "&Suggest Product Improvements...", [this] { R1Click(); });
    N16 = item(help, "Other Cool &Software...", [this] { N16Click(); });
    O1 = item(help, "&Dovira Software Store...", [this] { O1Click(); });
    help->addSeparator();
    About1 = item(help, "&About Quelta...", [this] { About1Click(); });
}

// ---- life cycle ----

void TfrmMain::FormCreate() {
    try {
        StartUp();
    } catch (const std::exception& e) {
        // The rest of start-up is skipped; the window still opens.
        startupFailed_ = true;
        AppException(e.what());
    }
}

void TfrmMain::StartUp() {
    // The binding is marked unloaded whenever a network component is made.
    msRemotePOP1.SetWinsockLoaded(true);
    msPOP1.SetWinsockLoaded(true);
    msSMTP1.SetWinsockLoaded(true);
    setWindowIconText(QString::fromLatin1(kAppWindowText));

    win::TIniFile ini(kIniName);
    const std::string service = ReadRasService(ini);
    if (service != "None")
        agRas1.SetService(service);

    Folders() = ReadFolders(ini, programFolder_);
    foldersRead_ = true;

    const TBounds b = ReadBounds(ini, "WindowPos");
    move(b.Left, b.Top);
    resize(b.Width, b.Height);
    boundsRead_ = true;

    for (const std::string& folder :
         {Folders().MessagesPath(), Folders().AgentsPath(), Folders().TemplatesPath()})
        if (folder.empty() || !win::ForceDirectories(folder))
            throw std::runtime_error("Unable to create directory " + folder);

    Tables.SetSystemProperties();
    Tables.PointAt(Folders().DataBasePath());
    Tables.Open();

    populateGroups();
    QCoreApplication::processEvents();
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        Command([this] { FormShow(); });
    }
}

void TfrmMain::FormShow() {
    if (splash_) {
        splash_->close();
        splash_ = nullptr;
    }
    if (startupFailed_)
        return;
    RefreshAgents();
    RefreshTemplates();
    populateGroups();
    treeMain->setFocus();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (!CloseMessageEditors()) {
        event->ignore();
        return;
    }
    Command([this] { FormClose(); });
    QMainWindow::closeEvent(event);
}

void TfrmMain::FormClose() {
    if (closed_)
        return;
    closed_ = true;
    // Only what start-up read goes back: a failed start never puts
    // defaults over the tray programs' folders.
    if (foldersRead_) {
        win::TIniFile ini(kIniName);
        WriteFolders(ini, Folders());
    }
}

void TfrmMain::FormDestroy() {
    if (destroyed_)
        return;
    destroyed_ = true;
    if (!boundsRead_)
        return;
    try {
        win::TIniFile ini(kIniName);
        WriteBounds(ini, "WindowPos", {x(), y(), height(), width()});
    } catch (const std::exception&) {
        // Nothing to report to at this point: the window is going.
    }
}

void TfrmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    const bool wasMinimized = change->oldState() & Qt::WindowMinimized;
    if (windowState() & Qt::WindowMinimized) {
        if (!wasMinimized)
            MinimizeApp();
    } else if (wasMinimized) {
        // Restored: to the front, the taskbar text "quelta" again.
        setWindowIconText(QString::fromLatin1(kAppWindowText));
        activateWindow();
        raise();
        if (frmStatus_ && frmStatus_->isVisible())
            frmStatus_->raise();
    }
}

void TfrmMain::MinimizeApp() {
    // The taskbar shows the icon text, which stays "quelta".
    setWindowIconText(windowTitle());
    if (!(windowState() & Qt::WindowMinimized))
        showMinimized();
    setWindowIconText(QString::fromLatin1(kAppWindowText));
}

void TfrmMain::PlayEventSound(const std::string& fileName) {
    cfgman::PlayEventSound(fileName);
}

void TfrmMain::About1Click() {
    auto* about = new TSplashForm(this);
    PlayEventSound(programFolder_ + "about.wav");
    about->setVisible(false);
    about->exec();
}

std::string TfrmMain::MakeUniqueId() {
    const std::string folder = Folders().DataBasePath();
    return cfgman::MakeUniqueId([&](const std::string& id) {
        return KeyExists(folder, "nodes.dbf", "UNIQUE_ID", id) ||
               KeyExists(folder, "sent.dbf", "UNIQUE_ID", id);
    });
}

void TfrmMain::Exit1Click() {
    close();
}

// ---- status and errors ----

void TfrmMain::SendtoLog(const std::string& text, int) {
    StatusPanel0->setText(Q(text));
    if (frmStatus_) {
        frmStatus_->REStatus->InsertLine(win::LogLine(text));
        frmStatus_->lblLastPMessage->setText(Q(win::Stamp() + " " + text));
    }
}

void TfrmMain::AppException(const std::string& message) {
    ++errorCount_;
    if (!frmStatus_) {
        win::MessageBox(message, "Quelta Mail Management System", win::MB_OK | win::MB_ICONERROR);
        return;
    }
    frmStatus_->lblNumErrors->setText(QString::number(errorCount_));
    frmStatus_->lblLastError->setText(Q(message));
    win::MessageBeep(win::MB_ICONASTERISK);
    frmStatus_->REStatus->InsertLine(win::ErrorLogLine(message));
    frmStatus_->SetTag(2);
    frmStatus_->show();
    frmStatus_->raise();
    frmStatus_->activateWindow();
}

void TfrmMain::Command(const std::function<void()>& body) {
    try {
        body();
    } catch (const std::exception& e) {
        AppException(e.what());
    }
}

void TfrmMain::agRas1StatusChange(const std::string& status) {
    SendtoLog(status, 0);
}

void TfrmMain::agRas1Disconnected() {
    SendtoLog("Disconnected", 0);
}

void TfrmMain::L1Click() {
    if (frmStatus_) {
        frmStatus_->show();
        frmStatus_->raise();
    }
}

void TfrmMain::E3Click() {
    win::MessageBox("Sorry in this release you must manually enable both Agent and Mail Retriever "
                    "services.  You may find them in the quelta program group.",
                    "Quelta Mail Management System", win::MB_OK);
}

void TfrmMain::DisableAutoClick() {
    E3Click();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

} // namespace cfgman
