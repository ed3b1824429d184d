#include "cfgman/splash.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace cfgman {

TSplashForm::TSplashForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SplashForm"));
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Dialog);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(400, 242);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    lblVersion = new QLabel(QString::fromLatin1(kVersionText), this);
    lblVersion->setGeometry(16, 200, 200, 16);
    lblWeb = new QLabel(QString::fromLatin1(kMakerAddress), this);
    lblWeb->setGeometry(16, 218, 200, 16);
    for (QLabel* label : {lblVersion, lblWeb}) {
        label->setPalette(pal);
        label->installEventFilter(this);
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
}

void TSplashForm::paintEvent(QPaintEvent*) {
    // The picture: the product's name over a dark blue band.
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    QLinearGradient band(0, 40, 0, 170);
    band.setColorAt(0, QColor(0, 32, 96));
    band.setColorAt(1, QColor(0, 8, 32));
    p.fillRect(QRect(0, 40, width(), 130), band);
    QFont title(QStringLiteral("Arial"), 34, QFont::Bold);
    p.setFont(title);
    p.setPen(QColor(240, 200, 64));
    p.drawText(QRect(0, 40, width(), 90), Qt::AlignCenter, QStringLiteral("Quelta"));
    QFont sub(QStringLiteral("Arial"), 11);
    p.setFont(sub);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 120, width(), 40), Qt::AlignCenter,
               QStringLiteral("Mail Management System"));
}

void TSplashForm::mousePressEvent(QMouseEvent*) {
    close();
}

bool TSplashForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace cfgman
