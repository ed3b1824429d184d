#include "automation/qusmtpob.h"
#include "automation/module.h"
#include "automation/sharedsmtp.h"
#include "automation/typelib.h"
#include "mail/agsocket.h"
#include "mail/exception.h"

namespace quelta {

TQueltaSMTP::TQueltaSMTP()
    : AutoObject(Module(), TypeInfoOf(IID_IQueltaSMTP), IID_IQueltaSMTP, kSmtpProgId) {}

HRESULT TQueltaSMTP::get_Server(VARIANT* Value) {
    return Guard([&] {
        VariantInit(Value);
        Value->bstrVal = com::BstrFromBytes(SharedSmtp().Server());
        if (!Value->bstrVal)
            throw std::bad_alloc();
        Value->vt = VT_BSTR;
    });
}

HRESULT TQueltaSMTP::put_Server(VARIANT Value) {
    return Guard([&] {
        std::string text;
        if (!com::VariantToBytes(Value, text))
            throw EConvertError("Invalid variant type conversion");
        SharedSmtp().SetServer(text);
    });
}

HRESULT TQueltaSMTP::get_Port(LONG* Value) {
    return Guard([&] { *Value = SharedSmtp().DefaultPort(); });
}

HRESULT TQueltaSMTP::put_Port(LONG Value) {
    return Guard([&] { SharedSmtp().SetDefaultPort(static_cast<u_short>(Value & 0xFFFF)); });
}

HRESULT TQueltaSMTP::get_TimeOut(LONG* Value) {
    return Guard([&] { *Value = SharedSmtp().TimeOut(); });
}

HRESULT TQueltaSMTP::put_TimeOut(LONG Value) {
    return Guard([&] { SharedSmtp().SetTimeOut(Value); });
}

HRESULT TQueltaSMTP::get_Ready(LONG* Value) {
    return Guard([&] { *Value = SharedSmtp().WinsockLoaded() ? 1 : 0; });
}

} // namespace quelta
