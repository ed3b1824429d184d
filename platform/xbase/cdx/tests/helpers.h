#pragma once
// Test helpers: a scratch folder, a minimal DBF reader for the records that
// FoxPro indexed, and index_dump as the outside reader.
#include "platform/xbase/expr/expr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace xbase::cdx::testing {

namespace fs = std::filesystem;

class ScratchDir {
public:
    ScratchDir() {
        std::string tmpl = (fs::temp_directory_path() / "cdxtest.XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    [[nodiscard]] std::string File(const std::string& name) const {
        return (path_ / name).string();
    }

private:
    fs::path path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

// Lines that index_dump prints for one tag ("key recno"), or nothing when
// the tool is missing.
inline std::vector<std::string> IndexDump(const std::string& file, const std::string& tag,
                                          const char* type) {
    std::string cmd =
        std::string("index_dump --type ") + type + " '" + file + "' '" + tag + "' 2>/dev/null";
    std::vector<std::string> lines;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return lines;
    std::string cur;
    for (int c; (c = std::fgetc(p)) != EOF;) {
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += static_cast<char>(c);
        }
    }
    pclose(p);
    return lines;
}

inline bool HaveIndexDump() {
    return std::system("command -v index_dump >/dev/null 2>&1") == 0;
}

// One DBF table read whole; Row(i) is a record context over row i.
class DbfTable : public expr::Context {
public:
    explicit DbfTable(const std::string& path) {
        data_ = ReadAll(path);
        if (data_.size() < 32)
            throw std::runtime_error("short table " + path);
        auto u16 = [&](std::size_t at) {
            return static_cast<unsigned char>(data_[at]) | static_cast<unsigned char>(data_[at + 1])
                                                               << 8;
        };
        count_ = static_cast<std::uint32_t>(u16(4) | u16(6) << 16);
        headerLen_ = static_cast<std::size_t>(u16(8));
        recLen_ = static_cast<std::size_t>(u16(10));
        std::size_t offset = 1;
        for (std::size_t at = 32; at + 32 <= headerLen_ && data_[at] != '\x0D'; at += 32) {
            expr::FieldInfo f;
            f.name = std::string(data_.c_str() + at);
            f.type = data_[at + 11];
            f.width = static_cast<unsigned char>(data_[at + 16]);
            f.decimals = static_cast<unsigned char>(data_[at + 17]);
            fields_.push_back(f);
            offsets_.push_back(offset);
            offset += static_cast<std::size_t>(f.width);
        }
    }
    [[nodiscard]] std::uint32_t Count() const { return count_; }
    void Go(std::uint32_t recno) { recno_ = recno; }

    int FieldIndex(std::string_view upperName) const override {
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (fields_[i].name == upperName)
                return static_cast<int>(i);
        return -1;
    }
    expr::FieldInfo FieldAt(int i) const override { return fields_[static_cast<std::size_t>(i)]; }
    std::string_view FieldBytes(int i) const override {
        std::size_t at =
            headerLen_ + (recno_ - 1) * recLen_ + offsets_[static_cast<std::size_t>(i)];
        return std::string_view(data_).substr(
            at, static_cast<std::size_t>(fields_[static_cast<std::size_t>(i)].width));
    }
    std::uint32_t RecNo() const override { return recno_; }
    bool Deleted() const override { return data_[headerLen_ + (recno_ - 1) * recLen_] == '*'; }
    const expr::Settings& GetSettings() const override { return settings_; }

private:
    std::string data_;
    std::uint32_t count_ = 0, recno_ = 1;
    std::size_t headerLen_ = 0, recLen_ = 0;
    std::vector<expr::FieldInfo> fields_;
    std::vector<std::size_t> offsets_;
    expr::Settings settings_;
};

} // namespace xbase::cdx::testing
