#pragma once
// Every change the engine makes to a file (a write, a truncation, a rename)
// passes here first. Crash tests count them, and end the process just before
// the nth one as a kill would: with XbStopAtWrite(n) in a forked child, or
// QUELTA_STOP_AT_WRITE=n for a program the test runs (exit status 86).
// Header-only, so the table, memo and index layers share one count.
#include <cstdlib>
#include <unistd.h>

namespace xbase {

struct WriteCount {
    long done = 0;   // changes made by this process so far
    long stopAt = 0; // the change before which the process ends (0 = never)
};

inline WriteCount& Writes() {
    static WriteCount w = [] {
        WriteCount c;
        if (const char* at = std::getenv("QUELTA_STOP_AT_WRITE"))
            c.stopAt = std::atol(at);
        return c;
    }();
    return w;
}

inline void WritePoint() {
    WriteCount& w = Writes();
    if (w.stopAt > 0 && w.done + 1 >= w.stopAt)
        ::_exit(86);
    ++w.done;
}

// The changes made so far, and the one before which to stop (counted from now).
[[nodiscard]] inline long XbWritesDone() {
    return Writes().done;
}
inline void XbStopAtWrite(long nthFromNow) {
    Writes().stopAt = nthFromNow > 0 ? Writes().done + nthFromNow : 0;
}

} // namespace xbase
