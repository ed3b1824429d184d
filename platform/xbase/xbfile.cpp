#include "platform/xbase/xbfile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/xbase/xberror.h"
#include "platform/xbase/xbwrites.h"

namespace xbase {

namespace {
int g_failWriteCountdown = 0;
} // namespace

void ThrowCorrupt(const std::string& file, const std::string& where, const std::string& what) {
    throw Error(XB_ERR_CORRUPT, "Corrupt file " + file + " (" + where + "): " + what);
}

void ThrowIo(const std::string& file, const std::string& what, int err) {
    throw Error(XB_ERR_IO, "I/O error on " + file + ": " + what + ": " + std::strerror(err));
}

void FailNthWrite(int n) {
    g_failWriteCountdown = n;
}

void StopPoint(const char* point, const std::string& path) {
    static const char* const wanted = std::getenv("QUELTA_STOP_AT");
    if (wanted == nullptr)
        return;
    const std::string name = point + (":" + path.substr(path.find_last_of('/') + 1));
    if (::strcasecmp(wanted, name.c_str()) == 0)
        ::_exit(86);
}

File::~File() {
    Close();
}

void File::Open(const std::string& path, bool writable) {
    Close();
    int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw Error(XB_ERR_NOFILE, "File not found: " + path);
        ThrowIo(path, "open", errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error(XB_ERR_NOFILE, "Not a regular file: " + path);
    }
    fd_ = fd;
    writable_ = writable;
    path_ = path;
}

void File::Create(const std::string& path) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            throw Error(XB_ERR_EXISTS, "File exists: " + path);
        ThrowIo(path, "create", errno);
    }
    fd_ = fd;
    writable_ = true;
    path_ = path;
}

void File::Close() {
    Unmap();
    if (fd_ >= 0)
        ::close(fd_); // also drops this description's locks
    fd_ = -1;
}

namespace {
std::uint64_t fileReads = 0; // the engine runs on one thread
} // namespace

std::uint64_t FileReads() {
    return fileReads;
}

std::size_t File::ReadSome(std::uint64_t offset, void* buf, std::size_t n) const {
    std::size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < n) {
        ++fileReads;
        ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            ThrowIo(path_, "read", errno);
        }
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

void File::ReadAt(std::uint64_t offset, void* buf, std::size_t n, const char* what) const {
    if (ReadSome(offset, buf, n) != n)
        ThrowCorrupt(path_, what, "file ends early");
}

bool File::MapHead(std::size_t n) {
    Unmap();
    if (fd_ < 0 || n == 0 || Size() < n)
        return false;
    void* p = ::mmap(nullptr, n, PROT_READ, MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED)
        return false;
    head_ = static_cast<const volatile unsigned char*>(p);
    headSize_ = n;
    return true;
}

void File::Unmap() {
    if (head_)
        ::munmap(const_cast<unsigned char*>(head_), headSize_);
    head_ = nullptr;
    headSize_ = 0;
}

void File::ReadHead(std::uint64_t offset, void* buf, std::size_t n, const char* what) const {
    if (!head_ || offset + n > headSize_) {
        ReadAt(offset, buf, n, what);
        return;
    }
    // Ordered after the reads before and before the reads after, as a
    // system call would be.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    auto* out = static_cast<unsigned char*>(buf);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = head_[offset + i];
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

void File::WriteAt(std::uint64_t offset, const void* buf, std::size_t n) {
    WritePoint();
    if (g_failWriteCountdown > 0 && --g_failWriteCountdown == 0)
        ThrowIo(path_, "write (injected)", EIO);
    std::size_t done = 0;
    const auto* p = static_cast<const char*>(buf);
    while (done < n) {
        ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            ThrowIo(path_, "write", errno);
        }
        done += static_cast<std::size_t>(r);
    }
}

std::uint64_t File::Size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        ThrowIo(path_, "stat", errno);
    return static_cast<std::uint64_t>(st.st_size);
}

void File::Truncate(std::uint64_t size) {
    WritePoint();
    if (size < headSize_)
        Unmap(); // reads past the end of a mapping would fault
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        ThrowIo(path_, "truncate", errno);
}

void File::Sync() {
    if (::fsync(fd_) != 0)
        ThrowIo(path_, "sync", errno);
}

void File::MatchMode(const File& other) {
    struct stat st {};
    if (::fstat(other.fd_, &st) != 0)
        return;
    // The owner where this user may give it, else at least the group, so the
    // users who could write the table still can.
    if (::fchown(fd_, st.st_uid, st.st_gid) != 0)
        (void)::fchown(fd_, static_cast<uid_t>(-1), st.st_gid);
    (void)::fchmod(fd_, st.st_mode & 07777);
}

void File::TakeOver(File& other, const std::string& path) {
    if (&other == this)
        return;
    Close();
    fd_ = other.fd_;
    writable_ = other.writable_;
    path_ = path;
    other.fd_ = -1;
    other.Unmap();
}

bool File::StillAt(const std::string& path) const {
    struct stat mine {
    }, there{};
    return ::fstat(fd_, &mine) == 0 && ::stat(path.c_str(), &there) == 0 &&
           mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

std::string TempBeside(const std::string& path, const std::string& what) {
    return path + "." + what + "-" + std::to_string(::getpid());
}

void RemoveLeftBeside(const std::string& path, const std::string& what) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string prefix =
        (slash == std::string::npos ? path : path.substr(slash + 1)) + "." + what + "-";
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    std::vector<std::string> left;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string pid = name.substr(prefix.size());
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos ||
            pid.size() > 9)
            continue;
        if (::kill(std::stoi(pid), 0) != 0 && errno == ESRCH)
            left.push_back(dir + "/" + name);
    }
    ::closedir(d);
    for (const auto& f : left)
        ::unlink(f.c_str());
}

void ReplaceFile(const std::string& from, const std::string& to) {
    WritePoint();
    if (::rename(from.c_str(), to.c_str()) != 0)
        ThrowIo(to, "rename", errno);
    const std::size_t slash = to.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : to.substr(0, slash + 1);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool File::Lock(std::uint64_t offset, std::uint64_t len, LockKind kind, int timeoutMs) {
    struct flock fl {};
    fl.l_type = kind == LockKind::Read ? F_RDLCK : F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(len);
    fl.l_pid = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            ThrowIo(path_, "lock", errno);
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void File::Unlock(std::uint64_t offset, std::uint64_t len) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(len);
    fl.l_pid = 0;
    ::fcntl(fd_, F_OFD_SETLK, &fl);
}

namespace {

// The entry of dir whose name equals name without regard to case ("" = none).
std::string FindEntry(const std::string& dir, const std::string& name) {
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d)
        return "";
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (::strcasecmp(e->d_name, name.c_str()) == 0) {
            found = e->d_name;
            if (found == name)
                break; // an exact match wins
        }
    }
    ::closedir(d);
    return found;
}

} // namespace

std::string ResolveNoCase(const std::string& input) {
    std::string path = input;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return path;
    std::string out;
    std::size_t pos = 0;
    if (!path.empty() && path[0] == '/') {
        out = "/";
        pos = 1;
    }
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        std::string comp =
            path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (!comp.empty()) {
            std::string dir = out.empty() ? std::string(".") : out;
            std::string probe = out + comp;
            if (::stat(probe.c_str(), &st) != 0 && comp != "." && comp != "..") {
                std::string hit = FindEntry(dir, comp);
                if (!hit.empty())
                    comp = hit;
            }
            out += comp;
        }
        if (slash == std::string::npos)
            break;
        out += '/';
        pos = slash + 1;
    }
    return out;
}

bool FileExistsNoCase(const std::string& path) {
    struct stat st {};
    return ::stat(ResolveNoCase(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace xbase
