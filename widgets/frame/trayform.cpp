#include "widgets/frame/trayform.h"

#include "widgets/aboutdlg.h"
#include "widgets/frame/traywindow.h"
#include "widgets/mdtray.h"
#include "widgets/popupmenu.h"
#include "widgets/resources.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QPainter>
#include <QPixmap>

namespace widgets {

namespace {

// The program's icon, drawn here since the programs carry no image files:
// an envelope with a round badge in the program's colour.
QIcon MainIcon(const QColor& badge) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 60, 120), 2));
    p.setBrush(QColor(250, 240, 200));
    p.drawRect(3, 8, 26, 17);
    p.drawLine(3, 8, 16, 18);
    p.drawLine(29, 8, 16, 18);
    p.setBrush(badge);
    p.setPen(Qt::NoPen);
    p.drawEllipse(20, 18, 11, 11);
    return QIcon(pixmap);
}

} // namespace

TTrayForm::TTrayForm(const TTrayFormTexts& texts, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    if (LoadIcon("MAINICON") == 0)
        RegisterIconResource("MAINICON", MainIcon(texts.badge));
    // The application's icon, which the about box and the windows show.
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(IconFromHandle(LoadIcon("MAINICON")));

    TrayPopup = new TPopupMenu(this);
    firstItem_ = TrayPopup->addAction(QString::fromLatin1(texts.firstItem));
    TrayPopup->addSeparator();
    auto* group = new QActionGroup(this);
    S1 = TrayPopup->addAction(QStringLiteral("Start"));
    S2 = TrayPopup->addAction(QStringLiteral("Stop"));
    for (QAction* a : {S1, S2}) {
        a->setCheckable(true);
        group->addAction(a);
    }
    S2->setChecked(true);
    TrayPopup->addSeparator();
    QMenu* help = TrayPopup->addMenu(QStringLiteral("Help"));
    for (const char* item : texts.helpItems)
        helpItems_.push_back(help->addAction(QString::fromLatin1(item)));
    if (!helpItems_.empty())
        help->addSeparator();
    A1 = help->addAction(QStringLiteral("&About"));
    C1 = TrayPopup->addAction(QStringLiteral("Close"));
    connect(S1, &QAction::triggered, this, [this] { S1Click(); });
    connect(S2, &QAction::triggered, this, [this] { S2Click(); });
    connect(A1, &QAction::triggered, this, [this] { A1Click(); });
    connect(C1, &QAction::triggered, this, [this] { C1Click(); });

    aboutD = new TEPAboutDialog(this);

    mdTray1 = new TmdTray(this);
    mdTray1->BeginLoading();
    mdTray1->SetName("mdTray1");
    mdTray1->SetTip(texts.tip);
    mdTray1->SetPopupMenu(TrayPopup);
    mdTray1->DefaultFunction = [this](QObject*) { mdTray1DefaultFunction(); };
    mdTray1->OnNoTray = [this](TmdTray*, const std::string& reason) {
        noTrayReason_ = reason;
        if (window_)
            window_->NoTray(reason);
    };
    mdTray1->Loaded();
}

TTrayForm::~TTrayForm() {
    if (window_)
        window_->form_ = nullptr;
}

// Start switches on and Stop switches off, whatever the state.
void TTrayForm::S1Click() {
    if (window_)
        window_->SetProcessing(true);
}

void TTrayForm::S2Click() {
    if (window_)
        window_->SetProcessing(false);
}

void TTrayForm::A1Click() {
    aboutD->Execute();
}

void TTrayForm::C1Click() {
    Close();
}

void TTrayForm::mdTray1DefaultFunction() {
    if (!window_)
        return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

// Tables never close under a running pass.
void TTrayForm::Close(int exitCode) {
    if (closed_)
        return;
    if (window_ && window_->PassRunning()) {
        window_->RequestClose();
        return;
    }
    closed_ = true;
    exitCode_ = exitCode;
    if (window_)
        window_->EnablePassTimer(false);
    FormClose();
    if (OnTerminate)
        OnTerminate(exitCode);
}

} // namespace widgets
