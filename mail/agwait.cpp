#include "mail/agwait.h"

#include <QCoreApplication>

#include <utility>

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
