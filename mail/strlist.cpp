#include "mail/strlist.h"

#include "mail/exception.h"

const std::string& TStringList::operator[](int index) const {
    if (index < 0 || index >= Count())
        RaiseListIndexError(index);
    return items_[static_cast<size_t>(index)];
}

std::string& TStringList::operator[](int index) {
    if (index < 0 || index >= Count())
        RaiseListIndexError(index);
    return items_[static_cast<size_t>(index)];
}

void TStringList::Insert(int index, std::string line) {
    if (index < 0 || index > Count())
        RaiseListIndexError(index);
    items_.insert(items_.begin() + index, std::move(line));
}

void TStringList::Delete(int index) {
    if (index < 0 || index >= Count())
        RaiseListIndexError(index);
    items_.erase(items_.begin() + index);
}

int TStringList::IndexOf(std::string_view text) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i] == text)
            return static_cast<int>(i);
    return -1;
}

std::string TStringList::Text() const {
    size_t size = 0;
    for (const auto& s : items_)
        size += s.size() + 2;
    std::string out;
    out.reserve(size);
    for (const auto& s : items_) {
        out += s;
        out += "\r\n";
    }
    return out;
}

void TStringList::SetText(std::string_view text) {
    items_.clear();
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        size_t j = i;
        while (j < n && text[j] != '\r' && text[j] != '\n')
            ++j;
        items_.emplace_back(text.substr(i, j - i));
        if (j < n && text[j++] == '\r' && j < n && text[j] == '\n')
            ++j;
        i = j;
    }
}
