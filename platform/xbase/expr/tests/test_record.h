#pragma once
// A record held in memory, laid out like a DBF row, for expression tests.
#include "platform/xbase/expr/expr.h"

#include <cctype>
#include <map>
#include <string>
#include <vector>

namespace xbase::expr::testing {

class TestRecord : public Context {
public:
    // Adds a field with its raw bytes (padded with blanks to the width).
    TestRecord& Add(std::string name, char type, int width, std::string raw, int decimals = 0) {
        raw.resize(static_cast<std::size_t>(width), ' ');
        fields_.push_back({std::move(name), type, width, decimals});
        raw_.push_back(std::move(raw));
        return *this;
    }
    void Set(const std::string& name, std::string raw) {
        int i = FieldIndex(name);
        raw.resize(static_cast<std::size_t>(fields_[static_cast<std::size_t>(i)].width), ' ');
        raw_[static_cast<std::size_t>(i)] = std::move(raw);
    }

    int FieldIndex(std::string_view upperName) const override {
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (fields_[i].name == upperName)
                return static_cast<int>(i);
        return -1;
    }
    FieldInfo FieldAt(int i) const override { return fields_[static_cast<std::size_t>(i)]; }
    std::string_view FieldBytes(int i) const override { return raw_[static_cast<std::size_t>(i)]; }
    std::string MemoText(int i) const override {
        auto it = memos.find(i);
        return it == memos.end() ? std::string() : it->second;
    }
    std::uint32_t RecNo() const override { return recno; }
    bool Deleted() const override { return deleted; }
    const Settings& GetSettings() const override { return settings; }
    CodePage TextCodePage() const override { return codePage; }
    std::int32_t Today() const override { return today; }

    std::uint32_t recno = 7;
    bool deleted = false;
    Settings settings;
    CodePage codePage = CodePage::Ascii;
    std::int32_t today = JulianFromYmd(2024, 2, 29);
    std::map<int, std::string> memos;

private:
    std::vector<FieldInfo> fields_;
    std::vector<std::string> raw_;
};

} // namespace xbase::expr::testing
