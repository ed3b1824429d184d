#pragma once
// A store, tables made by mkschema, agent files and an SMTP server of the
// test's own, for driving the agent processor's pass headless.
#include "data/dataset.h"
#include "data/tests/appendrow.h"
#include "mail/tests/smtp_sink.h"
#include "platform/win/osactions.h"
#include "processor/agentprocessor.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace passtest {

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void Spit(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline void EnsureApp() {
    static int argc = 1;
    static char name[] = "processor_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

using testpeers::HaveAiosmtpd;
using testpeers::SmtpSink;

class PassTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        root_ = dir_.path().toStdString() + "/";
        setenv("QUELTA_WINDIR", (root_ + "win").c_str(), 1);
        std::filesystem::create_directories(root_ + "db");
        ASSERT_EQ(
            QProcess::execute(QUELTA_BIN_DIR "/mkschema", {QString::fromStdString(root_ + "db")}),
            0);
        win::SetSoundPlayer([this](const std::string& p) { sounds_.push_back(p); });
        p_ = std::make_unique<quelta::TAgentProcessor>();
        p_->SetFolders(root_ + "messages", root_ + "agents", root_ + "db");
        p_->SetProgramFolder(root_ + "prog");
        std::filesystem::create_directories(root_ + "prog");
    }
    void TearDown() override {
        p_.reset();
        win::SetSoundPlayer({});
    }

    void OpenTables() { p_->OpenTables(); }

    static void AppendRow(const std::string& db, const std::string& table,
                          const std::map<std::string, std::string>& fields) {
        data::test::AppendRow(db, table, fields);
    }

    // Rows of a table as field -> value maps (values trimmed).
    std::vector<std::map<std::string, std::string>> Rows(const std::string& table) {
        std::vector<std::map<std::string, std::string>> rows;
        data::TTable t;
        t.SetDatabaseName(root_ + "db");
        t.SetTableName(table);
        t.Open();
        for (t.First(); !t.Eof(); t.Next()) {
            std::map<std::string, std::string> row;
            for (int i = 0; i < t.FieldCount(); ++i) {
                std::string v = t.Fields(i).AsString();
                while (!v.empty() && v.back() == ' ')
                    v.pop_back();
                row[t.Fields(i).FieldName()] = v;
            }
            rows.push_back(row);
        }
        t.Close();
        return rows;
    }

    std::vector<std::string> Actions() {
        std::vector<std::string> texts;
        for (auto& r : Rows("ACTIONS.DBF"))
            texts.push_back(r["ACTION"]);
        return texts;
    }

    void AddAccount(const std::string& id, const std::string& smtp = "127.0.0.1:1") {
        AppendRow(root_ + "db", "NODES.DBF",
                  {{"UNIQUE_ID", id},
                   {"NODE", "Sales Desk"},
                   {"ADDRESS", "sales@example.com"},
                   {"SMTPADDRES", smtp}});
    }

    void Attach(const std::string& account, const std::string& agentId, const std::string& agent) {
        AppendRow(root_ + "db", "Agents.dbf",
                  {{"UNIQUE_ID", agentId}, {"LINK_ID", account}, {"AGENT", agent}});
    }

    // An agent file: triggers as (header, condition, value), actions as
    // (name, p2, p3).
    void WriteAgent(const std::string& name,
                    const std::vector<std::array<std::string, 3>>& triggers,
                    const std::vector<std::array<std::string, 3>>& actions,
                    const std::string& type = "MESSAGE") {
        std::string s = "[MAIN]\r\nAgentType=" + type +
                        "\r\nTriggerCount=" + std::to_string(triggers.size()) +
                        "\r\nActionCount=" + std::to_string(actions.size()) + "\r\n";
        const char* tsec[] = {"HEADER", "CONDITION", "VALUE"};
        const char* asec[] = {"ACTIONPARAM1", "ACTIONPARAM2", "ACTIONPARAM3"};
        for (int k = 0; k < 3; ++k) {
            s += std::string("[") + tsec[k] + "]\r\n";
            for (size_t i = 0; i < triggers.size(); ++i)
                s += "Entry" + std::to_string(i + 1) + "=" + triggers[i][k] + "\r\n";
        }
        for (int k = 0; k < 3; ++k) {
            s += std::string("[") + asec[k] + "]\r\n";
            for (size_t i = 0; i < actions.size(); ++i)
                s += "Entry" + std::to_string(i + 1) + "=" + actions[i][k] + "\r\n";
        }
        Spit(root_ + "agents/" + name + ".agent", s);
    }

    std::string Pending(const std::string& account) {
        return root_ + "messages/" + account + "/Pending/";
    }
    std::string In(const std::string& account) { return root_ + "messages/" + account + "/In/"; }

    void AddMessage(const std::string& account, const std::string& file, const std::string& from,
                    const std::string& subject, const std::string& body,
                    const std::string& extraHeaders = "") {
        Spit(Pending(account) + file,
             "From: " + from + "\r\nTo: sales@example.com\r\n" + extraHeaders +
                 "Subject: " + subject + "\r\nDate: Tue, 8 Dec 1998 10:20:30 +0100\r\n\r\n" + body);
    }

    bool LogHas(const std::string& text) const {
        for (const auto& l : p_->LogLines())
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }
    int LogCount(const std::string& text) const {
        int n = 0;
        for (const auto& l : p_->LogLines())
            n += l.find(text) != std::string::npos;
        return n;
    }

    QTemporaryDir dir_;
    std::string root_;
    std::unique_ptr<quelta::TAgentProcessor> p_;
    std::vector<std::string> sounds_;
};

} // namespace passtest
