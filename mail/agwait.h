#pragma once
// The one form of every network and dial-up wait: start the inactivity
// countdown, serve Qt's event loop until a condition holds or the countdown
// expires, stop the countdown. Between events the thread sleeps in the
// event loop; the countdown's own timer wakes it.
#include "mail/mscls.h"

#include <exception>
#include <functional>

class TagWaiter {
public:
    explicit TagWaiter(int timeOut) { counter_.SetTimeOut(timeOut); }
    TagWaiter(const TagWaiter&) = delete;
    TagWaiter& operator=(const TagWaiter&) = delete;

    [[nodiscard]] int TimeOut() const { return counter_.TimeOut(); }
    void SetTimeOut(int seconds) { counter_.SetTimeOut(seconds); }

    // Remaining count := TimeOut, ticking; the expired mark stays as it is.
    void Start() { counter_.Start(); }
    void Stop() { counter_.Stop(); }
    // Only ClearExpired clears the mark, so a wait that starts after an
    // expiry ends at once.
    [[nodiscard]] bool Expired() const { return counter_.Expired(); }
    void ClearExpired() { counter_.SetExpired(false); }
    [[nodiscard]] TTimeCounter& Counter() { return counter_; }

    // Serves the queue until done() or Expired(); blocks between events.
    void Pump(const std::function<bool()>& done);
    // Start, Pump, Stop.
    void Wait(const std::function<bool()>& done);
    // One pass over the pending events, without blocking.
    static void ProcessMessages();
    // Hands a failure met inside the event loop, where nothing may be
    // thrown, to the wait serving the loop: Pump and ProcessMessages raise
    // it as soon as the loop returns to them. False when no wait is serving
    // it. The first failure handed is the one raised.
    static bool RaiseInRunningWait(std::exception_ptr failure);

private:
    TTimeCounter counter_;
};
