#pragma once
// TmsMailBase: the base of the mail protocol clients (POP3, SMTP): a socket
// that logs in after opening and logs out before closing.
#include "mail/agsocket.h"

// A negative server reply; the text is the server's reply line. Raised
// without OnError.
class EServerError : public Exception {
public:
    using Exception::Exception;
};

class TmsMailBase : public TagSocket {
public:
    TmsMailBase() = default;

    virtual void Login() = 0;
    virtual void Logout() = 0;

    // Open and Login unless the socket is open.
    void ConnectIfNeeded();
    // When open: Logout, then Close. A failed logout still closes the
    // socket (so a connection is never reused after a failure) and raises.
    // After the dial-up link was lost: Close alone.
    void Disconnect();
};
