#include "bench/pass/corpus.h"

#include <cstdio>
#include <random>

namespace benchpass {

namespace {

// Raw draws from a fixed-seed engine: the same corpus on every machine
// (the standard distributions may differ between libraries).
class Dice {
public:
    explicit Dice(unsigned seed) : engine_(seed) {}
    int Below(int n) { return static_cast<int>(engine_() % static_cast<unsigned>(n)); }
    bool Percent(int p) { return Below(100) < p; }
    template <size_t N> const char* Pick(const char* const (&items)[N]) {
        return items[Below(static_cast<int>(N))];
    }

private:
    std::mt19937 engine_;
};

// None of these contain a word that a rule looks for ("order", "invoice",
// "urgent", "dear", "quantity", "unsubscribe"), so features alone decide.
const char* const kFirstNames[] = {"Ann", "Carl", "Eve", "Gus", "Ida", "Kim", "Lou", "Max"};
const char* const kLastNames[] = {"Baker", "Dunn", "Fox", "Hale", "Jones", "Kent", "Moss"};
const char* const kItems[] = {"lamps", "chairs", "desks", "cables", "paper", "shelves"};
const char* const kOrderSubjects[] = {"Order %d for %s", "Re: your order %d (%s)",
                                      "New order: %d %s", "Question about order %d, %s"};
const char* const kInvoiceSubjects[] = {"Invoice %d", "Your invoice %d is ready",
                                        "Reminder: invoice %d due"};
const char* const kOtherSubjects[] = {"Meeting notes %d",          "Lunch on Friday",
                                      "Photos from the trip",      "Weekly newsletter %d",
                                      "Question about delivery",   "Holiday plans",
                                      "Server maintenance window", "Re: your question"};
const char* const kGreetings[] = {"Hi,", "Hello,", "Good morning,", "Team,"};
const char* const kFiller[] = {
    "I hope this finds you well.",
    "Could you have a look at the attached figures when you have a moment?",
    "The shipment left the warehouse on Monday and should arrive this week.",
    "We talked about this at the last meeting; here is the summary again.",
    "Please let me know if anything is missing from the list below.",
    "The new price list applies from the first of next month.",
    "Our office is closed on the public holiday, as every year.",
    "Thanks again for the quick answer to my last message.",
    "The parcel number is 0034 5521 9978 0012, for your records.",
    "I will be travelling next week but can read mail in the evenings.",
    "Kind regards and have a good weekend."};

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Format(const char* pattern, int number, const char* item) {
    char buf[160];
    std::snprintf(buf, sizeof buf, pattern, number, item);
    return buf;
}

Message MakeOne(int i, Dice& dice) {
    Message m;
    Features& f = m.features;
    char name[32];
    std::snprintf(name, sizeof name, "msg-%05d.eml", i);
    m.name = name;

    const int kind = dice.Below(100); // 34% orders, 15% invoices, the rest other
    f.orderSubject = kind < 34;
    f.invoiceSubject = kind >= 34 && kind < 49;
    f.quantityBody = dice.Percent(f.orderSubject ? 62 : 10);
    f.billingFrom = dice.Percent(f.invoiceSubject ? 55 : 4);
    f.partnerFrom = !f.billingFrom && dice.Percent(30);
    f.listHeader = dice.Percent(20);
    f.unsubscribeBody = dice.Percent(f.listHeader ? 70 : 3);
    f.urgentSubject = dice.Percent(10);
    f.supportTo = dice.Percent(45);
    f.dearFirst = dice.Percent(40);

    const int number = 1000 + dice.Below(9000);
    const char* item = dice.Pick(kItems);
    std::string subject = f.orderSubject     ? Format(dice.Pick(kOrderSubjects), number, item)
                          : f.invoiceSubject ? Format(dice.Pick(kInvoiceSubjects), number, item)
                                             : Format(dice.Pick(kOtherSubjects), number, item);
    if (f.urgentSubject)
        subject = "Urgent: " + subject;

    const std::string first = dice.Pick(kFirstNames), last = dice.Pick(kLastNames);
    // Addresses in lower case: Quelta's "doesn't contain" compares exactly.
    const std::string local = Lower(first) + "." + Lower(last);
    std::string from;
    if (f.billingFrom)
        from = "Billing Office <accounts@billing.example>";
    else if (f.partnerFrom)
        from = first + " " + last + " <" + local + "@partner.example>";
    else
        from = first + " " + last + " <" + local + "@customer" + std::to_string(dice.Below(50)) +
               ".example>";

    std::string t;
    t += "Message-ID: <bench." + std::to_string(i) + "." + std::to_string(number) +
         "@customer.example>\r\n";
    char date[64];
    std::snprintf(date, sizeof date, "Date: Wed, 9 Dec 2026 %02d:%02d:%02d +0000\r\n",
                  8 + i / 3600 % 10, i / 60 % 60, i % 60);
    t += date;
    t += "From: " + from + "\r\n";
    t += f.supportTo ? "To: Bench Support <support@bench.example>\r\n"
                     : "To: Bench Sales <sales@bench.example>\r\n";
    t += "Subject: " + subject + "\r\n";
    if (f.listHeader)
        t += "List-Id: Bench announcements <news.lists.example>\r\n";
    if (dice.Percent(50))
        t += "X-Mailer: Bench Mailer 2.1\r\n";
    t += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n";

    t += f.dearFirst ? "Dear Bench team,\r\n" : std::string(dice.Pick(kGreetings)) + "\r\n";
    const int lines = 3 + dice.Below(12);
    const int quantityAt = dice.Below(lines);
    for (int k = 0; k < lines; ++k) {
        if (f.quantityBody && k == quantityAt)
            t += "Quantity: " + std::to_string(1 + dice.Below(40)) + " " + item + "\r\n";
        t += std::string(dice.Pick(kFiller)) + "\r\n";
    }
    if (f.unsubscribeBody)
        t += "To unsubscribe, write to leave@lists.example.\r\n";
    t += "\r\n" + first + " " + last + "\r\n";
    m.text = std::move(t);
    return m;
}

bool OrdersFire(const Features& f) {
    return f.orderSubject && f.quantityBody;
}
bool InvoicesFire(const Features& f) {
    return f.invoiceSubject && f.billingFrom;
}
bool ListsFire(const Features& f) {
    return f.listHeader && f.unsubscribeBody;
}
bool UrgentFire(const Features& f) {
    return f.urgentSubject && f.supportTo;
}
bool LettersFire(const Features& f) {
    return !f.partnerFrom && f.dearFirst;
}

} // namespace

std::vector<Message> MakeMessages(int n) {
    Dice dice(20261209);
    std::vector<Message> all;
    all.reserve(static_cast<size_t>(n));
    for (int i = 1; i <= n; ++i)
        all.push_back(MakeOne(i, dice));
    return all;
}

std::string WithLineFeeds(const std::string& crlf) {
    std::string lf;
    lf.reserve(crlf.size());
    for (size_t i = 0; i < crlf.size(); ++i)
        if (!(crlf[i] == '\r' && i + 1 < crlf.size() && crlf[i + 1] == '\n'))
            lf += crlf[i];
    return lf;
}

const std::vector<Rule>& Rules() {
    // procmail matches case-insensitively like the Quelta conditions used
    // here; "doesn't contain" is exact in Quelta, and the addresses are
    // generated in lower case, so both agree.
    static const std::vector<Rule> rules = {
        {"Orders",
         {{{"Subject", "contains", "order"}, {"<Body>", "contains", "quantity"}}},
         {"^Subject:.*order", "B ?? quantity"},
         true,
         OrdersFire},
        {"Invoices",
         {{{"Subject", "contains", "invoice"}, {"From", "contains", "@billing.example"}}},
         {"^Subject:.*invoice", "^From:.*@billing\\.example"},
         false,
         InvoicesFire},
        {"Lists",
         {{{"<Any Header>", "begins with", "List-Id"}, {"<Body>", "contains", "unsubscribe"}}},
         {"^List-Id:", "B ?? unsubscribe"},
         false,
         ListsFire},
        {"Urgent",
         {{{"Subject", "begins with", "urgent"}, {"To", "contains", "support@"}}},
         {"^Subject:[ \t]*urgent", "^To:.*support@"},
         false,
         UrgentFire},
        {"Letters",
         {{{"From", "doesn't contain", "@partner.example"}, {"<Body>", "begins with", "dear"}}},
         {"! ^From:.*@partner\\.example", "B ?? ^^dear"},
         false,
         LettersFire},
    };
    return rules;
}

std::string AgentFile(const Rule& rule, const std::string& templatePath) {
    std::string s = "[MAIN]\r\nAgentType=MESSAGE\r\nAppVersion=1.018\r\nTriggerCount=2\r\n"
                    "ActionCount=1\r\n";
    const char* sections[] = {"HEADER", "CONDITION", "VALUE"};
    for (int k = 0; k < 3; ++k) {
        s += std::string("[") + sections[k] + "]\r\n";
        for (int i = 0; i < 2; ++i)
            s += "Entry" + std::to_string(i + 1) + "=" + rule.triggers[i][k] + "\r\n";
    }
    // A rule that does not reply records its hit: a zero delay is the one
    // action that only writes its row, as procmail's rule only logs a line.
    if (rule.replies)
        s += "[ACTIONPARAM1]\r\nEntry1=AUTO-REPLY\r\n[ACTIONPARAM2]\r\nEntry1=" + templatePath +
             "\r\n[ACTIONPARAM3]\r\nEntry1=\r\n";
    else
        s += "[ACTIONPARAM1]\r\nEntry1=DELAY THE AGENT\r\n[ACTIONPARAM2]\r\nEntry1=0\r\n"
             "[ACTIONPARAM3]\r\nEntry1=\r\n";
    return s;
}

std::string ReplyBody() {
    return "Thank you for your order. It has reached our sales desk and will be\r\n"
           "answered within one working day.\r\n\r\nBench Sales\r\n";
}

std::string ReplyTemplate() {
    return "From: Bench Sales <sales@bench.example>\r\n"
           "Subject: Re: <<REPLYHEADER~Subject>>\r\n\r\n"
           "Dear <<REPLYHEADER~FROMNAME>>,\r\n\r\n" +
           ReplyBody();
}

std::string ProcmailTag(const Rule& rule) {
    return "agent " + rule.name + " matched";
}

std::string ProcmailRc(const std::string& maildir, const std::string& msmtprc,
                       const std::string& replyBody) {
    std::string rc = "SHELL=/bin/sh\nMAILDIR=" + maildir + "\nDEFAULT=$MAILDIR/In/\n" +
                     "LOGFILE=$MAILDIR/procmail.log\nNL=\"\n\"\n";
    for (const Rule& r : Rules()) {
        rc += "\n:0\n* " + r.recipe[0] + "\n* " + r.recipe[1] + "\n{\n  LOG=\"" + ProcmailTag(r) +
              "$NL\"\n";
        // "w": procmail waits for the whole pipeline and logs a failure.
        if (r.replies)
            rc += "  :0 cw\n  | (/usr/bin/formail -rt -I\"From: Bench Sales "
                  "<sales@bench.example>\" -A\"X-QueltaAuto-Reply: True\"; cat " +
                  replyBody + ") | /usr/bin/msmtp -C " + msmtprc + " -t\n";
        rc += "}\n";
    }
    return rc;
}

} // namespace benchpass
