#pragma once
// TagSocket: one TCP connection to a server, exchanging lines and bulk data,
// waiting for every network event by serving Qt's event loop (no threads of
// its own) until the event, a cancel or the inactivity time-out arrives. All
// Winsock calls go through the process-wide run-time binding; look-ups and
// socket events arrive at the component's hidden window.
//
//   closed --Open--> open (socket made) --Connect--> connected --Close--> closed
//   Open:  dial-up Connect, OnOpen, Server check, WSAStartup, local host
//          name, host, port, socket.
//   Every wait: start the countdown, serve the loop until its flag, the
//   cancel flag, the expiry (or an error) ends it, stop the countdown, then
//   raise in the order stated. An expiry stays marked until Reset.
#include "mail/agerrors.h"
#include "mail/agwait.h"
#include "platform/winsock/winsock.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

class TagRas;
class TagSocket;

using TmsErrorEvent = std::function<void(TagSocket& sender, std::string& text)>;
using TmsProgressEvent = std::function<void(TagSocket& sender, int perc, long transferred)>;
using TmsNotifyEvent = std::function<void(TagSocket& sender)>;

class TagSocket {
public:
    // Window messages of the hidden window.
    static constexpr unsigned kHostLookedUp = 1172;
    static constexpr unsigned kServLookedUp = 1173;
    static constexpr unsigned kSocketEvent = 1174;
    // Longest reply line accepted; a longer one is an error, not an overflow.
    static constexpr std::size_t kMaxLineLength = 65536;

    TagSocket();
    virtual ~TagSocket();
    TagSocket(const TagSocket&) = delete;
    TagSocket& operator=(const TagSocket&) = delete;

    [[nodiscard]] const std::string& Server() const { return server_; }
    void SetServer(const std::string& v) { server_ = v; }
    [[nodiscard]] u_short DefaultPort() const { return defaultPort_; }
    void SetDefaultPort(u_short v) { defaultPort_ = v; }
    [[nodiscard]] int TimeOut() const { return waiter_.TimeOut(); }
    void SetTimeOut(int seconds) { waiter_.SetTimeOut(seconds); }
    [[nodiscard]] TagRas* RAS() const { return ras_; }
    void SetRAS(TagRas* ras) { ras_ = ras; }
    // Reads or switches the process-wide Winsock binding.
    [[nodiscard]] bool WinsockLoaded() const;
    void SetWinsockLoaded(bool loaded);
    [[nodiscard]] static bool IsWinsockAvailable();

    [[nodiscard]] const std::string& LastReply() const { return lastReply_; }
    [[nodiscard]] const std::string& LocalHostName() const { return localHostName_; }
    [[nodiscard]] u_short Port() const { return port_; }
    [[nodiscard]] const std::string& DottedAddress() const { return dottedAddress_; }

    TmsNotifyEvent OnOpen, OnClosing, OnClosed, OnCancel;
    TmsProgressEvent OnProgress;
    TmsErrorEvent OnError;

    // Clears the cancel flag, the expired mark, the request, the error and
    // every event flag.
    virtual void Reset();
    // The first three characters as a number, -1 when they are not one.
    [[nodiscard]] virtual int GetReplyCode(const std::string& line);
    virtual void Open();
    virtual void Close();
    virtual void Cancel();
    void Connect();
    [[nodiscard]] bool IsOpen() const { return socket_ != INVALID_SOCKET; }

    // One line without its line break; the result is its reply code, -1
    // when no line was completed. Bytes received after the line feed stay
    // in the component for the next read.
    int ReadLine(std::string& line);
    // A whole (multi-line) numeric reply; the code of its first line. The
    // last line stays in LastReply.
    int ReadReply();
    // The line followed by CR LF; a line holding CR or LF is refused.
    void SendLine(std::string_view line);
    // Data up to the line "."; the stream gets it as received, ending with
    // the line break before the ".". size: the expected size, -1 for none.
    void ReceiveToStream(std::ostream& stream, long size);
    // The whole stream from its start, through filter when one is given
    // (fed 2047-byte chunks, the last one with last = true).
    using Filter = std::function<std::string(std::string_view chunk, bool last)>;
    void SendStream(std::istream& stream, const Filter& filter = {});

protected:
    void GetLocalHostName();
    void ResolveHost();
    void ResolvePort();
    // The error routines; each stops the countdown first.
    [[noreturn]] void RaiseError(int id);
    void RaiseErrorIfSet(int id);
    [[noreturn]] void RaiseTimedOut();
    [[noreturn]] void RaiseCanceled();
    // Raises for a wait's end: cancel, expiry, then the error flag.
    void RaiseWaitEnd(bool withError);
    void ProcessMessages() { TagWaiter::ProcessMessages(); }

    std::string serviceName_;
    TagWaiter waiter_{60};
    bool cancel_ = false;

private:
    struct Window : WSWINDOW {
        TagSocket* owner;
    };
    static void WndProc(WSWINDOW* self, unsigned msg, std::uintptr_t w, std::intptr_t l);
    void OnMessage(unsigned msg, std::intptr_t l);
    void CancelRequest();
    // Waits for room to send (after a send that would block).
    void WaitWritable();
    int SendSome(const char* data, int len);
    // One receive of up to a chunk appended to the bytes held; recv's result.
    int ReceiveChunk();
    // Takes a whole line (line feed included) from the bytes held.
    bool TakeLine(std::string& line);
    [[nodiscard]] std::size_t Held() const { return receivedEnd_ - receivedAt_; }
    void DropHeld();

    std::string server_;
    u_short defaultPort_ = 0;
    TagRas* ras_ = nullptr;
    Window window_;
    WSADATA wsaData_{};
    SOCKET socket_ = INVALID_SOCKET;
    HANDLE request_ = nullptr;
    std::uint32_t hostAddress_ = 0;
    std::string dottedAddress_;
    std::string localHostName_;
    u_short port_ = 0;
    int startups_ = 0;
    bool hostLookedUp_ = false, servLookedUp_ = false;
    bool connected_ = false, readable_ = false, writable_ = false, closed_ = false;
    bool error_ = false;
    int errorCode_ = 0;
    std::string lastReply_;
    // Received but not yet read: [receivedAt_, receivedEnd_) of received_.
    std::string received_;
    std::size_t receivedAt_ = 0, receivedEnd_ = 0;
    alignas(HOSTENT) char lookupBuf_[MAXGETHOSTSTRUCT] = {};
};
