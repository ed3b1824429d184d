#include "cfgman/frmstatus.h"

#include "widgets/frame/logpane.h"
#include "widgets/officebutton.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QToolTip>

namespace cfgman {

namespace {

QLabel* Label(QWidget* parent, const QString& text, int x, int y, int w, bool visible = true) {
    auto* label = new QLabel(text, parent);
    // Log texts and errors carry subjects and addresses as they came.
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(x, y, w, 17);
    label->setVisible(visible);
    return label;
}

} // namespace

TfrmStatus::TfrmStatus(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmStatus"));
    setWindowTitle(QStringLiteral("quelta System Status"));
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Arial"), 9));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QToolTip::palette().color(QPalette::ToolTipBase));
    setPalette(pal);
    setAutoFillBackground(true);
    setFixedSize(400, kCollapsed);

    auto* title = Label(this, QStringLiteral("Quelta System Status"), 16, 12, 360);
    QFont big = title->font();
    big.setPointSize(12);
    big.setBold(true);
    title->setFont(big);

    Label(this, QStringLiteral("Last Agent Status:"), 16, 60, 120);
    lblLastAMessage = Label(this, QString(), 140, 60, 240);
    lblCurrentAction = Label(this, QString(), 16, 90, 360);
    lblCurrentAction->setObjectName(QStringLiteral("lblCurrentAction"));
    // Written but never shown.
    lblNumErrors = Label(this, QStringLiteral("0"), 16, 120, 60, false);
    lblLastError = Label(this, QString(), 16, 140, 360, false);
    lblLastPMessage = Label(this, QString(), 16, 160, 360, false);

    btnDetails = new widgets::TOfficeButton(this);
    btnDetails->setObjectName(QStringLiteral("btnDetails"));
    btnDetails->SetCaption("Details >>");
    btnDetails->setGeometry(16, 225, 150, 28);
    btnDetails->OnClick = [this](QObject*) { btnDetailsClick(); };

    OfficeButton1 = new widgets::TOfficeButton(this);
    OfficeButton1->setObjectName(QStringLiteral("OfficeButton1"));
    OfficeButton1->SetCaption("Close");
    OfficeButton1->setGeometry(280, 225, 100, 28);
    OfficeButton1->OnClick = [this](QObject*) { OfficeButton1Click(); };

    // Outside the visible area: only Esc reaches it.
    btnCancel = new QPushButton(QStringLiteral("Close"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(-200, -200, 75, 25);
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });

    REStatus = new widgets::TLogPane(this);
    REStatus->setObjectName(QStringLiteral("REStatus"));
    REStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    REStatus->setGeometry(8, kCollapsed, 384, kExpanded - kCollapsed - 36);
}

QStringList TfrmStatus::Lines() const {
    REStatus->Flush();
    const QString text = REStatus->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void TfrmStatus::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TfrmStatus::FormShow() {
    setFixedHeight(kCollapsed);
    if (tag_ == 2)
        btnDetailsClick();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TfrmStatus::btnDetailsClick() {
    if (height() == kCollapsed) {
        setFixedHeight(kExpanded);
        tag_ = 2;
        btnDetails->SetCaption("Hide Details <<");
    } else {
        setFixedHeight(kCollapsed);
        tag_ = 0;
        btnDetails->SetCaption("Details >>");
    }
}

void TfrmStatus::closeEvent(QCloseEvent* event) {
    FormClose();
    QDialog::closeEvent(event);
}

void TfrmStatus::FormClose() {
    if (tag_ == 2)
        btnDetailsClick();
}

void TfrmStatus::OfficeButton1Click() {
    hide();
}

void TfrmStatus::btnCancelClick() {
    hide();
}

// Esc: hidden as "Close" does, the tag kept.
void TfrmStatus::reject() {
    btnCancelClick();
}

} // namespace cfgman
