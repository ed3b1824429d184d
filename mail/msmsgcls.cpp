#include "mail/msmsgcls.h"

#include <fstream>
#include <iterator>

#include "mail/exception.h"
#include "mail/msmime.h"
#include "mail/msutils.h"
#include "platform/win/paths.h"

namespace {

MailAddressDlgHook& addressDlgHook() {
    static MailAddressDlgHook hook;
    return hook;
}

bool isFoldBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

// --- TmsMailAddress -------------------------------------------------------

TmsMailAddress::TmsMailAddress(std::string_view address, std::string_view name)
    : name_(Cut255(name)), address_(Cut255(address)) {}

void TmsMailAddress::SetName(std::string_view name) {
    name_ = Cut255(name);
}

void TmsMailAddress::SetAddress(std::string_view address) {
    address_ = Cut255(address);
}

void TmsMailAddress::Assign(const TmsMailAddress& source) {
    name_ = source.name_;
    address_ = source.address_;
}

void TmsMailAddress::Clear() {
    name_.clear();
    address_.clear();
}

void TmsMailAddress::Edit() {
    const MailAddressDlgHook& hook = addressDlgHook();
    if (!hook)
        return;
    TmsMailAddress copy(*this);
    if (hook(copy)) {
        SetName(copy.Name());
        SetAddress(copy.Address());
    }
}

void SetMailAddressDlgHook(MailAddressDlgHook hook) {
    addressDlgHook() = std::move(hook);
}

// --- TmsAddressList -------------------------------------------------------

TmsMailAddress& TmsAddressList::Add(std::string_view address, std::string_view name) {
    items_.push_back(std::make_unique<TmsMailAddress>(address, name));
    return *items_.back();
}

void TmsAddressList::AddItem(std::unique_ptr<TmsMailAddress> entry) {
    if (entry)
        items_.push_back(std::move(entry));
}

TmsMailAddress& TmsAddressList::GetItem(int index) const {
    if (index < 0 || index >= GetCount())
        RaiseListIndexError(index);
    return *items_[static_cast<size_t>(index)];
}

void TmsAddressList::Clear() {
    while (!items_.empty())
        items_.pop_back();
}

void TmsAddressList::Delete(int index) {
    if (index < 0 || index >= GetCount())
        RaiseListIndexError(index);
    items_.erase(items_.begin() + index);
}

void TmsAddressList::Assign(const TmsAddressList& source) {
    if (&source == this)
        return;
    Clear();
    for (const auto& e : source.items_)
        items_.push_back(std::make_unique<TmsMailAddress>(*e));
}

// --- TmsAttItem -----------------------------------------------------------

void TmsAttItem::SetFileName(std::string_view name) {
    fileName_ = Cut255(name);
    if (name.empty())
        return;
    contentType_ = Cut255(GetContentTypeOfFile(fileName_));
    const std::string type = UpperCase(contentType_);
    if (type == "TEXT/PLAIN" || type == "TEXT/RTF" || type == "TEXT/HTML")
        encoding_ = aeQuotedPrintable;
    else if (type == "MESSAGE/RFC822")
        encoding_ = aeSevenBit;
    else
        encoding_ = aeBase64;
}

void TmsAttItem::SetContentType(std::string_view type) {
    contentType_ = Cut255(type);
}

void TmsAttItem::Assign(const TmsAttItem& source) {
    if (&source == this)
        return;
    data_ = source.data_;
    contentType_ = source.contentType_;
    encoding_ = source.encoding_;
    fileName_ = source.fileName_;
}

// --- TmsAttList -----------------------------------------------------------

TmsAttItem& TmsAttList::AddFile(const std::string& fileName) {
    std::ifstream in(win::ResolvePath(fileName), std::ios::binary);
    if (!in)
        RaiseFileOpenError(fileName);
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(fileName);
    item->SetData(std::string(std::istreambuf_iterator<char>(in), {}));
    if (in.bad())
        RaiseFileOpenError(fileName);
    items_.push_back(std::move(item));
    return *items_.back();
}

void TmsAttList::AddItem(std::unique_ptr<TmsAttItem> item) {
    if (item)
        items_.push_back(std::move(item));
}

TmsAttItem& TmsAttList::GetItem(int index) const {
    if (index < 0 || index >= GetCount())
        RaiseListIndexError(index);
    return *items_[static_cast<size_t>(index)];
}

void TmsAttList::Clear() {
    while (!items_.empty())
        items_.pop_back();
}

void TmsAttList::Delete(int index) {
    if (index < 0 || index >= GetCount())
        RaiseListIndexError(index);
    items_.erase(items_.begin() + index);
}

void TmsAttList::Assign(const TmsAttList& source) {
    if (&source == this)
        return;
    Clear();
    for (const auto& item : source.items_)
        items_.push_back(std::make_unique<TmsAttItem>(*item));
}

// --- TmsHeaders -----------------------------------------------------------

int TmsHeaders::FindField(std::string_view name, int from) const {
    if (!name.empty() && name.back() == ':')
        name.remove_suffix(1);
    if (name.empty())
        return -1;
    for (int i = std::max(from, 0); i < Count(); ++i) {
        const std::string& line = items_[static_cast<size_t>(i)];
        if (!StartsText(name, line))
            continue;
        size_t k = name.size();
        while (k < line.size() && isFoldBlank(line[k]))
            ++k;
        if (k < line.size() && line[k] == ':')
            return i;
    }
    return -1;
}

int TmsHeaders::FieldEnd(int line) const {
    int i = line + 1;
    while (i < Count()) {
        const std::string& s = items_[static_cast<size_t>(i)];
        if (s.empty())
            break; // the end of the header block
        const bool continuation =
            (!s.empty() && isFoldBlank(s[0])) || s.find(':') == std::string::npos;
        if (!continuation)
            break;
        ++i;
    }
    return i;
}

std::string TmsHeaders::UnfoldedValue(int line, int end) const {
    const std::string& first = items_[static_cast<size_t>(line)];
    std::string value = Trim(std::string_view(first).substr(first.find(':') + 1));
    for (int i = line + 1; i < end; ++i) {
        value += ' ';
        value += Trim(items_[static_cast<size_t>(i)]);
    }
    return value;
}

std::vector<std::string> TmsHeaders::FieldLines(std::string_view name) const {
    const int line = FindField(name, 0);
    if (line < 0)
        return {};
    return {items_.begin() + line, items_.begin() + FieldEnd(line)};
}

std::string TmsHeaders::GetRawFieldValue(std::string_view name) const {
    const int line = FindField(name, 0);
    return line < 0 ? std::string() : UnfoldedValue(line, FieldEnd(line));
}

std::string TmsHeaders::GetFieldValue(std::string_view name) const {
    std::string value = GetRawFieldValue(name);
    std::string_view bare = name;
    if (!bare.empty() && bare.back() == ':')
        bare.remove_suffix(1);
    const std::string upper = UpperCase(bare);
    if (upper == "CONTENT-TYPE" || upper == "X-UIDL")
        return value;
    // Decoded first, then cut: cutting first could split an encoded word.
    return Cut255(DecodeHeaderWords(value));
}

std::vector<std::string> TmsHeaders::GetAddressPieces(std::string_view name) const {
    std::vector<std::string> pieces;
    for (int line = FindField(name, 0); line >= 0;) {
        const int end = FieldEnd(line);
        for (std::string& p : SplitAddressList(UnfoldedValue(line, end)))
            pieces.push_back(std::move(p));
        line = FindField(name, end);
    }
    return pieces;
}

void TmsHeaders::GetAddressField(std::string_view name, TStringList& list) const {
    list.Clear();
    for (const std::string& piece : GetAddressPieces(name))
        list.Add(Cut255(DecodeHeaderWords(piece)));
}

int TmsHeaders::CountFields(std::string_view name) const {
    int n = 0;
    for (int i = FindField(name, 0); i >= 0; i = FindField(name, i + 1))
        ++n;
    return n;
}

void TmsHeaders::DeleteField(std::string_view name) {
    const int line = FindField(name, 0);
    if (line < 0)
        return;
    const int end = FieldEnd(line);
    items_.erase(items_.begin() + line, items_.begin() + end);
}

void TmsHeaders::CutAtBlankLine() {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].empty()) {
            items_.resize(i);
            return;
        }
}

bool TmsHeaders::ContainsText(std::string_view text, bool caseSensitive) const {
    if (items_.empty())
        return false;
    const std::string needle = caseSensitive ? std::string(text) : UpperCase(text);
    for (const std::string& line : items_) {
        if (caseSensitive ? line.find(needle) != std::string::npos
                          : UpperCase(line).find(needle) != std::string::npos)
            return true;
    }
    return false;
}
