// The POP3 client's reply reader over whatever a server sends: greeting,
// USER/PASS/STAT, LIST and TOP of every message, then the checks, RETR and
// DELE of each, and QUIT, all answered from the fuzz input.
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "fuzz/fuzz_util.h"
#include "fuzz/reply_server.h"
#include "mail/agerrors.h"
#include "mail/mspop3.h"

namespace {

// One dialogue; the client has closed its connection when it returns.
void Talk(fuzz::ReplyServer& server, const std::uint8_t* data, std::size_t size) {
    server.SetReplies(fuzz::Bytes(data, size));
    TmsRemotePOP pop;
    pop.SetWinsockLoaded(true); // a new component unloads the binding
    pop.SetServer(server.Address());
    pop.SetUserName("user");
    pop.SetPassword("secret");
    pop.SetTimeOut(5);
    pop.SetKeepConnected(true);
    std::size_t fetched = 0;
    pop.OnUserMessageSave = [&](TagSocket&, int, std::istream& contents) {
        std::ostringstream all;
        all << contents.rdbuf();
        fetched += all.str().size();
    };
    try {
        pop.UpdateInfo();
        for (int i = 0; i < pop.Info().Count(); ++i) {
            pop.MarkRetrieve(i);
            pop.MarkDelete(i);
        }
        pop.ProcessMarked();
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
