#include "mail/mssafefile.h"

#include "mail/exception.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

void WriteFileWhole(const std::string& path, std::string_view data) {
    const std::string tmp = path + ".~" + std::to_string(::getpid()) + ".part";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        RaiseFileCreateError(path);
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        RaiseFileCreateError(path);
    }
}
