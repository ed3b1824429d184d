#pragma once
// TQueltaMessage: the message automation object. It wraps one mail message
// that scripts and the agent processor load, edit, save and send.
#include "automation/quelta_tlb.h"
#include "mail/msmsg.h"
#include "platform/com/autoobj.h"

#include <string>

namespace quelta {

class TQueltaMessage final : public com::AutoObject<IQueltaMessage> {
public:
    TQueltaMessage();

    // The wrapped message; the object owns it.
    [[nodiscard]] TmsMessage& Message() { return message_; }

    HRESULT STDMETHODCALLTYPE get_Body(VARIANT* Value) override;
    HRESULT STDMETHODCALLTYPE put_Body(VARIANT Value) override;
    HRESULT STDMETHODCALLTYPE get_Header(VARIANT* Value) override;
    HRESULT STDMETHODCALLTYPE get_SenderName(VARIANT* Value) override;
    HRESULT STDMETHODCALLTYPE put_SenderName(VARIANT Value) override;
    HRESULT STDMETHODCALLTYPE get_SenderAddress(VARIANT* Value) override;
    HRESULT STDMETHODCALLTYPE put_SenderAddress(VARIANT Value) override;
    HRESULT STDMETHODCALLTYPE get_Subject(VARIANT* Value) override;
    HRESULT STDMETHODCALLTYPE put_Subject(VARIANT Value) override;
    HRESULT STDMETHODCALLTYPE get_RecipientCount(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE GetRecipientName(LONG Index, VARIANT* Value) override;
    HRESULT STDMETHODCALLTYPE GetRecipientAddress(LONG Index, VARIANT* Value) override;
    HRESULT STDMETHODCALLTYPE SetRecipientName(LONG Index, VARIANT Value) override;
    HRESULT STDMETHODCALLTYPE SetRecipientAddress(LONG Index, VARIANT Value) override;
    HRESULT STDMETHODCALLTYPE DeleteRecipient(LONG Index) override;
    HRESULT STDMETHODCALLTYPE AddRecipient(VARIANT Name, VARIANT Address) override;
    HRESULT STDMETHODCALLTYPE get_AttachmentCount(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE GetAttachment(LONG Index, VARIANT* Value) override;
    HRESULT STDMETHODCALLTYPE RemoveAttachment(LONG Index) override;
    HRESULT STDMETHODCALLTYPE AddAttachment(VARIANT FileName) override;
    HRESULT STDMETHODCALLTYPE LoadFromFile(VARIANT FileName) override;
    HRESULT STDMETHODCALLTYPE SaveToFile(VARIANT FileName) override;
    HRESULT STDMETHODCALLTYPE GetHeaderField(VARIANT Field, VARIANT* Value) override;
    HRESULT STDMETHODCALLTYPE Send() override;
    HRESULT STDMETHODCALLTYPE SendVia(VARIANT Server) override;
    HRESULT STDMETHODCALLTYPE ClearRecipients() override;
    HRESULT STDMETHODCALLTYPE ClearAttachments() override;
    HRESULT STDMETHODCALLTYPE GetDataField(VARIANT Field, VARIANT StartDelimiter,
                                           VARIANT EndDelimiter, VARIANT* Value) override;

private:
    ~TQueltaMessage() override = default;
    TmsMessage message_;
};

// The labelled value of the body: see GetDataField.
[[nodiscard]] std::string DataField(const TStringList& body, const std::string& field,
                                    const std::string& startDelimiter,
                                    const std::string& endDelimiter);

// Writes the message to a temporary file beside fileName and renames it
// over fileName, so the old file stays whole when writing fails.
void SaveMessageFile(TmsMessage& message, const std::string& fileName);

} // namespace quelta
