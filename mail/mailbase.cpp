#include "mail/mailbase.h"

#include "mail/agras.h"

void TmsMailBase::ConnectIfNeeded() {
    if (IsOpen())
        return;
    Open();
    Login();
}

void TmsMailBase::Disconnect() {
    if (!IsOpen())
        return;
    // Over a lost dial-up link a logout's answer could only end by time-out.
    if (RAS() && RAS()->LinkLost()) {
        Close();
        return;
    }
    try {
        Logout();
    } catch (...) {
        Close();
        throw;
    }
    Close();
}
