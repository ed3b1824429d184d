// Agent definition files as the configuration manager or a user leaves
// them: read, then every trigger evaluated against one message.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "mail/msmsg.h"
#include "processor/agentfile.h"
#include "processor/triggers.h"

namespace {

const TmsMessage& Sample() {
    static const TmsMessage* message = [] {
        auto* m = new TmsMessage;
        TmsHeaders h;
        h.Add("From: John Smith <john@example.com>");
        h.Add("To: Sales <sales@example.com>, orders@example.com");
        h.Add("Subject: Order 17");
        h.Add("X-Priority: 1");
        m->ParseHeaders(h);
        m->Body().Add("Dear Sir,");
        m->Body().Add("please send the order.");
        return m;
    }();
    return *message;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteScratch("fuzz.agent", fuzz::Bytes(data, size));
    quelta::TAgentDefinition agent = quelta::ReadAgentFile(path);
    std::vector<std::string> results;
    (void)quelta::AgentFires(agent, Sample(), results);
    for (const auto& a : agent.Actions)
        (void)quelta::UpperAZ(a.Name);
    return 0;
}
