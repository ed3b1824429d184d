#include "mail/mscls.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "mail/exception.h"
#include "platform/win/tempfile.h"

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

namespace {
std::vector<TTimeCounter*>& running() {
    static std::vector<TTimeCounter*> list;
    return list;
}
} // namespace

TTimeCounter::~TTimeCounter() {
    Stop();
}

void TTimeCounter::Start() {
    remaining_ = timeOut_;
    if (!enabled_)
        running().push_back(this);
    enabled_ = true;
}

void TTimeCounter::Stop() {
    if (!enabled_)
        return;
    enabled_ = false;
    auto& list = running();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TTimeCounter::Tick() {
    if (--remaining_ <= 0)
        expired_ = true;
}

void TTimeCounter::TickEnabled() {
    // A tick may stop counters; work on a copy.
    const std::vector<TTimeCounter*> now = running();
    for (TTimeCounter* c : now)
        if (std::find(running().begin(), running().end(), c) != running().end())
            c->Tick();
}
