#pragma once
// The item classes of a message: header list with its field look-ups, mail
// address and address list, attachment item and list. Lists own their
// items; indexing outside a list raises EListError.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/strlist.h"

enum TMsgEncoding : std::uint8_t { meMIME, meUU };
enum TCharSet : std::uint8_t { csUSASCII, csISO8859 };
enum TPriority : std::uint8_t { ptLow, ptNormal, ptHigh };

class TmsMailAddress {
public:
    TmsMailAddress() = default;
    TmsMailAddress(std::string_view address, std::string_view name);
    virtual ~TmsMailAddress() = default;
    TmsMailAddress(const TmsMailAddress&) = default;
    TmsMailAddress& operator=(const TmsMailAddress&) = default;

    [[nodiscard]] const std::string& Name() const { return name_; }
    [[nodiscard]] const std::string& Address() const { return address_; }
    // Both cut to 255 characters.
    void SetName(std::string_view name);
    void SetAddress(std::string_view address);

    void Assign(const TmsMailAddress& source);
    void Clear();
    // Lets the user edit the address in the address dialog; the values
    // change only when the dialog closes with OK.
    virtual void Edit();

private:
    std::string name_;
    std::string address_;
};

// The address dialog lives with the windows: the program installs a hook
// that shows it modally on a copy of the address (name and address fields,
// OK and Cancel) and returns true when it closed with OK. Without a hook,
// Edit changes nothing.
using MailAddressDlgHook = std::function<bool(TmsMailAddress& copy)>;
void SetMailAddressDlgHook(MailAddressDlgHook hook);

class TmsAddressList {
public:
    TmsAddressList() = default;
    TmsAddressList(const TmsAddressList& other) { Assign(other); }
    TmsAddressList& operator=(const TmsAddressList& other) {
        Assign(other);
        return *this;
    }

    // Appends a new entry (each part cut to 255 characters).
    TmsMailAddress& Add(std::string_view address, std::string_view name);
    // Appends an existing entry and takes it over.
    void AddItem(std::unique_ptr<TmsMailAddress> entry);
    [[nodiscard]] TmsMailAddress& GetItem(int index) const;
    [[nodiscard]] TmsMailAddress& operator[](int index) const { return GetItem(index); }
    [[nodiscard]] int GetCount() const { return static_cast<int>(items_.size()); }
    [[nodiscard]] int Count() const { return GetCount(); }
    void Clear();
    void Delete(int index);
    // Copies of the source's entries in its order.
    void Assign(const TmsAddressList& source);

private:
    std::vector<std::unique_ptr<TmsMailAddress>> items_;
};

// Transfer encodings of attachments, indexed by TmsAttItem::Encoding.
inline constexpr std::uint8_t aeSevenBit = 0, aeBase64 = 1, aeQuotedPrintable = 2;
inline constexpr const char* AttachmentEncodingNames[3] = {"7 bit", "Base64", "Quoted-Printable"};

class TmsAttItem {
public:
    TmsAttItem() = default;
    TmsAttItem(const TmsAttItem& other) { Assign(other); }
    TmsAttItem& operator=(const TmsAttItem& other) {
        Assign(other);
        return *this;
    }

    // The decoded bytes of the attachment.
    [[nodiscard]] std::string& Data() { return data_; }
    [[nodiscard]] const std::string& Data() const { return data_; }
    void SetData(std::string data) { data_ = std::move(data); }

    [[nodiscard]] const std::string& FileName() const { return fileName_; }
    // Stores the name (a bare name or a path). A non-empty name also sets
    // ContentType from the name's extension and Encoding from that type:
    // text/plain, text/rtf and text/html quoted-printable, message/rfc822
    // 7 bit, anything else base64.
    void SetFileName(std::string_view name);
    [[nodiscard]] const std::string& ContentType() const { return contentType_; }
    void SetContentType(std::string_view type);
    [[nodiscard]] std::uint8_t Encoding() const { return encoding_; }
    void SetEncoding(std::uint8_t encoding) { encoding_ = encoding; }

    // Copies data, content type, encoding and file name as they are.
    void Assign(const TmsAttItem& source);

private:
    std::string data_;
    std::string fileName_;
    std::string contentType_;
    std::uint8_t encoding_ = aeSevenBit;
};

class TmsAttList {
public:
    TmsAttList() = default;
    TmsAttList(const TmsAttList& other) { Assign(other); }
    TmsAttList& operator=(const TmsAttList& other) {
        Assign(other);
        return *this;
    }

    // A new item named after the file, holding its bytes. A file that
    // cannot be read raises EFOpenError and nothing is appended.
    TmsAttItem& AddFile(const std::string& fileName);
    void AddItem(std::unique_ptr<TmsAttItem> item);
    [[nodiscard]] TmsAttItem& GetItem(int index) const;
    [[nodiscard]] TmsAttItem& operator[](int index) const { return GetItem(index); }
    [[nodiscard]] int GetCount() const { return static_cast<int>(items_.size()); }
    [[nodiscard]] int Count() const { return GetCount(); }
    void Clear();
    void Delete(int index);
    // Deep copies of the source's items in its order.
    void Assign(const TmsAttList& source);

private:
    std::vector<std::unique_ptr<TmsAttItem>> items_;
};

// The raw header lines of a message, continuation lines as entries of
// their own. Field names are matched whole and without regard to case:
// "To" finds "To:" and "to :" but never "Top:".
class TmsHeaders : public TStringList {
public:
    using TStringList::TStringList;

    // The value of the first field called name, its continuation lines
    // joined with one blank. Encoded words are decoded and the result cut
    // to 255 characters, except for Content-Type and X-UIDL, which come
    // back whole and as written.
    [[nodiscard]] std::string GetFieldValue(std::string_view name) const;
    // The lines of the first field called name, continuation lines
    // included, as written; empty when there is none.
    [[nodiscard]] std::vector<std::string> FieldLines(std::string_view name) const;
    // The same value as written: joined, but neither decoded nor cut.
    [[nodiscard]] std::string GetRawFieldValue(std::string_view name) const;
    // The addresses of every field called name, in order, as texts with
    // their encoded words decoded, each cut to 255 characters.
    void GetAddressField(std::string_view name, TStringList& list) const;
    // The same addresses as written (undecoded, uncut), for parsing.
    [[nodiscard]] std::vector<std::string> GetAddressPieces(std::string_view name) const;
    // How many fields are called name.
    [[nodiscard]] int CountFields(std::string_view name) const;
    // Removes the first field called name with its continuation lines.
    void DeleteField(std::string_view name);
    // Drops the first empty line and everything after it.
    void CutAtBlankLine();
    // True when any line contains text (exactly, or ignoring case).
    [[nodiscard]] bool ContainsText(std::string_view text, bool caseSensitive) const;

private:
    // Index of the first line of field name at or after from, or -1.
    [[nodiscard]] int FindField(std::string_view name, int from) const;
    // One past the field's last continuation line.
    [[nodiscard]] int FieldEnd(int line) const;
    [[nodiscard]] std::string UnfoldedValue(int line, int end) const;
};
