#include "mail/mssafefile.h"

#include "mail/exception.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// "<name>.~<pid>.part": the writer's process id tells whether it still runs.
constexpr std::string_view kPartOpen = ".~";
constexpr std::string_view kPartClose = ".part";

std::string PartName(const std::string& path) {
    return path + std::string(kPartOpen) + std::to_string(::getpid()) + std::string(kPartClose);
}

// The writer's process id of a temporary file name ("<name>.~<pid>.part",
// or "<name>.~<pid>.<n>.part"), or 0 for other names.
pid_t PartWriter(std::string_view name) {
    if (!name.ends_with(kPartClose))
        return 0;
    name.remove_suffix(kPartClose.size());
    const size_t open = name.rfind(kPartOpen);
    if (open == std::string_view::npos || open == 0)
        return 0;
    std::string_view digits = name.substr(open + kPartOpen.size());
    digits = digits.substr(0, digits.find('.'));
    if (digits.empty() || digits.size() > 9)
        return 0;
    pid_t pid = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

} // namespace

void WriteFileWhole(const std::string& path, std::string_view data) {
    const std::string tmp = PartName(path);
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

int RemoveAbandonedParts(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return 0;
    std::string base = folder;
    if (!base.empty() && base.back() != '/')
        base += '/';
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t pid = PartWriter(entry->d_name);
        // A process that exists but is not ours (EPERM) still runs.
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        if (::unlink((base + entry->d_name).c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}
