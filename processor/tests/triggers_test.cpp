#include "processor/triggers.h"

#include "mail/msmsg.h"

#include <gtest/gtest.h>
#include <memory>

using quelta::TAgentDefinition;
using quelta::TAgentTrigger;

namespace {

std::unique_ptr<TmsMessage> Message(std::initializer_list<std::string> headers,
                                    std::initializer_list<std::string> body) {
    auto m = std::make_unique<TmsMessage>();
    TmsHeaders h;
    for (const auto& line : headers)
        h.Add(line);
    m->ParseHeaders(h);
    for (const auto& line : body)
        m->Body().Add(line);
    return m;
}

bool Holds(const TmsMessage& m, const std::string& header, const std::string& cond,
           const std::string& value) {
    bool r = false;
    EXPECT_TRUE(quelta::EvaluateTrigger({header, cond, value}, m, r)) << cond;
    return r;
}

} // namespace

TEST(Triggers, ConditionTable) {
    auto m = Message({"From: smith <smith@example.com>", "Subject: Re: your order",
                      "X-Mailer: Quick 1.0", "To: a@b.c"},
                     {"Dear Sir,", "please send SMITH the order."});
    struct Row {
        const char* header;
        const char* cond;
        const char* value;
        bool expected;
    } rows[] = {
        {"Subject", "contains", "ORDER", true},
        {"subject", "CONTAINS", "invoice", false},
        {"Subject", "contains", "", false},
        {"Subject", "doesn't contain", "", true},
        // Negation ignores case like its positive form.
        {"From", "doesn't contain", "Smith", false},
        {"From", "does not contain", "Jones", true},
        {"<Body>", "doesn't contain", "SMITH", false},
        {"<Body>", "contains", "smith", true},
        {"<Any Header>", "contains", "quick", true},
        {"<Any Header>", "doesn't contain", "QUICK", false},
        {"<Any Header>", "begins with", "X-Mailer", true},
        {"<Any Header>", "begins with", "x-mailer", false}, // exact for header lines
        {"<Body>", "begins with", "dear", true},
        {"<Body>", "begins with", "please", false}, // only the first line counts
        {"Subject", "begins with", "re:", true},
        {"Subject", "begins with", "", true},
        {"Reply-To", "begins with", "x", false},  // a missing field tests ""
        {"Subject:x", "contains", "order", true}, // last character after ":" dropped
        {"<Body>x", "contains", "dear", true},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Holds(*m, r.header, r.cond, r.value), r.expected)
            << r.header << " " << r.cond << " " << r.value;

    auto empty = Message({"Subject: x"}, {});
    EXPECT_FALSE(Holds(*empty, "<Body>", "begins with", ""));
    EXPECT_TRUE(Holds(*empty, "<Body>", "doesn't contain", "x"));
}

TEST(Triggers, FiringRule) {
    auto m = Message({"Subject: order 17"}, {"hello"});
    std::vector<std::string> results;
    TAgentDefinition agent;
    agent.AgentType = "MESSAGE";
    EXPECT_TRUE(quelta::AgentFires(agent, *m, results)); // no triggers: every message

    agent.TriggerCount = 2;
    agent.Triggers = {{"Subject", "contains", "order"}, {"Subject", "equals", "x"}};
    EXPECT_TRUE(quelta::AgentFires(agent, *m, results));
    EXPECT_EQ(results, std::vector<std::string>{"TRUE"});

    agent.Triggers = {{"Subject", "contains", "nothing"}, {"<Body>", "contains", "hello"}};
    EXPECT_FALSE(quelta::AgentFires(agent, *m, results));
    EXPECT_EQ(results, (std::vector<std::string>{"FALSE", "TRUE"})); // none skipped

    agent.Triggers = {{"Subject", "equals", "x"}, {"", "", ""}};
    EXPECT_FALSE(quelta::AgentFires(agent, *m, results)); // only unknown conditions

    agent.TriggerCount = -1;
    agent.Triggers.clear();
    EXPECT_FALSE(quelta::AgentFires(agent, *m, results));
}
