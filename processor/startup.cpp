#include "processor/startup.h"

#include "platform/com/registry.h"
#include "platform/com/runtime.h"
#include "platform/win/paths.h"

namespace quelta {

std::string AutomationStartUpText(HRESULT hr, const std::string& programFolder) {
    std::string text = com::ErrorMessage(hr);
    const std::string library = win::IncludeTrailingPathDelimiter(programFolder) + "libQuelta.so";
    if (hr == REGDB_E_CLASSNOTREG)
        text += "\nThe automation library is not registered in " + com::RegistryFileName() +
                ". Register it with: regsvr " + library;
    else if (hr == CO_E_DLLNOTFOUND)
        text += "\nThe automation library registered in " + com::RegistryFileName() +
                " cannot be loaded. Register it again with: regsvr " + library;
    return text;
}

} // namespace quelta
