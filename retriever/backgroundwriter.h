#pragma once
// Message files written whole (WriteFileWhole: a temporary name, flushed to
// the disk, renamed into place) on a thread of their own, so the disk's
// flushes overlap the transfer of the next messages. A caller waits for a
// file before it acts on its being stored (a DELE), and for all of them
// before the session ends; a write that failed is raised then.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace retriever {

class TBackgroundWriter {
public:
    // More than this many bytes waiting makes Write wait for room.
    static constexpr std::size_t kMaxQueued = 64u << 20;

    TBackgroundWriter() = default;
    // Finishes what is queued (its failures are not reported any more).
    ~TBackgroundWriter();
    TBackgroundWriter(const TBackgroundWriter&) = delete;
    TBackgroundWriter& operator=(const TBackgroundWriter&) = delete;

    void Write(std::string path, std::string data);
    // Queued or being written now.
    [[nodiscard]] bool Busy(const std::string& path) const;
    // Returns once path is written; raises EFCreateError when it could not be.
    void Wait(const std::string& path);
    // The same for everything queued; raises the first failure.
    void WaitAll();

private:
    void Run();
    void RaiseFailure(std::unique_lock<std::mutex>& lock, const std::string& path);

    mutable std::mutex mutex_;
    std::condition_variable work_, done_;
    std::deque<std::pair<std::string, std::string>> queue_;
    std::size_t queuedBytes_ = 0;
    std::multiset<std::string> busy_;
    std::map<std::string, std::string> failed_; // path -> the failure's text
    bool stop_ = false;
    std::thread thread_; // started by the first Write
};

} // namespace retriever
