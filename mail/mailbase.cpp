#include "mail/mailbase.h"

void TmsMailBase::ConnectIfNeeded() {
    if (IsOpen())
        return;
    Open();
    Login();
}

void TmsMailBase::Disconnect() {
    if (!IsOpen())
        return;
    try {
        Logout();
    } catch (...) {
        Close();
        throw;
    }
    Close();
}
