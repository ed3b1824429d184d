#pragma once
// The whole road over several passes, as a user runs it: postp /SINGLEPASS
// fetches into Pending, posta /SINGLEPASS files into In with its received
// rows, and the next postp looks those rows up. An installation of its own
// (tables by mkschema, the programs copied beside their logs, the automation
// library registered), accounts polled at every pass.
#include "data/dataset.h"
#include "data/schema.h"
#include "data/tests/appendrow.h"
#include "data/xbtable.h"
#include "mail/tests/killrun.h"
#include "mail/tests/testutil.h"
#include "platform/win/profile.h"
#include "processor/store.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

namespace roadtest {

namespace fs = std::filesystem;
using mailtest::ReadFile;
using Row = std::vector<std::pair<std::string, std::string>>;

class Road : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.Path().string() + "/";
        db_ = root_ + "db/";
        prog_ = root_ + "prog/";
        windir_ = root_ + "win/";
        for (const std::string& d : {db_, prog_, windir_})
            fs::create_directories(d);
        ASSERT_EQ(std::system((QUELTA_BIN_DIR "/mkschema '" + db_ + "' >/dev/null").c_str()), 0);
        // An installation of its own: the programs keep their logs beside
        // them and find the socket library there.
        for (const char* file : {"postp", "posta", "libwsock32.so"})
            fs::copy_file(std::string(QUELTA_BIN_DIR "/") + file, prog_ + file);
        win::TIniFile ini(windir_ + "quelta.ini");
        ini.WriteString("Folders", "Messages", root_ + "messages/");
        ini.WriteString("Folders", "Agents", root_ + "agents/");
        ini.WriteString("Folders", "DataBase", db_);
        ini.WriteBool("ProcessorSettings", "AutoEnabled", true);
        env_ = {"QT_QPA_PLATFORM=offscreen", "QUELTA_WINDIR=" + windir_};
        // In a sanitizer build the programs' memory errors still end a run
        // here, but not the leak check at their exit: this test is about
        // the mail, and now and then the check crashes (GCC 12's runtime
        // misreads the thread-local blocks of loaded libraries) or finds a
        // thread's data inside Qt; postp and posta check their leaks in
        // tests of their own.
        const char* asan = std::getenv("ASAN_OPTIONS");
        env_.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                       (asan && *asan ? ":" : "") + "detect_leaks=0");
        ASSERT_EQ(
            crashtest::RunAndKill({QUELTA_BIN_DIR "/regsvr", "/s", QUELTA_BIN_DIR "/libQuelta.so"},
                                  env_, root_ + "regsvr.out", -1)
                .exitCode,
            0);
    }

    void Append(const std::string& table, const Row& fields) {
        data::test::AppendRow(db_, table, fields);
    }
    // Polled at every pass (interval 0) with one "all messages" restriction.
    void Account(const std::string& id, const std::string& server, const std::string& login,
                 const std::string& remove) {
        Append("NODES.DBF", {{"UNIQUE_ID", id},
                             {"NODE", "Node " + id},
                             {"POPADDRESS", server},
                             {"LOGIN", login},
                             {"PASSWORD", "secret"},
                             {"NEXTDATE", "1/1/2000"},
                             {"NEXTTIME", "00:00"},
                             {"FREQVAL", "0"}});
        Append("rules.dbf", {{"UNIQUE_ID", "R" + id},
                             {"LINK_ID", id},
                             {"RULE", "All"},
                             {"COND", "A"},
                             {"ACT1", "Y"},
                             {"ACT2", remove}});
    }
    // postp, then posta, each run whole: true when neither logged an error.
    bool RunPass() {
        const std::string retriever = ReadFile(prog_ + "mailproc.log");
        const std::string processor = ReadFile(prog_ + "agentproc.log");
        for (const char* program : {"postp", "posta"}) {
            const crashtest::TRun r = crashtest::RunAndKill({prog_ + program, "/SINGLEPASS"}, env_,
                                                            root_ + program + ".out", -1, 600);
            EXPECT_EQ(r.exitCode, 0) << program << "\n" << ReadFile(root_ + program + ".out");
        }
        const std::string gained = Gained(ReadFile(prog_ + "mailproc.log"), retriever) +
                                   Gained(ReadFile(prog_ + "agentproc.log"), processor);
        return gained.find("Error-") == std::string::npos;
    }
    void Pass() { ASSERT_TRUE(RunPass()) << Logs(); }
    std::string Logs() const {
        return ReadFile(prog_ + "mailproc.log") + ReadFile(prog_ + "agentproc.log");
    }
    // The lines a log (newest first) gained since it was before.
    static std::string Gained(const std::string& now, const std::string& before) {
        return now.ends_with(before) ? now.substr(0, now.size() - before.size()) : now;
    }
    // How many log lines of postp hold text.
    int Logged(const std::string& text) const {
        const std::string log = ReadFile(prog_ + "mailproc.log");
        int n = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    }
    // An agent that stamps the subject of every message of the account with
    // a script (so the filed file is no longer the one that arrived), and
    // leaves an action row each time it runs.
    void Stamp(const std::string& account) {
        const std::string script = root_ + "stamp.bas";
        mailtest::WriteFile(script,
                            "Sub Main\r\n"
                            "  CurrentMessage.Subject = \"[seen] \" & CurrentMessage.Subject\r\n"
                            "End Sub\r\n");
        fs::create_directories(root_ + "agents");
        mailtest::WriteFile(root_ + "agents/stamp.agent",
                            "[MAIN]\r\nAgentType=MESSAGE\r\nTriggerCount=0\r\nActionCount=1\r\n"
                            "[ACTIONPARAM1]\r\nEntry1=RUN AN QUELTASCRIPT\r\n"
                            "[ACTIONPARAM2]\r\nEntry1=" +
                                script + "\r\n[ACTIONPARAM3]\r\nEntry1=\r\n");
        Append("Agents.dbf",
               {{"UNIQUE_ID", "AG" + account}, {"LINK_ID", account}, {"AGENT", "stamp"}});
    }
    // How many times the account's agents ran.
    int AgentRuns(const std::string& account) {
        int n = 0;
        for (const auto& row : Rows("ACTIONS.DBF"))
            n += row.at("NODE_ID") == account;
        return n;
    }
    // A table's rows as field -> value (trimmed).
    std::vector<std::map<std::string, std::string>> Rows(const std::string& table) {
        std::vector<std::map<std::string, std::string>> rows;
        data::TTable t;
        t.SetDatabaseName(db_);
        t.SetTableName(table);
        t.SetTableType(data::TTableType::ttXBFOX);
        t.Open();
        for (t.First(); !t.Eof(); t.Next()) {
            std::map<std::string, std::string> row;
            for (int i = 0; i < t.FieldCount(); ++i) {
                std::string v = t.Fields(i).AsString();
                v.erase(v.find_last_not_of(' ') + 1);
                row[t.Fields(i).FieldName()] = v;
            }
            rows.push_back(row);
        }
        t.Close();
        return rows;
    }
    // The account's filed files (name -> text) and its received rows' keys.
    std::map<std::string, std::string> Filed(const std::string& account) {
        std::map<std::string, std::string> files;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(root_ + "messages/" + account + "/In", ec))
            files[e.path().filename().string()] = ReadFile(e.path());
        return files;
    }
    std::vector<std::string> ReceivedKeys(const std::string& account) {
        std::vector<std::string> keys;
        for (const auto& row : Rows("RECEIVED.DBF"))
            if (row.at("LINK_ID") == account)
                keys.push_back(row.at("MESSAGE_ID"));
        std::sort(keys.begin(), keys.end());
        return keys;
    }
    // Every message filed once, under its own name, byte for byte, with
    // one received row; or, where no row and no file have it, on the server.
    void ExpectFiledOnceOrOnTheServer(const std::string& account,
                                      const std::map<std::string, std::string>& sent,
                                      const std::vector<std::string>& server) {
        const auto filed = Filed(account);
        EXPECT_TRUE(fs::is_empty(root_ + "messages/" + account + "/Pending")) << account;
        std::vector<std::string> keys;
        for (const auto& [id, text] : sent) {
            const auto it = filed.find(quelta::MessageFileName(id));
            if (it != filed.end()) {
                EXPECT_EQ(it->second, text) << account << " " << id;
                keys.push_back(data::StoredMessageKey(id));
            } else {
                EXPECT_NE(std::find(server.begin(), server.end(), text), server.end())
                    << account << ": gone: " << id;
            }
        }
        EXPECT_EQ(filed.size(), keys.size()) << account;
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(ReceivedKeys(account), keys) << account;
    }

    // The names in the account's folder (Pending, In).
    std::vector<std::string> Names(const std::string& account, const std::string& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e :
             fs::directory_iterator(root_ + "messages/" + account + "/" + folder, ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    data::TXbEnvHold xbEnv_; // the test reads what the programs see: no deleted rows
    mailtest::ScratchDir dir_;
    std::string root_, db_, prog_, windir_;
    std::vector<std::string> env_;
};

} // namespace roadtest
