#include "mail/mssafefile.h"

#include "mail/exception.h"
#include "platform/win/wholefile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <istream>
#include <unistd.h>
#include <vector>

namespace {

// fill writes the bytes into fd; false when it could not.
void WriteWhole(const std::string& path, const std::function<bool(int fd)>& fill) {
    const std::string tmp = path + ".~" + std::to_string(::getpid()) + ".part";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        RaiseFileCreateError(path);
    bool ok = fill(fd);
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        RaiseFileCreateError(path);
    }
}

} // namespace

void WriteFileWhole(const std::string& path, std::string_view data) {
    WriteWhole(path, [&](int fd) { return win::WriteAll(fd, data); });
}

void WriteFileWhole(const std::string& path, std::istream& data) {
    WriteWhole(path, [&](int fd) {
        std::streambuf* in = data.rdbuf();
        if (!in)
            return false;
        std::vector<char> chunk(65536);
        try {
            for (;;) {
                const std::streamsize n = in->sgetn(chunk.data(), 65536);
                if (n <= 0)
                    return true;
                if (!win::WriteAll(fd, {chunk.data(), static_cast<std::size_t>(n)}))
                    return false;
            }
        } catch (...) {
            return false; // a source that throws was not read whole
        }
    });
}
