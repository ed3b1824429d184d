#include "mail/agwait.h"

#include <QCoreApplication>
#include <QTimer>

#include <utility>

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

namespace {

int g_serving = 0; // waits inside processEvents now
std::exception_ptr g_failure;

void Serve(QEventLoop::ProcessEventsFlags flags) {
    ++g_serving;
    QCoreApplication::processEvents(flags);
    --g_serving;
}

void RaiseHandedFailure() {
    if (g_failure)
        std::rethrow_exception(std::exchange(g_failure, nullptr));
}

} // namespace

bool TagWaiter::RaiseInRunningWait(std::exception_ptr failure) {
    if (g_serving == 0)
        return false;
    if (!g_failure)
        g_failure = std::move(failure);
    return true;
}

void TagWaiter::Pump(const std::function<bool()>& done) {
    while (!done() && !Expired() && !QCoreApplication::closingDown()) {
        Serve(QEventLoop::WaitForMoreEvents);
        if (g_failure) {
            counter_.Stop();
            RaiseHandedFailure();
        }
    }
}

void TagWaiter::Wait(const std::function<bool()>& done) {
    Start();
    Pump(done);
    Stop();
}

void TagWaiter::ProcessMessages() {
    Serve(QEventLoop::AllEvents);
    RaiseHandedFailure();
}
