#include "platform/com/autoobj.h"

#include <dlfcn.h>

namespace com {

EOleSysError::~EOleSysError() = default;

HRESULT HandleException(REFIID iid, const char* progId) noexcept {
    std::string message;
    DWORD helpContext = 0;
    HRESULT result = E_UNEXPECTED;
    try {
        throw;
    } catch (const EOleSysError& e) {
        message = e.what();
        helpContext = e.HelpContext();
        if (e.ErrorCode() < 0)
            result = e.ErrorCode();
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
    }
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || !create)
        return E_UNEXPECTED;
    create->SetGUID(iid);
    std::u16string source = WideFromBytes(progId ? progId : "");
    std::u16string description = WideFromBytes(message);
    create->SetSource(source.data());
    create->SetDescription(description.data());
    create->SetHelpContext(helpContext);
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
    return result;
}

std::string ModulePath(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname)
        return "";
    return info.dli_fname;
}

} // namespace com
