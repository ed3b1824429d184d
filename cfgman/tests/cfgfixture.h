#pragma once
// A fresh installation for each test: tables made by mkschema, quelta.ini
// in a Windows directory of the test's own, and recorders for message
// boxes and sounds.
#include "data/dataset.h"
#include "platform/win/hooks.h"
#include "platform/win/osactions.h"
#include "platform/win/profile.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace cfgtest {

// Answers the next modal dialog once it runs.
inline void WhenModal(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        answer(modal);
    });
}

using Row = std::map<std::string, std::string>;

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

// One field of every row of a table, as python3-dbfread reads it.
inline std::vector<std::string> DbfRead(const std::string& file, const std::string& field) {
    QProcess p;
    p.start("/usr/bin/python3",
            {"-c",
             "import sys, dbfread\n"
             "for r in dbfread.DBF(sys.argv[1], char_decode_errors='replace'):\n"
             "    print(str(r[sys.argv[2]]).rstrip())",
             QString::fromStdString(file), QString::fromStdString(field)});
    p.waitForFinished(60000);
    std::vector<std::string> values;
    for (const QString& line :
         QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        values.push_back(line.toStdString());
    return values;
}

class CfgTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.path().toStdString() + "/";
        db_ = root_ + "db/";
        setenv("QUELTA_WINDIR", (root_ + "win").c_str(), 1);
        std::filesystem::create_directories(db_);
        std::filesystem::create_directories(root_ + "prog");
        ASSERT_EQ(QProcess::execute(QUELTA_BIN_DIR "/mkschema", {QString::fromStdString(db_)}), 0);
        win::SetSoundPlayer([this](const std::string& p) { sounds_.push_back(p); });
        win::SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, unsigned flags) {
                boxes_.push_back(text);
                captions_.push_back(caption);
                if (!answers_.empty()) {
                    const int a = answers_.front();
                    answers_.erase(answers_.begin());
                    return a;
                }
                return (flags & 0xF) == win::MB_YESNO ? int(win::IDNO) : int(win::IDOK);
            });
        win::SetBeepHook([this](unsigned) { ++beeps_; });
    }
    void TearDown() override {
        win::SetSoundPlayer({});
        win::SetMessageBoxHook({});
        win::SetBeepHook({});
    }

    static win::TIniFile Ini() { return win::TIniFile("quelta.ini"); }
    void PointIniAtTest() {
        win::TIniFile ini = Ini();
        ini.WriteString("Folders", "Messages", root_ + "messages/");
        ini.WriteString("Folders", "Agents", root_ + "agents/");
        ini.WriteString("Folders", "DataBase", db_);
        ini.WriteString("Folders", "Templates", root_ + "templates/");
    }

    void AppendRow(const std::string& table, const Row& fields) {
        data::TTable t;
        t.SetDatabaseName(db_);
        t.SetTableName(table);
        t.Open();
        t.Append();
        for (const auto& [k, v] : fields)
            t.FieldByName(k).SetAsString(v);
        t.Post();
        t.Close();
    }

    // Rows in natural order as field -> value maps (values trimmed).
    std::vector<Row> Rows(const std::string& table) {
        std::vector<Row> rows;
        data::TTable t;
        t.SetDatabaseName(db_);
        t.SetTableName(table);
        t.Open();
        for (t.First(); !t.Eof(); t.Next()) {
            Row row;
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

    // The organisation mkschema wrote.
    std::string OrgId() { return Rows("ORGS.DBF").at(0).at("UNIQUE_ID"); }

    void AddGroup(const std::string& id, const std::string& name, const std::string& org = "") {
        AppendRow("GROUPS.DBF",
                  {{"UNIQUE_ID", id}, {"LINK_ID", org.empty() ? OrgId() : org}, {"GROUP", name}});
    }
    void AddAccount(const std::string& id, const std::string& group, const std::string& name) {
        AppendRow("NODES.DBF", {{"UNIQUE_ID", id}, {"LINK_ID", group}, {"NODE", name}});
    }
    void Attach(const std::string& id, const std::string& account, const std::string& agent) {
        AppendRow("Agents.dbf", {{"UNIQUE_ID", id}, {"LINK_ID", account}, {"AGENT", agent}});
    }

    QTemporaryDir dir_;
    std::string root_, db_;
    std::vector<std::string> sounds_, boxes_, captions_;
    std::vector<int> answers_;
    int beeps_ = 0;
};

// Another program holding a table: an exclusive open or one record lock,
// kept until the object goes.
class TableHolder {
public:
    TableHolder(const std::string& db, const std::string& table, const std::string& how) {
        process_.start(QUELTA_BIN_DIR "/cfgman_tableholder",
                       {QString::fromStdString(db), QString::fromStdString(table),
                        QString::fromStdString(how)});
        process_.waitForStarted(5000);
        while (process_.state() == QProcess::Running && !process_.canReadLine())
            process_.waitForReadyRead(5000);
        ready_ = process_.readLine().trimmed() == "held";
    }
    ~TableHolder() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(2000);
    }
    TableHolder(const TableHolder&) = delete;
    TableHolder& operator=(const TableHolder&) = delete;
    [[nodiscard]] bool Ready() const { return ready_; }

private:
    QProcess process_;
    bool ready_ = false;
};

} // namespace cfgtest
