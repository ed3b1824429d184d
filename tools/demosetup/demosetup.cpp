// Fills a fresh installation with a demonstration: one account, two agents
// with their files, a reply template with merge codes and a few messages
// waiting in the account's Pending folder.
//   demosetup FOLDER SMTP-SERVER [POP3-SERVER]
// FOLDER holds the tables made by mkschema in FOLDER/db/; quelta.ini is
// written in the Windows directory ($QUELTA_WINDIR).
#include "data/dataset.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"
#include "processor/store.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

namespace {

void Append(const std::string& db, const std::string& table,
            const std::map<std::string, std::string>& fields) {
    data::TTable t;
    t.SetDatabaseName(db);
    t.SetTableName(table);
    t.Open();
    t.Append();
    for (const auto& [name, value] : fields)
        t.FieldByName(name).SetAsString(value);
    t.Post();
    t.Close();
}

void Write(const std::string& path, const std::string& text) {
    win::ForceDirectories(win::ExtractFilePath(path));
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

const char* const kAccount = "200612090001";
const char* const kGroup = "20261209000000De";

std::string Message(const std::string& id, const std::string& from, const std::string& subject,
                    const std::string& body) {
    return "Message-ID: <" + id + "@customer.example>\r\nFrom: " + from +
           "\r\nTo: Demo Sales <sales@demo.example>\r\nSubject: " + subject +
           "\r\nDate: Wed, 9 Dec 2026 08:15:00 +0000\r\n\r\n" + body;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: demosetup FOLDER SMTP-SERVER [POP3-SERVER]\n");
        return 2;
    }
    try {
        const std::string root = win::IncludeTrailingPathDelimiter(argv[1]);
        const std::string db = root + "db/", agents = root + "agents/",
                          messages = root + "messages/", templates = root + "templates/";
        win::TIniFile ini("quelta.ini");
        ini.WriteString("Folders", "Messages", messages);
        ini.WriteString("Folders", "Agents", agents);
        ini.WriteString("Folders", "DataBase", db);
        ini.WriteString("Folders", "Templates", templates);
        ini.WriteBool("AgentSettings", "AutoEnabled", true);

        // The account sits in a group of the installed organisation, as the
        // configuration manager shows it.
        std::string org;
        {
            data::TTable orgs;
            orgs.SetDatabaseName(db);
            orgs.SetTableName("ORGS.DBF");
            orgs.Open();
            orgs.First();
            org = orgs.FieldByName("UNIQUE_ID").AsString();
        }
        Append(db, "GROUPS.DBF",
               {{"UNIQUE_ID", kGroup}, {"LINK_ID", org}, {"GROUP", "Demo"}, {"NOTES", "Demo"}});
        Append(db, "NODES.DBF",
               {{"UNIQUE_ID", kAccount},
                {"LINK_ID", kGroup},
                {"NODE", "Demo Sales"},
                {"ADDRESS", "sales@demo.example"},
                {"LOGIN", "sales"},
                {"PASSWORD", "demo"},
                {"POPADDRESS", argc == 4 ? argv[3] : "127.0.0.1"},
                {"SMTPADDRES", argv[2]},
                {"NEXTDATE", "1/1/2000"},
                {"NEXTTIME", "00:00"},
                {"FREQVAL", "5"}});
        // Fetch every message and delete it on the server.
        Append(db, "rules.dbf",
               {{"UNIQUE_ID", "20261209000001All"},
                {"LINK_ID", kAccount},
                {"RULE", "All messages"},
                {"COND", "A"},
                {"ACT1", "Y"},
                {"ACT2", "Y"}});
        Append(db, "Agents.dbf",
               {{"UNIQUE_ID", "20261209000001Orders"}, {"LINK_ID", kAccount}, {"AGENT", "Orders"}});
        Append(db, "Agents.dbf",
               {{"UNIQUE_ID", "20261209000002Urgent"}, {"LINK_ID", kAccount}, {"AGENT", "Urgent"}});

        Write(templates + "order-reply.eml",
              "From: sales@demo.example\r\nTo: <<REPLYFIELD~Reply-To>>\r\n"
              "Subject: Re: <<REPLYHEADER~Subject>>\r\n\r\n"
              "Dear <<REPLYHEADER~FROMNAME>>,\r\n\r\n"
              "thank you for order <<REPLYFIELD~Order>>.\r\n"
              "It reached <<SYSTEM~CURRENTNODE>>\r\n"
              "on <<SYSTEM~FORMATDATETIME(yyyy-mm-dd)>>.\r\n"
              "Items ordered: <<EXPRESSION~1 + 2>>\r\n\r\n<<SYSTEM~VERSION>>\r\n");
        Write(agents + "Orders.agent",
              "[MAIN]\r\nAgentType=MESSAGE\r\nAppVersion=1.018\r\nTriggerCount=1\r\n"
              "ActionCount=2\r\n[HEADER]\r\nEntry1=Subject\r\n[CONDITION]\r\nEntry1=contains\r\n"
              "[VALUE]\r\nEntry1=order\r\n[ACTIONPARAM1]\r\nEntry1=AUTO-REPLY\r\n"
              "Entry2=FORWARD TO\r\n[ACTIONPARAM2]\r\nEntry1=" +
                  templates +
                  "order-reply.eml\r\nEntry2=orders@demo.example\r\n"
                  "[ACTIONPARAM3]\r\nEntry1=\r\nEntry2=New order, please ship.\r\n");
        Write(agents + "Urgent.agent",
              "[MAIN]\r\nAgentType=MESSAGE\r\nAppVersion=1.018\r\nTriggerCount=1\r\n"
              "ActionCount=1\r\n[HEADER]\r\nEntry1=<Body>\r\n[CONDITION]\r\nEntry1=begins with\r\n"
              "[VALUE]\r\nEntry1=urgent\r\n[ACTIONPARAM1]\r\nEntry1=REDIRECT TO\r\n"
              "[ACTIONPARAM2]\r\nEntry1=duty@demo.example\r\n[ACTIONPARAM3]\r\nEntry1=\r\n");

        const std::string pending =
            quelta::ForceStoreFolder(messages, kAccount, quelta::TStoreFolder::Pending);
        Write(pending + "-1001@customer.example-.eml",
              Message("1001", "Ann Baker <ann@customer.example>", "Order for three lamps",
                      "Order=4711\r\nReply-To=ann.baker@customer.example\r\n\r\nThree lamps, "
                      "please.\r\n"));
        Write(pending + "-1002@customer.example-.eml",
              Message("1002", "Carl Dunn <carl@customer.example>", "Broken lamp",
                      "Urgent: the lamp I bought flickers.\r\n"));
        Write(pending + "-1003@customer.example-.eml",
              Message("1003", "Eve Fox <eve@customer.example>", "Hello", "Just saying hello.\r\n"));
        std::printf("demo installation in %s\n", root.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "demosetup: %s\n", e.what());
        return 1;
    }
}
