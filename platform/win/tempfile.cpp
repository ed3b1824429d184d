#include "platform/win/tempfile.h"

#include "platform/win/paths.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace win {

std::string GetTempPath() {
    const char* t = std::getenv("TMPDIR");
    return IncludeTrailingPathDelimiter(t && *t ? t : "/tmp");
}

std::string CreateTempFile(const std::string& dir, const std::string& prefix) {
    std::string tmpl = IncludeTrailingPathDelimiter(ResolvePath(dir)) + prefix +
                       std::to_string(::getpid()) + "-XXXXXX.tmp";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    int fd = ::mkstemps(buf.data(), 4); // mode 0600
    if (fd < 0)
        throw std::runtime_error("Cannot create a temporary file in " + dir + ": " +
                                 std::strerror(errno));
    ::close(fd);
    return std::string(buf.data());
}

pid_t ProcessIdText(std::string_view digits) {
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

int RemoveFilesOfEndedProcesses(const std::string& folder,
                                const std::function<pid_t(std::string_view name)>& owner) {
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d)
        return 0;
    int removed = 0;
    while (const dirent* e = ::readdir(d)) {
        const pid_t pid = owner(e->d_name);
        // A process that exists but is not ours (EPERM) still runs.
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        const std::string path = folder + e->d_name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid())
            continue;
        if (::unlink(path.c_str()) == 0)
            ++removed;
    }
    ::closedir(d);
    return removed;
}

int RemoveAbandonedTempFiles(const std::string& dir, const std::string& prefix) {
    // "<prefix><pid>-<6 characters>.tmp"
    return RemoveFilesOfEndedProcesses(
        IncludeTrailingPathDelimiter(ResolvePath(dir)), [&](std::string_view name) -> pid_t {
            constexpr std::string_view ext = ".tmp";
            if (!name.starts_with(prefix) || !name.ends_with(ext))
                return 0;
            name.remove_prefix(prefix.size());
            name.remove_suffix(ext.size());
            const size_t dash = name.find('-');
            if (dash == std::string_view::npos || name.size() - dash - 1 != 6)
                return 0;
            return ProcessIdText(name.substr(0, dash));
        });
}

} // namespace win
