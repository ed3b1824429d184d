#pragma once
// TQueltaSMTP: the SMTP automation object. It holds nothing of its own:
// every object reads and writes the library's one SMTP component.
#include "automation/quelta_tlb.h"
#include "platform/com/autoobj.h"

namespace quelta {

class TQueltaSMTP final : public com::AutoObject<IQueltaSMTP> {
public:
    TQueltaSMTP();

    HRESULT STDMETHODCALLTYPE get_Server(VARIANT* Value) override;
    HRESULT STDMETHODCALLTYPE put_Server(VARIANT Value) override;
    HRESULT STDMETHODCALLTYPE get_Port(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_Port(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_TimeOut(LONG* Value) override;
    HRESULT STDMETHODCALLTYPE put_TimeOut(LONG Value) override;
    HRESULT STDMETHODCALLTYPE get_Ready(LONG* Value) override;

private:
    ~TQueltaSMTP() override = default;
};

} // namespace quelta
