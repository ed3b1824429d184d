#pragma once
// The type library of the automation library Quelta: its GUIDs and the two
// dual interfaces, for clients that bind early (the agent processor) and
// for the library itself.
#include "platform/com/com.h"

inline constexpr GUID LIBID_Quelta = com::MakeGuid("{AA447DF0-09EA-11D2-B639-00A0C9B805AB}");
inline constexpr IID IID_IQueltaMessage = com::MakeGuid("{AA447DF1-09EA-11D2-B639-00A0C9B805AB}");
inline constexpr IID IID_IQueltaSMTP = com::MakeGuid("{CB900321-09F5-11D2-B639-00A0C9B805AB}");
inline constexpr CLSID CLSID_QueltaMessage =
    com::MakeGuid("{AA447DF2-09EA-11D2-B639-00A0C9B805AB}");
inline constexpr CLSID CLSID_QueltaSMTP = com::MakeGuid("{CB900322-09F5-11D2-B639-00A0C9B805AB}");

inline constexpr WORD QueltaMajorVersion = 1;
inline constexpr WORD QueltaMinorVersion = 0;
inline constexpr LCID QueltaLcid = 0x409;

// Members in interface order; a property's get comes before its put.
struct IQueltaMessage : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Body(VARIANT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Body(VARIANT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Header(VARIANT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SenderName(VARIANT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SenderName(VARIANT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SenderAddress(VARIANT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SenderAddress(VARIANT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Subject(VARIANT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Subject(VARIANT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_RecipientCount(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecipientName(LONG Index, VARIANT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecipientAddress(LONG Index, VARIANT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRecipientName(LONG Index, VARIANT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRecipientAddress(LONG Index, VARIANT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteRecipient(LONG Index) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddRecipient(VARIANT Name, VARIANT Address) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AttachmentCount(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttachment(LONG Index, VARIANT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAttachment(LONG Index) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddAttachment(VARIANT FileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadFromFile(VARIANT FileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveToFile(VARIANT FileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHeaderField(VARIANT Field, VARIANT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Send() = 0;
    virtual HRESULT STDMETHODCALLTYPE SendVia(VARIANT Server) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearRecipients() = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearAttachments() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDataField(VARIANT Field, VARIANT StartDelimiter,
                                                   VARIANT EndDelimiter, VARIANT* Value) = 0;

protected:
    ~IQueltaMessage() = default;
};

struct IQueltaSMTP : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Server(VARIANT* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Server(VARIANT Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Port(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Port(LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_TimeOut(LONG* Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_TimeOut(LONG Value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Ready(LONG* Value) = 0;

protected:
    ~IQueltaSMTP() = default;
};
