#include "widgets/frame/traywindow.h"

#include "platform/win/hooks.h"
#include "platform/win/profile.h"
#include "widgets/frame/logpane.h"
#include "widgets/frame/trayform.h"

#include <QAction>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace widgets {

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

TTrayWindow::TTrayWindow(TTrayForm& form, const TTrayWindowSetup& setup, QWidget* parent)
    : QWidget(parent), form_(&form), setup_(setup) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(setup_.caption));

    lblOnOff = new QLabel(QString::fromLatin1(setup_.offText), this);
    lblScanPasses = new QLabel(QString::fromLatin1(setup_.noPasses), this);
    lblmessagespath = new QLabel(this);
    lblagentsPath = new QLabel(this);
    lblDatabases = new QLabel(this);
    REStatus = new TLogPane(this);
    Button1 = new QPushButton(QString::fromLatin1(setup_.onOffButton), this);
    btnClearAll = new QPushButton(QStringLiteral("&Clear Display"), this);
    btnShutDown = new QPushButton(QStringLiteral("&Shut Down"), this);
    StatusBar = new QStatusBar(this);
    StatusPanel = new QLabel(StatusBar);
    // Folders and log texts are shown as they are, never as markup.
    for (QLabel* label : {lblmessagespath, lblagentsPath, lblDatabases, StatusPanel})
        label->setTextFormat(Qt::PlainText);
    StatusPanel->setFixedWidth(200);
    StatusBar->addWidget(StatusPanel);
    StatusBar->setSizeGripEnabled(false);

    folders_ = new QGridLayout;
    AddFolderRow(QStringLiteral("Messages:"), lblmessagespath);
    AddFolderRow(QStringLiteral("Agents:"), lblagentsPath);
    AddFolderRow(QStringLiteral("Databases:"), lblDatabases);
    folders_->setColumnStretch(1, 1);
    stateRow_ = new QHBoxLayout;
    stateRow_->addWidget(lblOnOff);
    stateRow_->addStretch();
    stateRow_->addWidget(lblScanPasses);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(btnClearAll);
    buttons->addStretch();
    buttons->addWidget(btnShutDown);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(4, 4, 4, 0);
    layout_->addLayout(stateRow_);
    layout_->addLayout(folders_);
    layout_->addWidget(REStatus, 1);
    layout_->addLayout(buttons);
    layout_->addWidget(StatusBar);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(btnClearAll, &QPushButton::clicked, this, [this] { btnClearAllClick(); });
    connect(btnShutDown, &QPushButton::clicked, this, [this] { btnShutDownClick(); });

    PassTimer = new QTimer(this);
    PassTimer->setInterval(setup_.passInterval);
    connect(PassTimer, &QTimer::timeout, this, [this] { PassTimerTick(); });

    viewTimer_ = new QTimer(this);
    viewTimer_->setSingleShot(true);
    viewTimer_->setInterval(100);
    connect(viewTimer_, &QTimer::timeout, this, [this] { FlushViews(); });

    form.window_ = this;
}

TTrayWindow::~TTrayWindow() {
    if (form_)
        form_->window_ = nullptr;
}

void TTrayWindow::AddFolderRow(const QString& label, QWidget* value) {
    const int row = folders_->rowCount() - (folders_->isEmpty() ? 1 : 0);
    folders_->addWidget(new QLabel(label, this), row, 0);
    folders_->addWidget(value, row, 1);
}

void TTrayWindow::AddAbovePane(QWidget* widget) {
    layout_->insertWidget(layout_->indexOf(REStatus), widget);
}

void TTrayWindow::Pump() {
    QCoreApplication::processEvents();
}

void TTrayWindow::FormCreate(const QStringList& args) {
    PassTimer->start();
    if (form_ && !form_->NoTrayReason().empty())
        show();
    try {
        StartUp(args);
    } catch (const std::exception& e) {
        // As the GUI library reports an error in a window's creation: a
        // message box, and the rest of start-up is skipped.
        startupFailed_ = true;
        win::MessageBox(e.what(), setup_.caption, win::MB_OK | win::MB_ICONERROR);
        if (SinglePassAsked(args) && form_)
            form_->Close(1);
    }
}

void TTrayWindow::LoadLogPane() {
    LoadLog();
    logLoaded_ = true;
    REStatus->SetLines(LogLines());
    if (form_ && !form_->NoTrayReason().empty())
        NoTray(form_->NoTrayReason());
}

void TTrayWindow::StartProcessing(bool on) {
    ShowProcessing(on);
    if (on)
        Log("Service Started");
}

void TTrayWindow::PlaceWindow(int left, int top, int height, int width) {
    move(left, top);
    resize(width, height);
    boundsRead_ = true;
}

void TTrayWindow::RunSinglePass(const std::string& text) {
    show();
    Log(text);
    Pump();
    RunPass();
    Pump();
    if (form_)
        form_->Close();
}

void TTrayWindow::PassTimerTick() {
    if (passRunning_)
        return;
    if (PassDue())
        RunPass();
}

void TTrayWindow::RunPass() {
    EnablePassTimer(false);
    passRunning_ = true;
    try {
        Pass();
    } catch (const std::exception& e) {
        AppException(e.what());
    } catch (...) {
        AppException("Unknown error");
    }
    passRunning_ = false;
    // Closing and shutting down wait for the pass, so tables never close under it.
    if (form_ && !form_->Closed() && (PassEndsProgram() || closePending_))
        form_->Close();
    EnablePassTimer(true);
}

void TTrayWindow::EnablePassTimer(bool on) {
    if (!on)
        PassTimer->stop();
    else if (!(form_ && form_->Closed()))
        PassTimer->start();
}

void TTrayWindow::ShowProcessing(bool on) {
    if (form_) {
        form_->S1->setChecked(on);
        form_->S2->setChecked(!on);
    }
    lblOnOff->setText(QString::fromLatin1(on ? setup_.onText : setup_.offText));
    processingOn_ = on;
    ProcessingSwitched(on);
}

void TTrayWindow::Button1Click() {
    try {
        win::TIniFile ini("quelta.ini");
        if (processingOn_) {
            Log("Service Terminated by user");
            ShowProcessing(false);
            setup_.writeAutoEnabled(ini, false);
        } else {
            ShowProcessing(true);
            Log("Service Started");
            setup_.writeAutoEnabled(ini, true);
        }
    } catch (const std::exception& e) {
        AppException(e.what());
    }
}

void TTrayWindow::SetProcessing(bool on) {
    if (on != processingOn_)
        Button1Click();
    else
        ShowProcessing(on); // the radio items follow the state
}

void TTrayWindow::btnClearAllClick() {
    ClearLog();
    REStatus->Clear();
}

void TTrayWindow::btnShutDownClick() {
    if (form_)
        form_->Close();
}

void TTrayWindow::NoTray(const std::string& reason) {
    show();
    Log("No notification area, the window stays open: " + reason);
}

void TTrayWindow::FlushLog() {
    FlushViews();
    REStatus->Flush();
}

void TTrayWindow::Later(const QObject* target, std::function<void()> update) {
    for (auto& [t, u] : pendingViews_)
        if (t == target) {
            u = std::move(update);
            return;
        }
    pendingViews_.emplace_back(target, std::move(update));
    if (!viewTimer_->isActive())
        viewTimer_->start();
}

void TTrayWindow::FlushViews() {
    viewTimer_->stop();
    auto views = std::move(pendingViews_);
    pendingViews_.clear();
    for (auto& [target, update] : views)
        update();
}

void TTrayWindow::ShowLog(const std::string& line, const std::string& text) {
    Later(StatusPanel, [this, shown = Q(text)] { StatusPanel->setText(shown); });
    REStatus->InsertLine(line);
}

void TTrayWindow::FormDestroy() {
    PassTimer->stop();
    try {
        if (boundsRead_) {
            win::TIniFile ini("quelta.ini");
            setup_.writeWindowPos(ini, x(), y(), height(), width());
        }
    } catch (const std::exception& e) {
        AppException(e.what());
    }
    // A start-up that never read the log must not wipe the file.
    if (logLoaded_)
        SaveLog();
}

} // namespace widgets
