// regsvr [/u] [/s] library.so: registers (or with /u unregisters) an
// in-process COM server by calling its DllRegisterServer (DllUnregisterServer).
// /s leaves out the success message; failures are always reported.
// Exit codes: 0 done, 1 bad arguments, 2 COM not initialised, 3 library not
// loaded, 4 entry point missing, 5 the entry point failed.
#include "platform/com/com.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <strings.h>

namespace {

void Usage() {
    std::fprintf(stderr, "usage: regsvr [/u] [/s] library.so\n"
                         "  /u  unregister the server\n"
                         "  /s  silent: no message on success\n");
}

// Options are two characters ("/u", "-s"); anything longer is a path, and
// absolute paths begin with "/" too.
bool LooksLikeOption(const char* arg) {
    return (arg[0] == '/' || arg[0] == '-') && arg[1] && !arg[2];
}

bool IsOption(const char* arg, const char* name) {
    return LooksLikeOption(arg) && strcasecmp(arg + 1, name) == 0;
}

int Run(int argc, char** argv) {
    bool unregister = false, silent = false;
    const char* library = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (IsOption(argv[i], "u"))
            unregister = true;
        else if (IsOption(argv[i], "s"))
            silent = true;
        else if (!library && !LooksLikeOption(argv[i]))
            library = argv[i];
        else {
            Usage();
            return 1;
        }
    }
    if (!library) {
        Usage();
        return 1;
    }
    // The server records its own path in the registry: make it absolute.
    char full[PATH_MAX];
    std::string path = realpath(library, full) ? full : library;
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";

    if (FAILED(CoInitialize(nullptr))) {
        std::fprintf(stderr, "regsvr: COM could not be initialised\n");
        return 2;
    }
    int rc = 0;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        std::fprintf(stderr, "regsvr: cannot load %s: %s\n", path.c_str(), why ? why : "");
        rc = 3;
    } else if (auto fn = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(handle, entry)); !fn) {
        std::fprintf(stderr, "regsvr: %s was loaded, but the entry point %s was not found\n",
                     path.c_str(), entry);
        rc = 4;
    } else {
        HRESULT hr = fn();
        if (FAILED(hr)) {
            std::fprintf(stderr, "regsvr: %s in %s failed: %s\n", entry, path.c_str(),
                         com::ErrorMessage(hr).c_str());
            rc = 5;
        } else if (!silent) {
            std::printf("%s in %s succeeded.\n", entry, path.c_str());
        }
    }
    // The server stays loaded until exit: objects it made may still be
    // referenced by its own cleanup.
    CoUninitialize();
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "regsvr: %s\n", e.what());
        return 5;
    }
}
