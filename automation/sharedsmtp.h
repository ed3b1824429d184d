#pragma once
// The library's one SMTP component, shared by every SMTP and message
// object: a server set through any of them is the server of every later send.
#include <string>

class TagSocket;
class TmsMessage;

namespace quelta {

// Created on first use (port 25, time-out 60, no server; the Winsock
// library loaded when it is available) and freed when the library is unloaded.
TagSocket& SharedSmtp();

// Sends message through the shared component and returns when the send has
// ended; failures are exceptions. The component never keeps a pointer to
// the message after the call.
void SendMessage(TmsMessage& message);
// The same through server; the component's server is put back afterwards,
// whether the send succeeded or not.
void SendMessageVia(TmsMessage& message, const std::string& server);

} // namespace quelta
