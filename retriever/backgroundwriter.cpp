#include "retriever/backgroundwriter.h"

#include "mail/exception.h"
#include "mail/mssafefile.h"

namespace retriever {

TBackgroundWriter::~TBackgroundWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    work_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void TBackgroundWriter::Write(std::string path, std::string data) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return queue_.empty() || queuedBytes_ + data.size() <= kMaxQueued; });
    queuedBytes_ += data.size();
    busy_.insert(path);
    queue_.emplace_back(std::move(path), std::move(data));
    if (!thread_.joinable())
        thread_ = std::thread([this] { Run(); });
    lock.unlock();
    work_.notify_one();
}

bool TBackgroundWriter::Busy(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return busy_.count(path) > 0;
}

void TBackgroundWriter::RaiseFailure(std::unique_lock<std::mutex>& lock, const std::string& path) {
    auto it = path.empty() ? failed_.begin() : failed_.find(path);
    if (it == failed_.end())
        return;
    const std::string text = it->second;
    failed_.erase(it);
    lock.unlock();
    throw EFCreateError(text);
}

void TBackgroundWriter::Wait(const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return busy_.count(path) == 0; });
    RaiseFailure(lock, path);
}

void TBackgroundWriter::WaitAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return busy_.empty(); });
    RaiseFailure(lock, {});
}

void TBackgroundWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stopping, and everything is written
        auto [path, data] = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        std::string failure;
        try {
            WriteFileWhole(path, data);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        lock.lock();
        queuedBytes_ -= data.size();
        if (!failure.empty())
            failed_.emplace(path, failure);
        busy_.erase(busy_.find(path));
        done_.notify_all();
    }
}

} // namespace retriever
