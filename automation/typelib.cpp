#include "automation/typelib.h"

namespace quelta {

namespace {

using M = IQueltaMessage;
using S = IQueltaSMTP;

constexpr com::FuncInfo kMessageFuncs[] = {
    com::Member<&M::get_Body>("Body", 1, INVOKE_PROPERTYGET, {}, "Message body text"),
    com::Member<&M::put_Body>("Body", 1, INVOKE_PROPERTYPUT, {"Value"}, "Message body text"),
    com::Member<&M::get_Header>("Header", 2, INVOKE_PROPERTYGET, {}, "Raw header lines"),
    com::Member<&M::get_SenderName>("SenderName", 3, INVOKE_PROPERTYGET, {}, "Sender's name"),
    com::Member<&M::put_SenderName>("SenderName", 3, INVOKE_PROPERTYPUT, {"Value"},
                                    "Sender's name"),
    com::Member<&M::get_SenderAddress>("SenderAddress", 4, INVOKE_PROPERTYGET, {},
                                       "Sender's address"),
    com::Member<&M::put_SenderAddress>("SenderAddress", 4, INVOKE_PROPERTYPUT, {"Value"},
                                       "Sender's address"),
    com::Member<&M::get_Subject>("Subject", 5, INVOKE_PROPERTYGET, {}, "Subject"),
    com::Member<&M::put_Subject>("Subject", 5, INVOKE_PROPERTYPUT, {"Value"}, "Subject"),
    com::Member<&M::get_RecipientCount>("RecipientCount", 6, INVOKE_PROPERTYGET, {},
                                        "Number of To recipients"),
    com::Member<&M::GetRecipientName>("GetRecipientName", 7, INVOKE_FUNC, {"Index"},
                                      "Name of a To recipient"),
    com::Member<&M::GetRecipientAddress>("GetRecipientAddress", 8, INVOKE_FUNC, {"Index"},
                                         "Address of a To recipient"),
    com::Member<&M::SetRecipientName>("SetRecipientName", 9, INVOKE_FUNC, {"Index", "Value"},
                                      "Sets the name of a To recipient"),
    com::Member<&M::SetRecipientAddress>("SetRecipientAddress", 10, INVOKE_FUNC, {"Index", "Value"},
                                         "Sets the address of a To recipient"),
    com::Member<&M::DeleteRecipient>("DeleteRecipient", 11, INVOKE_FUNC, {"Index"},
                                     "Removes a To recipient"),
    com::Member<&M::AddRecipient>("AddRecipient", 12, INVOKE_FUNC, {"Name", "Address"},
                                  "Adds a To recipient"),
    com::Member<&M::get_AttachmentCount>("AttachmentCount", 13, INVOKE_PROPERTYGET, {},
                                         "Number of attachments"),
    com::Member<&M::GetAttachment>("GetAttachment", 14, INVOKE_FUNC, {"Index"},
                                   "File name of an attachment"),
    com::Member<&M::RemoveAttachment>("RemoveAttachment", 16, INVOKE_FUNC, {"Index"},
                                      "Removes an attachment"),
    com::Member<&M::AddAttachment>("AddAttachment", 17, INVOKE_FUNC, {"FileName"},
                                   "Attaches a file"),
    com::Member<&M::LoadFromFile>("LoadFromFile", 18, INVOKE_FUNC, {"FileName"},
                                  "Loads a stored message"),
    com::Member<&M::SaveToFile>("SaveToFile", 19, INVOKE_FUNC, {"FileName"}, "Saves the message"),
    com::Member<&M::GetHeaderField>("GetHeaderField", 20, INVOKE_FUNC, {"Field"},
                                    "Value of a header field"),
    com::Member<&M::Send>("Send", 21, INVOKE_FUNC, {}, "Sends the message"),
    com::Member<&M::SendVia>("SendVia", 22, INVOKE_FUNC, {"Server"},
                             "Sends the message through a server"),
    com::Member<&M::ClearRecipients>("ClearRecipients", 23, INVOKE_FUNC, {},
                                     "Removes all To recipients"),
    com::Member<&M::ClearAttachments>("ClearAttachments", 24, INVOKE_FUNC, {},
                                      "Removes all attachments"),
    com::Member<&M::GetDataField>("GetDataField", 15, INVOKE_FUNC,
                                  {"Field", "StartDelimiter", "EndDelimiter"},
                                  "Value of a labelled line or block of the body"),
};

constexpr com::FuncInfo kSmtpFuncs[] = {
    com::Member<&S::get_Server>("Server", 1, INVOKE_PROPERTYGET, {}, "SMTP server"),
    com::Member<&S::put_Server>("Server", 1, INVOKE_PROPERTYPUT, {"Value"}, "SMTP server"),
    com::Member<&S::get_Port>("Port", 2, INVOKE_PROPERTYGET, {}, "Default port"),
    com::Member<&S::put_Port>("Port", 2, INVOKE_PROPERTYPUT, {"Value"}, "Default port"),
    com::Member<&S::get_TimeOut>("TimeOut", 3, INVOKE_PROPERTYGET, {}, "Time-out in seconds"),
    com::Member<&S::put_TimeOut>("TimeOut", 3, INVOKE_PROPERTYPUT, {"Value"},
                                 "Time-out in seconds"),
    com::Member<&S::get_Ready>("Ready", 4, INVOKE_PROPERTYGET, {},
                               "1 when the Winsock library is loaded"),
};

constexpr WORD kDualFlags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;

constexpr com::InterfaceInfo kMessageItf{
    "IQueltaMessage", IID_IQueltaMessage, "Dispatch interface for QueltaMessage Object",
    kDualFlags,       kMessageFuncs,      sizeof kMessageFuncs / sizeof kMessageFuncs[0]};
constexpr com::InterfaceInfo kSmtpItf{
    "IQueltaSMTP", IID_IQueltaSMTP, "Dispatch interface for QueltaSMTP Object",
    kDualFlags,    kSmtpFuncs,      sizeof kSmtpFuncs / sizeof kSmtpFuncs[0]};

static_assert(sizeof kMessageFuncs / sizeof kMessageFuncs[0] == 28);
static_assert(sizeof kSmtpFuncs / sizeof kSmtpFuncs[0] == 7);

constexpr const com::InterfaceInfo* kInterfaces[] = {&kMessageItf, &kSmtpItf};
constexpr const com::CoclassInfo* kClasses[] = {&kMessageClass, &kSmtpClass};

// Made on first use, released when the library is unloaded.
struct TypeInfos {
    ITypeInfo* message = nullptr;
    ITypeInfo* smtp = nullptr;
    ~TypeInfos() {
        if (message)
            message->Release();
        if (smtp)
            smtp->Release();
    }
} gTypeInfos;

} // namespace

constexpr com::CoclassInfo kMessageClass{"QueltaMessage", CLSID_QueltaMessage,
                                         "QueltaMessageObject", &kMessageItf};
constexpr com::CoclassInfo kSmtpClass{"QueltaSMTP", CLSID_QueltaSMTP, "QueltaSMTPObject",
                                      &kSmtpItf};

constexpr com::TypeLibInfo kTypeLib{"Quelta",           "Quelta OLE Object Library",
                                    LIBID_Quelta,       QueltaMajorVersion,
                                    QueltaMinorVersion, QueltaLcid,
                                    kInterfaces,        2,
                                    kClasses,           2};

ITypeInfo* TypeInfoOf(REFIID iid) {
    ITypeInfo*& slot = iid == IID_IQueltaSMTP ? gTypeInfos.smtp : gTypeInfos.message;
    if (!slot) {
        ITypeLib* lib = nullptr;
        if (SUCCEEDED(com::TypeLibFromInfo(&kTypeLib, &lib))) {
            lib->GetTypeInfoOfGuid(iid, &slot);
            lib->Release();
        }
    }
    return slot;
}

} // namespace quelta
