#include "retriever/postp/startform.h"

#include "retriever/mailretriever.h"
#include "retriever/postp/mailagnt.h"
#include "retriever/settings.h"
#include "widgets/aboutdlg.h"
#include "widgets/mdtray.h"
#include "widgets/popupmenu.h"
#include "widgets/resources.h"

#include <QAction>
#include <QActionGroup>
#include <QPainter>
#include <QPixmap>

namespace postp {

namespace {

// The program's icon, drawn here since the program carries no image files.
QIcon MainIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 60, 120), 2));
    p.setBrush(QColor(250, 240, 200));
    p.drawRect(3, 8, 26, 17);
    p.drawLine(3, 8, 16, 18);
    p.drawLine(29, 8, 16, 18);
    p.setBrush(QColor(40, 140, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(20, 18, 11, 11);
    return QIcon(pixmap);
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    if (widgets::LoadIcon("MAINICON") == 0)
        widgets::RegisterIconResource("MAINICON", MainIcon());

    TrayPopup = new widgets::TPopupMenu(this);
    O1 = TrayPopup->addAction(QStringLiteral("&Open..."));
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
    Contents1 = help->addAction(QStringLiteral("Contents..."));
    help->addSeparator();
    A1 = help->addAction(QStringLiteral("&About"));
    C1 = TrayPopup->addAction(QStringLiteral("Close"));
    connect(O1, &QAction::triggered, this, [this] { O1Click(); });
    connect(S1, &QAction::triggered, this, [this] { S1Click(); });
    connect(S2, &QAction::triggered, this, [this] { S2Click(); });
    connect(A1, &QAction::triggered, this, [this] { A1Click(); });
    connect(C1, &QAction::triggered, this, [this] { C1Click(); });

    aboutD = new widgets::TEPAboutDialog(this);
    aboutD->SetProduct(retriever::kCaption);

    mdTray1 = new widgets::TmdTray(this);
    mdTray1->BeginLoading();
    mdTray1->SetName("mdTray1");
    mdTray1->SetTip("Quelta Mail Retreiver");
    mdTray1->SetPopupMenu(TrayPopup);
    mdTray1->DefaultFunction = [this](QObject*) { mdTray1DefaultFunction(); };
    mdTray1->OnNoTray = [this](widgets::TmdTray*, const std::string& reason) {
        noTrayReason_ = reason;
        if (frmMain)
            frmMain->NoTray(reason);
    };
    mdTray1->Loaded();
}

TForm1::~TForm1() {
    if (frmMain)
        frmMain->Form1Destroyed();
}

void TForm1::O1Click() {
    mdTray1DefaultFunction();
}

// Start switches retrieval on and Stop switches it off, whatever the state.
void TForm1::S1Click() {
    if (frmMain)
        frmMain->SetRetrieval(true);
}

void TForm1::S2Click() {
    if (frmMain)
        frmMain->SetRetrieval(false);
}

void TForm1::A1Click() {
    aboutD->Execute();
}

void TForm1::C1Click() {
    Close();
}

void TForm1::mdTray1DefaultFunction() {
    if (!frmMain)
        return;
    frmMain->show();
    frmMain->raise();
    frmMain->activateWindow();
}

void TForm1::Close(int exitCode) {
    if (closed_)
        return;
    if (frmMain && frmMain->PassRunning()) {
        frmMain->RequestClose();
        return;
    }
    closed_ = true;
    exitCode_ = exitCode;
    FormClose();
    if (OnTerminate)
        OnTerminate(exitCode);
}

void TForm1::FormClose() {
    if (!DM)
        return;
    try {
        DM->CloseTables();
    } catch (const std::exception& e) {
        DM->AppException(e.what());
    }
}

} // namespace postp
