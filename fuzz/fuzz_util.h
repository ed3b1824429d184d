#pragma once
// Small helpers the fuzz targets share: cutting one input into several
// pieces, and a scratch folder of the process for targets that read files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fuzz {

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at every separator line "\n====\n" (the seeds are written
// that way); missing pieces are empty.
inline std::vector<std::string_view> Pieces(std::string_view all, std::size_t count) {
    static constexpr std::string_view kSep = "\n====\n";
    std::vector<std::string_view> out;
    while (out.size() + 1 < count) {
        std::size_t at = all.find(kSep);
        if (at == std::string_view::npos)
            break;
        out.push_back(all.substr(0, at));
        all.remove_prefix(at + kSep.size());
    }
    out.push_back(all);
    out.resize(count);
    return out;
}

// A folder of this process, made on first use (in memory when /dev/shm is
// there), removed at a normal exit.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string tmpl = std::string(base) + "/quelta-fuzz.XXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data()))
            std::abort();
        return std::string(buf.data());
    }();
    static const bool cleanup = [] {
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(dir, ec);
        });
        return true;
    }();
    (void)cleanup;
    return dir;
}

// Writes bytes to a file of the scratch folder; returns its path.
inline std::string WriteScratch(const std::string& name, std::string_view bytes) {
    std::string path = ScratchDir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
        std::abort();
    std::fclose(f);
    return path;
}

inline void RemoveScratch(const std::string& name) {
    std::error_code ec;
    std::filesystem::remove(ScratchDir() + "/" + name, ec);
}

} // namespace fuzz
