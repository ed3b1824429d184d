#include "platform/com/runtime.h"

#include <cstdio>

namespace com {

std::string ErrorMessage(HRESULT hr) {
    struct Text {
        HRESULT hr;
        const char* text;
    };
    static const Text kTexts[] = {
        {S_OK, "The operation completed successfully"},
        {S_FALSE, "The operation completed with a false result"},
        {E_NOTIMPL, "Not implemented"},
        {E_NOINTERFACE, "No such interface supported"},
        {E_POINTER, "Invalid pointer"},
        {E_ABORT, "Operation aborted"},
        {E_FAIL, "Unspecified error"},
        {E_UNEXPECTED, "Catastrophic failure"},
        {E_ACCESSDENIED, "Access is denied"},
        {E_HANDLE, "Invalid handle"},
        {E_OUTOFMEMORY, "Not enough storage is available to complete this operation"},
        {E_INVALIDARG, "The parameter is incorrect"},
        {CLASS_E_NOAGGREGATION, "Class does not support aggregation"},
        {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
        {CLASS_E_NOTLICENSED, "Class is not licensed for use"},
        {REGDB_E_READREGDB, "Could not read key from registry"},
        {REGDB_E_WRITEREGDB, "Could not write key to registry"},
        {REGDB_E_KEYMISSING, "Could not find the key in the registry"},
        {REGDB_E_INVALIDVALUE, "Invalid value for registry"},
        {REGDB_E_CLASSNOTREG, "Class not registered"},
        {REGDB_E_IIDNOTREG, "Interface not registered"},
        {CO_E_NOTINITIALIZED, "CoInitialize has not been called"},
        {CO_E_ALREADYINITIALIZED, "CoInitialize has already been called"},
        {CO_E_CLASSSTRING, "Invalid class string"},
        {CO_E_IIDSTRING, "Invalid interface string"},
        {CO_E_APPNOTFOUND, "Application not found"},
        {CO_E_DLLNOTFOUND, "DLL for class not found"},
        {CO_E_ERRORINDLL, "Error in the DLL"},
        {DISP_E_UNKNOWNINTERFACE, "Unknown interface"},
        {DISP_E_MEMBERNOTFOUND, "Member not found"},
        {DISP_E_PARAMNOTFOUND, "Parameter not found"},
        {DISP_E_TYPEMISMATCH, "Type mismatch"},
        {DISP_E_UNKNOWNNAME, "Unknown name"},
        {DISP_E_NONAMEDARGS, "No named arguments"},
        {DISP_E_BADVARTYPE, "Bad variable type"},
        {DISP_E_EXCEPTION, "Exception occurred"},
        {DISP_E_OVERFLOW, "Out of present range"},
        {DISP_E_BADINDEX, "Invalid index"},
        {DISP_E_UNKNOWNLCID, "Unknown language"},
        {DISP_E_ARRAYISLOCKED, "Memory is locked"},
        {DISP_E_BADPARAMCOUNT, "Invalid number of parameters"},
        {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional"},
        {DISP_E_BADCALLEE, "Invalid callee"},
        {DISP_E_NOTACOLLECTION, "Does not support a collection"},
        {DISP_E_DIVBYZERO, "Division by zero"},
        {TYPE_E_INVDATAREAD, "Invalid data read"},
        {TYPE_E_UNSUPFORMAT, "Unsupported format"},
        {TYPE_E_REGISTRYACCESS, "Error accessing the OLE registry"},
        {TYPE_E_LIBNOTREGISTERED, "Library not registered"},
        {TYPE_E_INVALIDSTATE, "Invalid state"},
        {TYPE_E_ELEMENTNOTFOUND, "Element not found"},
        {TYPE_E_IOERROR, "I/O error"},
        {TYPE_E_CANTLOADLIBRARY, "Error loading type library/DLL"},
        {SELFREG_E_TYPELIB, "Failed to register/unregister type library"},
        {SELFREG_E_CLASS, "Failed to register/unregister class"},
    };
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    for (const Text& t : kTexts)
        if (t.hr == hr)
            return std::string(t.text) + " (" + code + ")";
    return std::string("Error ") + code;
}

} // namespace com
