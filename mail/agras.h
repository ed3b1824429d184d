#pragma once
// TagRas: makes sure a dial-up connection is up before a socket opens and
// takes down what it dialled when the socket closes. The dial-up library
// (librasapi32.so, our "rasapi32.dll") is loaded by name; without it, or
// with an empty Service, the component does nothing.
//
//   idle --Connect--> dialling --connected--> connected --HangUp--> idle
//                        | error: hung up, ERASError
//                        | cancel / time-out: hung up, ECanceledError / ETimedOutError
//   connected: a dial-up error (the link lost) ends the network wait that
//   is running with ERASError and marks the link lost; the socket's close
//   then hangs up.
#include "mail/agerrors.h"
#include "mail/agwait.h"
#include "platform/ras/rasapi.h"

#include <functional>
#include <string>
#include <vector>

class TagRas {
public:
    TagRas();
    ~TagRas();
    TagRas(const TagRas&) = delete;
    TagRas& operator=(const TagRas&) = delete;

    // The phone-book entry names (at most 25) found at creation or by GetEntries.
    [[nodiscard]] const std::vector<std::string>& Entries() const { return entries_; }
    const std::vector<std::string>& GetEntries();
    // A live connection of Service (any connection with an IP address when
    // ForceService is false) counts; its handle becomes the component's.
    [[nodiscard]] bool IsConnected();
    // Dials Service unless it is empty or a connection counts already.
    void Connect();
    // Hangs up what this component dialled.
    void HangUp();
    // HangUp, then the cancel flag: what a socket's close calls.
    void Disconnect();

    [[nodiscard]] const std::string& Service() const { return service_; }
    // Shows a message box and keeps the value when RAS is missing, the link
    // is up, or the name is no entry.
    void SetService(const std::string& name);
    [[nodiscard]] bool ForceService() const { return forceService_; }
    void SetForceService(bool v) { forceService_ = v; }
    [[nodiscard]] bool MinimizeAtConnect() const { return minimizeAtConnect_; }
    void SetMinimizeAtConnect(bool v) { minimizeAtConnect_ = v; }
    [[nodiscard]] const std::string& Password() const { return password_; }
    void SetPassword(const std::string& v) { password_ = v; }
    [[nodiscard]] bool RemovePassword() const { return removePassword_; }
    void SetRemovePassword(bool v) { removePassword_ = v; }
    [[nodiscard]] int TimeOut() const { return waiter_.TimeOut(); }
    void SetTimeOut(int seconds) { waiter_.SetTimeOut(seconds); }
    [[nodiscard]] unsigned LastError() const { return lastError_; }
    [[nodiscard]] bool Connected() const { return connected_; }
    // The link went down after it was up: nothing sent reaches the server
    // any more. Cleared by the next Connect or HangUp.
    [[nodiscard]] bool LinkLost() const { return lost_; }

    std::function<void(TagRas& sender, const std::string& status)> OnStatusChange;
    std::function<void(TagRas& sender)> OnDisconnected;

    // The library's file name ("librasapi32.so"); tests point it elsewhere.
    static void SetLibraryName(const std::string& name);
    [[nodiscard]] static const std::string& LibraryName();
    // Loads the library by name (also from the program's folder); null when missing.
    [[nodiscard]] static void* LoadLibrary();

private:
    struct Window : RASWINDOW {
        TagRas* owner;
    };
    static void WndProc(RASWINDOW* self, unsigned msg, std::uintptr_t state, std::intptr_t error);
    void OnDialEvent(unsigned state, unsigned error);
    [[nodiscard]] std::string StateText(unsigned state) const;
    template <class F> F Proc(const char* name) const;

    std::vector<std::string> entries_;
    std::string service_;
    HRASCONN handle_ = ~HRASCONN(0);
    Window window_;
    bool minimizeAtConnect_ = false;
    bool dialled_ = false;
    std::string password_;
    bool removePassword_ = true;
    void* lib_ = nullptr;
    bool forceService_ = true;
    unsigned lastError_ = 0;
    TagWaiter waiter_{120};
    bool cancel_ = false;
    bool connected_ = false;
    bool failed_ = false;
    bool lost_ = false;
};
