#include "platform/win/tempfile.h"

#include "platform/win/paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace win {

std::string GetTempPath() {
    const char* t = std::getenv("TMPDIR");
    return IncludeTrailingPathDelimiter(t && *t ? t : "/tmp");
}

std::string CreateTempFile(const std::string& dir, const std::string& prefix) {
    std::string tmpl = IncludeTrailingPathDelimiter(ResolvePath(dir)) + prefix + "XXXXXX.tmp";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    int fd = ::mkstemps(buf.data(), 4); // mode 0600
    if (fd < 0)
        throw std::runtime_error("Cannot create a temporary file in " + dir + ": " +
                                 std::strerror(errno));
    ::close(fd);
    return std::string(buf.data());
}

} // namespace win
