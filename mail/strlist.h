#pragma once
// An ordered list of byte strings, one entry a line, as message bodies and
// header blocks are held. Indexing outside the list raises EListError.
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class TStringList {
public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> lines) : items_(lines) {}

    [[nodiscard]] int Count() const { return static_cast<int>(items_.size()); }
    [[nodiscard]] bool Empty() const { return items_.empty(); }
    [[nodiscard]] const std::string& operator[](int index) const;
    [[nodiscard]] std::string& operator[](int index);

    void Add(std::string line) { items_.push_back(std::move(line)); }
    void Insert(int index, std::string line);
    void Delete(int index);
    void Clear() { items_.clear(); }
    // Index of the first entry equal to text (exactly), or -1.
    [[nodiscard]] int IndexOf(std::string_view text) const;

    // Every entry followed by CR LF.
    [[nodiscard]] std::string Text() const;
    // Replaces the entries by the lines of text, broken at CR LF, LF or CR;
    // a final break does not start an empty line.
    void SetText(std::string_view text);

    [[nodiscard]] const std::vector<std::string>& Lines() const { return items_; }
    [[nodiscard]] auto begin() const { return items_.begin(); }
    [[nodiscard]] auto end() const { return items_.end(); }

    bool operator==(const TStringList&) const = default;

protected:
    std::vector<std::string> items_;
};
