#pragma once
// Small classes the mail components rest on: a temporary file that goes
// away with its stream, a memory stream read line by line, and a
// one-second countdown with an expired mark.
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

class QTimer;

// A new file "ms<pid>-<unique>.tmp" (mode 0600) in $TMPDIR or /tmp, open
// for reading and writing; erased when the stream is destroyed.
class TTempFileStream : public std::fstream {
public:
    // Raises EFCreateError when the file cannot be made or opened. The
    // first one of a process also removes what killed programs left.
    TTempFileStream();
    ~TTempFileStream() override;
    TTempFileStream(const TTempFileStream&) = delete;
    TTempFileStream& operator=(const TTempFileStream&) = delete;

    [[nodiscard]] const std::string& FileName() const { return fileName_; }

    // Removes the temporary files of programs that were stopped while they
    // held one (each file holds a copy of a message); a running program's
    // files stay. Returns how many went.
    static int RemoveAbandoned();

private:
    std::string fileName_;
};

// Handed out once all lines are read; callers test Eof() rather than it.
inline const std::string kLineStreamEnd = "\xff\xff\xff\xff";

// Bytes held in memory and handed out as lines without their breaks (CR
// LF, LF or CR). A final line without a break is a line too; a final break
// does not start an empty one. Lines have no length limit and any byte,
// NUL included, is line text.
class TLineStream {
public:
    TLineStream() = default;

    void Write(std::string_view bytes) { data_.append(bytes); }
    // Reads everything from the stream's current position to its end.
    void LoadFromStream(std::istream& in);
    [[nodiscard]] const std::string& Data() const { return data_; }
    [[nodiscard]] std::size_t Size() const { return data_.size(); }

    // Back to the first line.
    void Reset();
    // The next line; after the last one, kLineStreamEnd with Eof() set.
    void ReadLine(std::string& line);
    [[nodiscard]] bool Eof() const { return eof_; }
    // Offset of the next unread byte.
    [[nodiscard]] std::size_t Position() const { return pos_; }

private:
    std::string data_;
    std::size_t pos_ = 0;
    bool eof_ = false;
};

// Counts a time-out down in one-second ticks. A started counter has a
// timer of its own that ticks once for each whole second since its own
// start (Start begins the seconds anew), so a time-out of N seconds never
// expires before N seconds have passed. Without Qt's application object no
// timer runs; tests call Tick by hand.
class TTimeCounter {
public:
    TTimeCounter();
    ~TTimeCounter();
    TTimeCounter(const TTimeCounter&) = delete;
    TTimeCounter& operator=(const TTimeCounter&) = delete;

    [[nodiscard]] int TimeOut() const { return timeOut_; }
    void SetTimeOut(int seconds) { timeOut_ = seconds; }
    // Remaining := TimeOut and ticking; the expired mark stays as it is.
    void Start();
    void Stop();
    [[nodiscard]] bool Enabled() const { return enabled_; }
    // One second less; at 0 or below the expired mark is set.
    void Tick();
    [[nodiscard]] bool Expired() const { return expired_; }
    void SetExpired(bool value) { expired_ = value; }

private:
    // The timer's due moment: a Tick for each second passed since Start.
    void Elapse();

    bool enabled_ = false;
    int remaining_ = 0;
    int timeOut_ = 60;
    bool expired_ = false;
    std::chrono::steady_clock::time_point started_;
    long long ticked_ = 0;
    std::unique_ptr<QTimer> timer_;
};
