// The SMTP client's reply reader over whatever a server sends: greeting,
// HELO, MAIL FROM, RCPT for two recipients and a copy, DATA, the message and
// QUIT, all answered from the fuzz input.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_util.h"
#include "fuzz/reply_server.h"
#include "mail/agerrors.h"
#include "mail/mssmtp.h"

namespace {

// One dialogue; the client has closed its connection when it returns.
void Talk(fuzz::ReplyServer& server, const std::uint8_t* data, std::size_t size) {
    server.SetReplies(fuzz::Bytes(data, size));
    TmsMessage message;
    message.Sender().SetAddress("sender@example.org");
    message.Sender().SetName("Sender");
    message.Recipients().Add("one@example.org", "One");
    message.Recipients().Add("two@example.org", "");
    message.CC().Add("copy@example.org", "Copy");
    message.SetSubject("fuzz");
    message.Body().Add("A line.");
    message.Body().Add(".a line that starts with a dot");
    TmsSMTP smtp;
    smtp.SetWinsockLoaded(true); // a new component unloads the binding
    smtp.SetServer(server.Address());
    smtp.SetTimeOut(5);
    smtp.SetMailMessage(&message);
    try {
        smtp.Send();
    } catch (const ETimedOutError&) {
        // The server always answers or hangs up at once: waiting out the
        // time-out means the client missed that.
        __builtin_trap();
    } catch (const Exception&) {
        // a refused or broken dialogue is reported as the client's error
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ReplyServer& server = fuzz::ReplyServer::Instance();
    Talk(server, data, size);
    // The server's side of it ends too before the next input (and before a
    // leak check that would take its buffers for the input's leaks).
    server.WaitIdle();
    return 0;
}
