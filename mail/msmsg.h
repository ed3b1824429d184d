#pragma once
// The in-memory form of one mail message or news article: sender,
// recipients, subject, raw header lines, body lines and attachments. It
// reads itself from RFC 822 / MIME text and writes itself back (the .eml
// file format).
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "mail/mserrors.h"
#include "mail/msmsgcls.h"
#include "mail/strlist.h"

class TmsCustomMessage {
public:
    TmsCustomMessage();
    virtual ~TmsCustomMessage();
    TmsCustomMessage(const TmsCustomMessage&) = delete;
    TmsCustomMessage& operator=(const TmsCustomMessage&) = delete;

    [[nodiscard]] TmsMailAddress& Sender() { return sender_; }
    [[nodiscard]] const TmsMailAddress& Sender() const { return sender_; }
    void SetSender(const TmsMailAddress& sender) { sender_.Assign(sender); }
    [[nodiscard]] const std::string& Subject() const { return subject_; }
    void SetSubject(std::string_view subject); // cut to 255 characters
    [[nodiscard]] TMsgEncoding Encoding() const { return encoding_; }
    void SetEncoding(TMsgEncoding encoding) { encoding_ = encoding; }
    // csISO8859 makes the composer write the body quoted-printable.
    [[nodiscard]] TCharSet CharSet() const { return charSet_; }
    void SetCharSet(TCharSet charSet) { charSet_ = charSet; }
    // The charset parameter the text body was read with ("" when none); the
    // composer labels the body with it again.
    [[nodiscard]] const std::string& CharsetName() const { return charsetName_; }
    void SetCharsetName(std::string_view name) { charsetName_ = name.substr(0, 255); }
    [[nodiscard]] TmsHeaders& Headers() { return headers_; }
    [[nodiscard]] const TmsHeaders& Headers() const { return headers_; }
    void SetHeaders(const TStringList& headers);
    [[nodiscard]] TStringList& Body() { return body_; }
    [[nodiscard]] const TStringList& Body() const { return body_; }
    void SetBody(const TStringList& body) { body_ = body; }
    [[nodiscard]] TmsAttList& Attachments() { return attachments_; }
    [[nodiscard]] const TmsAttList& Attachments() const { return attachments_; }
    // Replaces the attachments by copies of the list's items; the stored
    // content type becomes "text/plain" or "multipart/mixed".
    void SetAttachments(const TmsAttList& attachments);
    [[nodiscard]] int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    // The content type the message's content calls for (stored as the new
    // stored type): empty for uuencoded mail, "multipart/alternative" when
    // every attachment is an "_alt." part, "text/rtf" or "text/html" for a
    // lone body file without body, the lone attachment's type, "text/plain"
    // or "multipart/mixed" for an empty body, "multipart/mixed" for a body
    // with attachments, else the stored type or "text/plain".
    [[nodiscard]] std::string GetContentType() const;
    [[nodiscard]] std::string ContentType() const { return GetContentType(); }
    void SetContentType(std::string_view type); // stored lower-cased, cut to 255

    // Raises EMessageError when what sending needs is missing.
    virtual void Validate() const;
    // Writes the message from the stream's start (the .eml format).
    virtual void SaveToStream(std::ostream& stream) = 0;
    // Writes the message as SMTP sends it: the composer's sending form,
    // whose every line is 7-bit text of at most 998 characters (a
    // uuencoded message whose text cannot go so goes as MIME, and parts that
    // hold whole messages have their text encoded within). Files keep the
    // form SaveToStream writes.
    void SaveForSending(std::ostream& stream);
    // True while SaveForSending composes.
    [[nodiscard]] bool ForSending() const { return forSending_; }
    // Reads the whole stream from its start into the message, without
    // clearing it first.
    virtual void LoadFromStream(std::istream& stream) = 0;
    // Empties sender, subject, headers, body, attachments and the stored
    // content type; encoding MIME, character set US-ASCII.
    virtual void Clear();
    // Takes the message's properties from its top header block.
    virtual void ParseHeaders(const TmsHeaders& headers) = 0;
    // Copies everything of source (attachments deeply).
    virtual void Assign(const TmsCustomMessage& source);

    // Creates or replaces the file with the message, atomically (a
    // temporary file beside it, renamed over it).
    void SaveToFile(const std::string& fileName);
    // Clears the message, then reads the file. EFOpenError when it cannot
    // be opened.
    void LoadFromFile(const std::string& fileName);
    // Writes attachment index's bytes into directory under the last
    // component of its file name, replacing a file of that name.
    void SaveAttachment(int index, const std::string& directory);

private:
    TmsMailAddress sender_;
    std::string subject_;
    TMsgEncoding encoding_ = meMIME;
    TCharSet charSet_ = csUSASCII;
    std::string charsetName_;
    TmsHeaders headers_;
    TStringList body_;
    TmsAttList attachments_;
    mutable std::string contentType_ = "text/plain";
    int tag_ = 0;
    bool forSending_ = false;
};

class TmsMessage : public TmsCustomMessage {
public:
    TmsMessage() = default;

    [[nodiscard]] TmsAddressList& Recipients() { return recipients_; }
    [[nodiscard]] const TmsAddressList& Recipients() const { return recipients_; }
    void SetRecipients(const TmsAddressList& list) { recipients_.Assign(list); }
    [[nodiscard]] TmsAddressList& CC() { return cc_; }
    [[nodiscard]] const TmsAddressList& CC() const { return cc_; }
    void SetCC(const TmsAddressList& list) { cc_.Assign(list); }
    [[nodiscard]] TmsAddressList& BCC() { return bcc_; }
    [[nodiscard]] const TmsAddressList& BCC() const { return bcc_; }
    void SetBCC(const TmsAddressList& list) { bcc_.Assign(list); }
    [[nodiscard]] bool ReturnReceipt() const { return returnReceipt_; }
    void SetReturnReceipt(bool value) { returnReceipt_ = value; }
    [[nodiscard]] TPriority Priority() const { return priority_; }
    void SetPriority(TPriority value) { priority_ = value; }

    // Also requires one non-empty address in Recipients, CC or BCC.
    void Validate() const override;
    void SaveToStream(std::ostream& stream) override;
    void LoadFromStream(std::istream& stream) override;
    // Also empties Recipients, CC and BCC; Priority and ReturnReceipt stay.
    void Clear() override;
    // Sender from From; To and CC addresses appended; Subject when not
    // empty; Priority from X-Priority ("1" high, "5" low, else normal);
    // ReturnReceipt from Return-Receipt-To; Headers a copy of the block.
    void ParseHeaders(const TmsHeaders& headers) override;
    // The same, optionally without appending the To and CC addresses (a
    // second reading of the same block).
    void ParseHeaders(const TmsHeaders& headers, bool addAddresses);
    void Assign(const TmsCustomMessage& source) override;

private:
    TmsAddressList recipients_;
    TmsAddressList cc_;
    TmsAddressList bcc_;
    bool returnReceipt_ = false;
    TPriority priority_ = ptNormal;
};

// A news article: newsgroups instead of recipients.
class TmsArticle : public TmsCustomMessage {
public:
    TmsArticle() = default;

    [[nodiscard]] const std::string& NewsGroups() const { return newsGroups_; }
    void SetNewsGroups(std::string_view value) { newsGroups_ = value; }
    // The Path and Message-ID values of a parsed article.
    [[nodiscard]] const std::string& Path() const { return path_; }
    [[nodiscard]] const std::string& MessageID() const { return messageId_; }

    // Also requires newsgroups and a subject.
    void Validate() const override;
    void SaveToStream(std::ostream& stream) override;
    void LoadFromStream(std::istream& stream) override;
    void Clear() override;
    void ParseHeaders(const TmsHeaders& headers) override;
    void Assign(const TmsCustomMessage& source) override;

private:
    std::string newsGroups_;
    std::string path_;
    std::string messageId_;
};

class TmsMessageList;

// A message that belongs to a TmsMessageList: it adds itself on creation
// and removes itself when destroyed.
class TmsListMessage : public TmsMessage {
public:
    // A null owner raises EComponentError.
    explicit TmsListMessage(TmsMessageList* owner);
    ~TmsListMessage() override;

private:
    TmsMessageList* owner_;
};

// Owns its list messages.
class TmsMessageList {
public:
    TmsMessageList() = default;
    ~TmsMessageList();
    TmsMessageList(const TmsMessageList&) = delete;
    TmsMessageList& operator=(const TmsMessageList&) = delete;

    [[nodiscard]] TmsListMessage& GetItem(int index) const;
    [[nodiscard]] int Count() const { return static_cast<int>(items_.size()); }
    void Add(TmsListMessage* message);
    // Takes the message out of the list without destroying it.
    void Remove(TmsListMessage* message);
    // Destroys every message, last first.
    void Clear();

private:
    std::vector<TmsListMessage*> items_;
};
