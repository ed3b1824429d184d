#pragma once
// The benchmark's mail and rules: generated messages with known features,
// and five rules of two conditions each, written once as Quelta agents and
// once as procmail recipes, so both sides match the same messages.
#include <array>
#include <string>
#include <vector>

namespace benchpass {

// What a generated message carries; the rules test exactly these.
struct Features {
    bool orderSubject = false;   // Subject contains "order"
    bool quantityBody = false;   // a body line contains "Quantity:"
    bool invoiceSubject = false; // Subject contains "invoice"
    bool billingFrom = false;    // From is at billing.example
    bool listHeader = false;     // a "List-Id:" header line
    bool unsubscribeBody = false;
    bool urgentSubject = false; // Subject begins with "Urgent:"
    bool supportTo = false;     // To is support@
    bool partnerFrom = false;   // From is at partner.example
    bool dearFirst = false;     // the first body line begins with "Dear"
};

struct Message {
    std::string name; // file name in Pending, "msg-00001.eml"
    std::string text; // CRLF line ends, as the store holds mail
    Features features;
};

// n messages, the same for a given n; about a fifth fire the reply rule.
std::vector<Message> MakeMessages(int n);

// The text with LF line ends, as a local delivery hands mail to procmail.
std::string WithLineFeeds(const std::string& crlf);

// One Quelta trigger: header, condition, value as the agent file holds them.
using Trigger = std::array<std::string, 3>;

struct Rule {
    std::string name;                  // agent file name and procmail log tag
    std::array<Trigger, 2> triggers;   // Quelta
    std::array<std::string, 2> recipe; // procmail conditions, without "* "
    bool replies = false;              // the rule answers the sender
    bool (*fires)(const Features&);    // what both sides should find
};

const std::vector<Rule>& Rules();

// Agent file text (INI, CRLF) for a rule; replies use the template.
std::string AgentFile(const Rule& rule, const std::string& templatePath);

// The reply template with merge codes (Quelta) and the reply body text
// appended after formail's reply header (procmail).
std::string ReplyTemplate();
std::string ReplyBody();

// A procmailrc with the five rules; a reply goes through msmtp with the
// given configuration file; mail that falls through is filed in In/.
std::string ProcmailRc(const std::string& maildir, const std::string& msmtprc,
                       const std::string& replyBody);

// The log line a procmail rule writes, as counted afterwards.
std::string ProcmailTag(const Rule& rule);

} // namespace benchpass
