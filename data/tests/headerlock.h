#pragma once
// Another program holding a table's header lock, as the engine's writers
// hold it while they change the record count or the keys: a second process
// that takes the lock and keeps it until Release.
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/xbase/xbdbf.h"

namespace data::test {

class THeaderLockHolder {
public:
    explicit THeaderLockHolder(const std::string& dbfPath) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = static_cast<off_t>(xbase::kLockHeader);
            fl.l_len = 1;
            const int fd = ::open(dbfPath.c_str(), O_RDWR);
            const char held = fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &fl) == 0 ? 1 : 0;
            (void)!::write(ready[1], &held, 1);
            char c = 0;
            while (::read(release[0], &c, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char held = 0;
        held_ = pid_ > 0 && ::read(ready[0], &held, 1) == 1 && held == 1;
        ::close(ready[0]);
    }
    ~THeaderLockHolder() { Release(); }
    THeaderLockHolder(const THeaderLockHolder&) = delete;
    THeaderLockHolder& operator=(const THeaderLockHolder&) = delete;

    [[nodiscard]] bool Held() const { return held_; }
    // The other program lets go (it ends).
    void Release() {
        if (release_ >= 0)
            ::close(release_);
        release_ = -1;
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        held_ = false;
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool held_ = false;
};

} // namespace data::test
