#include "mail/agwait.h"

#include <QCoreApplication>

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
