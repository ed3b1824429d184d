// A tray program for xtray_test: shows one icon on the display it is given
// and prints a line for each tray event, so real clicks can be checked.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <string>

#include "widgets/mdtray.h"

namespace {

void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

QIcon Ball() {
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkCyan);
    QPainter painter(&pixmap);
    painter.setBrush(Qt::yellow);
    painter.drawEllipse(3, 3, 15, 15);
    return QIcon(pixmap);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    using namespace widgets;

    // The notification area may still be starting; "--no-wait" tries at once.
    const bool wait = !(argc > 1 && std::string(argv[1]) == "--no-wait");
    QElapsedTimer waited;
    waited.start();
    while (wait && !QSystemTrayIcon::isSystemTrayAvailable() && waited.elapsed() < 20000) {
        QThread::msleep(100);
        QCoreApplication::processEvents();
    }

    RegisterIconResource("MAINICON", Ball());
    QWidget form; // the hidden start-up window
    auto* tray = new TmdTray(&form);
    auto* menu = new TPopupMenu(&form);
    menu->addAction(QStringLiteral("About"));
    tray->SetPopupMenu(menu);
    tray->SimpelFunction = [](QObject*) { Say("SimpelFunction"); };
    tray->DefaultFunction = [](QObject*) { Say("DefaultFunction"); };
    tray->ShowMenu = [](QObject*) { Say("ShowMenu"); };
    tray->OnNoTray = [](TmdTray*, const std::string& why) { Say("NoTray " + why); };
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
        Say("MenuShown");
        QTimer::singleShot(300, menu, &QMenu::close);
    });

    tray->BeginLoading();
    tray->SetName("Quelta probe");
    tray->Loaded();
    if (tray->NoTray())
        return 3;
    Say("Ready");
    QTimer::singleShot(120000, &app, &QCoreApplication::quit);
    return app.exec();
}
