#include "platform/win/wholefile.h"

#include "platform/win/tempfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string_view>
#include <unistd.h>

namespace win {

namespace {

// The writer's process id of a temporary file name ("<name>.~<pid>.part",
// or "<name>.~<pid>.<n>.part"), or 0 for other names.
pid_t PartWriter(std::string_view name) {
    constexpr std::string_view open = ".~", close = ".part";
    if (!name.ends_with(close))
        return 0;
    name.remove_suffix(close.size());
    const size_t at = name.rfind(open);
    if (at == std::string_view::npos || at == 0)
        return 0;
    const std::string_view digits = name.substr(at + open.size());
    return ProcessIdText(digits.substr(0, digits.find('.')));
}

} // namespace

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void WriteWholeFile(const std::string& path, std::string_view text) {
    const std::string tmp = path + ".~" + std::to_string(::getpid()) + ".part";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("Cannot write " + path + ": " + std::strerror(errno));
    if (!WriteAll(fd, text)) {
        const int err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        throw std::runtime_error("Cannot write " + path + ": " + std::strerror(err));
    }
    ::fsync(fd);
    ::close(fd);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        throw std::runtime_error("Cannot write " + path + ": " + std::strerror(err));
    }
}

int RemoveAbandonedParts(const std::string& folder) {
    std::string base = folder;
    if (!base.empty() && base.back() != '/')
        base += '/';
    return RemoveFilesOfEndedProcesses(base, PartWriter);
}

} // namespace win
