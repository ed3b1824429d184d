#include "mail/mscls.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "mail/exception.h"
#include "platform/win/tempfile.h"

#include <QCoreApplication>
#include <QTimer>

// --- TTempFileStream ------------------------------------------------------

int TTempFileStream::RemoveAbandoned() {
    return win::RemoveAbandonedTempFiles(win::GetTempPath(), "ms");
}

TTempFileStream::TTempFileStream() {
    static const bool cleaned = (RemoveAbandoned(), true);
    (void)cleaned;
    try {
        fileName_ = win::CreateTempFile(win::GetTempPath(), "ms");
    } catch (const std::exception& e) {
        throw EFCreateError(std::string("Cannot create a temporary file. ") + e.what());
    }
    open(fileName_, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    if (!is_open()) {
        std::remove(fileName_.c_str());
        RaiseFileCreateError(fileName_);
    }
}

TTempFileStream::~TTempFileStream() {
    close();
    std::remove(fileName_.c_str()); // a failure to erase is of no consequence here
}

// --- TLineStream ----------------------------------------------------------

void TLineStream::LoadFromStream(std::istream& in) {
    std::streambuf* buf = in.rdbuf();
    if (!buf)
        return;
    // A stream of known size is read straight into place; others in blocks.
    const std::istream::pos_type here = in.tellg();
    if (here != std::istream::pos_type(-1) && in.seekg(0, std::ios::end)) {
        const std::istream::pos_type end = in.tellg();
        in.seekg(here);
        if (end != std::istream::pos_type(-1) && end > here) {
            const std::size_t old = data_.size();
            const auto want = static_cast<std::size_t>(end - here);
            data_.resize(old + want);
            const std::streamsize got =
                buf->sgetn(data_.data() + old, static_cast<std::streamsize>(want));
            data_.resize(old + static_cast<std::size_t>(std::max<std::streamsize>(got, 0)));
        }
    }
    in.clear();
    char block[1 << 16];
    for (;;) {
        const std::streamsize got = buf->sgetn(block, sizeof block);
        if (got <= 0)
            break;
        data_.append(block, static_cast<std::size_t>(got));
    }
}

void TLineStream::Reset() {
    pos_ = 0;
    eof_ = false;
}

void TLineStream::ReadLine(std::string& line) {
    if (pos_ >= data_.size()) {
        line = kLineStreamEnd;
        eof_ = true;
        return;
    }
    const char* begin = data_.data() + pos_;
    const char* end = data_.data() + data_.size();
    // The line ends at the first LF or CR, whichever comes first.
    const void* lf = std::memchr(begin, '\n', static_cast<std::size_t>(end - begin));
    const char* stop = lf ? static_cast<const char*>(lf) : end;
    const void* cr = std::memchr(begin, '\r', static_cast<std::size_t>(stop - begin));
    const char* p = cr ? static_cast<const char*>(cr) : stop;
    line.assign(begin, p);
    if (p < end && *p++ == '\r' && p < end && *p == '\n')
        ++p;
    pos_ = static_cast<std::size_t>(p - data_.data());
}

// --- TTimeCounter ---------------------------------------------------------

TTimeCounter::TTimeCounter() = default;

TTimeCounter::~TTimeCounter() = default;

void TTimeCounter::Start() {
    remaining_ = timeOut_;
    enabled_ = true;
    started_ = std::chrono::steady_clock::now();
    ticked_ = 0;
    if (!QCoreApplication::instance())
        return;
    if (!timer_) {
        timer_ = std::make_unique<QTimer>();
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { Elapse(); });
    }
    // A timer still due from the last start finds no whole second of this one.
    if (!timer_->isActive())
        timer_->start(1000);
}

void TTimeCounter::Stop() {
    enabled_ = false;
    if (timer_)
        timer_->stop();
}

void TTimeCounter::Tick() {
    if (--remaining_ <= 0)
        expired_ = true;
}

void TTimeCounter::Elapse() {
    if (!enabled_)
        return;
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started_)
                             .count();
    // A timer that comes early counts no second; a late one all it missed.
    while (ticked_ < ms / 1000) {
        ++ticked_;
        Tick();
    }
    timer_->start(static_cast<int>(std::max(1LL, (ticked_ + 1) * 1000 - ms)));
}
