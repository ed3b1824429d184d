#include "mail/agwait.h"

#include <QCoreApplication>
#include <QTimer>

void TagWaiter::EnsureTickDriver() {
    static QTimer* driver = nullptr;
    if (driver || !QCoreApplication::instance())
        return;
    driver = new QTimer(QCoreApplication::instance());
    driver->setInterval(1000);
    QObject::connect(driver, &QTimer::timeout, [] { TTimeCounter::TickEnabled(); });
    QObject::connect(driver, &QObject::destroyed, [] { driver = nullptr; });
    driver->start();
}

void TagWaiter::Start() {
    EnsureTickDriver();
    counter_.Start();
}

void TagWaiter::Pump(const std::function<bool()>& done) {
    while (!done() && !Expired() && !QCoreApplication::closingDown())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TagWaiter::Wait(const std::function<bool()>& done) {
    Start();
    Pump(done);
    Stop();
}

void TagWaiter::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
