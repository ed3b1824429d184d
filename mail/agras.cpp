#include "mail/agras.h"

#include "mail/agwinsock.h"
#include "platform/win/hooks.h"
#include "platform/win/paths.h"

#include <dlfcn.h>

#include <cstring>

namespace {

std::string& LibName() {
    static std::string name = "librasapi32.so";
    return name;
}

constexpr int kMaxEntries = 25;
constexpr int kMaxConnections = 10;

std::string ErrorText(unsigned code) {
    void* lib = TagRas::LoadLibrary();
    if (!lib)
        return "";
    std::string text;
    if (auto f = reinterpret_cast<LPFN_RASGETERRORSTRINGA>(dlsym(lib, "RasGetErrorStringA"))) {
        char buf[256] = {};
        if (f(code, buf, sizeof buf) == 0)
            text = buf;
        else
            text = "RAS error no " + std::to_string(code);
    }
    dlclose(lib);
    return text;
}

} // namespace

ERASError::ERASError(unsigned code) : Exception(ErrorText(code)), code_(code) {}

void TagRas::SetLibraryName(const std::string& name) {
    LibName() = name;
}
const std::string& TagRas::LibraryName() {
    return LibName();
}

void* TagRas::LoadLibrary() {
    const std::string& name = LibName();
    void* lib = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib && name.find('/') == std::string::npos)
        lib = dlopen((win::ProgramFolder() + name).c_str(), RTLD_NOW | RTLD_LOCAL);
    return lib;
}

template <class F> F TagRas::Proc(const char* name) const {
    return lib_ ? reinterpret_cast<F>(dlsym(lib_, name)) : nullptr;
}

TagRas::TagRas() {
    window_.WndProc = &TagRas::WndProc;
    window_.owner = this;
    lib_ = LoadLibrary();
    GetEntries();
}

TagRas::~TagRas() {
    // A dial still in progress would notify a window that is gone; a link
    // that is up stays up, unwatched by this component.
    if (dialled_ && !connected_) {
        if (auto hangUp = Proc<LPFN_RASHANGUPA>("RasHangUpA"))
            hangUp(handle_);
    }
    if (auto release = Proc<LPFN_RASRELEASENOTIFIER>("RasReleaseNotifier"))
        release(&window_);
    if (lib_)
        dlclose(lib_);
}

const std::vector<std::string>& TagRas::GetEntries() {
    entries_.clear();
    auto enumEntries = Proc<LPFN_RASENUMENTRIESA>("RasEnumEntriesA");
    if (!enumEntries)
        return entries_;
    std::vector<RASENTRYNAMEA> buf(kMaxEntries);
    buf[0].dwSize = sizeof(RASENTRYNAMEA);
    DWORD cb = sizeof(RASENTRYNAMEA) * kMaxEntries, count = 0;
    const DWORD rc = enumEntries(nullptr, nullptr, buf.data(), &cb, &count);
    if (rc != 0) {
        lastError_ = rc;
        return entries_;
    }
    for (DWORD i = 0; i < count && i < kMaxEntries; ++i)
        entries_.emplace_back(buf[i].szEntryName, strnlen(buf[i].szEntryName, 256));
    return entries_;
}

bool TagRas::IsConnected() {
    auto enumConns = Proc<LPFN_RASENUMCONNECTIONSA>("RasEnumConnectionsA");
    if (!enumConns)
        return false;
    std::vector<RASCONNA> conns(kMaxConnections);
    conns[0].dwSize = sizeof(RASCONNA);
    DWORD cb = sizeof(RASCONNA) * kMaxConnections, count = 0;
    if (const DWORD rc = enumConns(conns.data(), &cb, &count); rc != 0)
        throw ERASError(rc);
    // A connection this component dialled counts too (it is up); it keeps
    // the dial's handle, which hangs it up.
    for (DWORD i = 0; i < count; ++i)
        if (service_ == conns[i].szEntryName) {
            if (!(dialled_ && connected_))
                handle_ = conns[i].hrasconn;
            return true;
        }
    if (forceService_)
        return false;
    auto projection = Proc<LPFN_RASGETPROJECTIONINFOA>("RasGetProjectionInfoA");
    if (!projection)
        return false;
    for (DWORD i = 0; i < count; ++i) {
        RASPPPIPA ip{};
        ip.dwSize = sizeof ip;
        DWORD size = sizeof ip;
        if (const DWORD rc = projection(conns[i].hrasconn, RASP_PppIp, &ip, &size); rc != 0)
            throw ERASError(rc);
        if (ip.szIpAddress[0]) {
            handle_ = conns[i].hrasconn;
            return true;
        }
    }
    return false;
}

void TagRas::Connect() {
    lost_ = false;
    if (service_.empty()) {
        connected_ = true;
        dialled_ = false;
        return;
    }
    const bool ours = dialled_ && connected_;
    if (IsConnected()) {
        connected_ = true;
        dialled_ = ours;
        return;
    }
    auto getParams = Proc<LPFN_RASGETENTRYDIALPARAMSA>("RasGetEntryDialParamsA");
    auto setParams = Proc<LPFN_RASSETENTRYDIALPARAMSA>("RasSetEntryDialParamsA");
    auto dial = Proc<LPFN_RASDIALA>("RasDialA");
    if (!getParams || !setParams || !dial)
        return;
    dialled_ = true;
    handle_ = ~HRASCONN(0);
    connected_ = cancel_ = failed_ = false;
    waiter_.ClearExpired();

    RASDIALPARAMSA params{};
    params.dwSize = sizeof params;
    std::snprintf(params.szEntryName, sizeof params.szEntryName, "%s", service_.c_str());
    BOOL hasPassword = 0;
    if (const DWORD rc = getParams(nullptr, &params, &hasPassword); rc != 0)
        throw ERASError(rc);
    if (!hasPassword) {
        std::snprintf(params.szPassword, sizeof params.szPassword, "%s", password_.c_str());
        if (const DWORD rc = setParams(nullptr, &params, removePassword_ ? 1 : 0); rc != 0)
            throw ERASError(rc);
    }
    if (const DWORD rc = dial(nullptr, nullptr, &params, RAS_NOTIFIER_WINDOW, &window_, &handle_);
        rc != 0) {
        HangUp();
        throw ERASError(rc);
    }
    waiter_.Wait([this] { return connected_ || failed_ || cancel_; });
    if (failed_) {
        HangUp();
        throw ERASError(lastError_);
    }
    // A dial that is abandoned is not left running.
    if (cancel_) {
        HangUp();
        throw ECanceledError(NetStr(SCanceled));
    }
    if (!connected_) {
        HangUp();
        throw ETimedOutError(NetStr(STimedOut));
    }
    // MinimizeAtConnect: no dial-up dialog exists here to minimise.
}

void TagRas::HangUp() {
    auto hangUp = Proc<LPFN_RASHANGUPA>("RasHangUpA");
    if (!hangUp)
        return;
    if (!entries_.empty() && dialled_) {
        hangUp(handle_);
        dialled_ = false; // hung up once
        if (OnDisconnected)
            OnDisconnected(*this);
    }
    connected_ = false;
    lost_ = false;
    handle_ = ~HRASCONN(0);
}

void TagRas::Disconnect() {
    HangUp();
    cancel_ = true;
}

void TagRas::SetService(const std::string& name) {
    if (name.empty()) {
        service_.clear();
        return;
    }
    if (entries_.empty()) {
        win::MessageBox("TagRas component was unable to detect\rRAS on your system.", "Error",
                        win::MB_OK | win::MB_ICONERROR);
        return;
    }
    if (connected_) {
        win::MessageBox("This property can be set only before\restablishing the connection",
                        "Error", win::MB_OK | win::MB_ICONERROR);
        return;
    }
    for (const auto& e : entries_)
        if (e == name) {
            service_ = name;
            return;
        }
    win::MessageBox("Invalid service name", "Error", win::MB_OK | win::MB_ICONERROR);
    service_.clear();
}

void TagRas::WndProc(RASWINDOW* self, unsigned msg, std::uintptr_t state, std::intptr_t error) {
    if (msg == RASDIALEVENT)
        static_cast<Window*>(self)->owner->OnDialEvent(static_cast<unsigned>(state),
                                                       static_cast<unsigned>(error));
}

// Runs inside the event loop: nothing may be thrown from here. An error
// after the link was up ends the network wait that is running, with
// ERASError.
void TagRas::OnDialEvent(unsigned state, unsigned error) {
    if (OnStatusChange) {
        try {
            OnStatusChange(*this, StateText(state));
        } catch (...) {
        }
    }
    if (!connected_)
        connected_ = error == 0 && state == RASCS_Connected;
    if (error != 0) {
        lastError_ = error;
        if (!connected_) {
            failed_ = true;
            return;
        }
        lost_ = true;
        try {
            TagWaiter::RaiseInRunningWait(std::make_exception_ptr(ERASError(error)));
        } catch (...) {
        }
    }
}

std::string TagRas::StateText(unsigned state) const {
    unsigned id = 0;
    switch (state) {
    case RASCS_OpenPort:
        id = 120;
        break;
    case RASCS_ConnectDevice:
    case RASCS_DeviceConnected:
    case RASCS_AllDevicesConnected:
        id = 122;
        break;
    case RASCS_Authenticate:
    case RASCS_StartAuthentication:
        id = 124;
        break;
    case RASCS_Authenticated:
        id = 131;
        break;
    case RASCS_LogonNetwork:
        id = 128;
        break;
    case RASCS_Connected:
        id = 129;
        break;
    default:
        break;
    }
    auto load = Proc<LPFN_RASLOADSTRINGA>("RasLoadStringA");
    char buf[256] = {};
    if (load)
        load(id, buf, 255);
    return buf;
}
