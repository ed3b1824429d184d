#pragma once
// A fresh installation for each test: tables made by mkschema, quelta.ini
// in a Windows directory of the test's own, and recorders for message
// boxes and sounds.
#include "data/dataset.h"
#include "data/tests/appendrow.h"
#include "platform/win/hooks.h"
#include "platform/win/osactions.h"
#include "platform/win/profile.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QProcess>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <source_location>
#include <sstream>
#include <type_traits>

// QStrings in failure messages as their text.
#ifndef QUELTA_TEST_PRINT_QSTRING
#define QUELTA_TEST_PRINT_QSTRING
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
#endif

namespace cfgtest {

// The modal dialogs a test expects, each answered from inside its own loop
// once it shows, in the order they were expected. A dialog that never opens
// fails the test when it ends; a dialog nobody expected fails it at once and
// is closed, so that no test waits for a user.
class TModalAnswers : public QObject {
public:
    static TModalAnswers& Instance() {
        static QPointer<TModalAnswers> instance;
        if (!instance) {
            instance = new TModalAnswers(qApp);
            qApp->installEventFilter(instance);
        }
        return *instance;
    }
    void Expect(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> answer,
                std::string what, std::source_location where) {
        pending_.push_back({std::move(matches), std::move(answer), std::move(what), where});
    }
    // Fails the test for every dialog expected that never opened.
    void CheckAllOpened() {
        for (const Pending& p : pending_)
            ADD_FAILURE_AT(p.where.file_name(), int(p.where.line()))
                << "the dialog " << p.what << " never opened";
        pending_.clear();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto* window = static_cast<QWidget*>(watched);
        if (!window->isWindow() || !window->isModal())
            return false;
        const int shown = ++shows_[window];
        for (auto it = pending_.begin(); it != pending_.end(); ++it)
            if (it->matches(window)) {
                auto answer = std::move(it->answer);
                const std::string what = it->what;
                const std::source_location where = it->where;
                pending_.erase(it);
                QTimer::singleShot(0, window, [this, answer, window, what, where, shown] {
                    answer(window);
                    // An answer closes its dialog; one that stays open (a
                    // dead button) fails the test instead of waiting for a user.
                    QTimer::singleShot(0, window, [this, window, what, where, shown] {
                        if (!window->isVisible() || shows_[window] != shown)
                            return;
                        ADD_FAILURE_AT(where.file_name(), int(where.line()))
                            << "the dialog " << what << " stayed open after its answer";
                        Close(window);
                    });
                });
                return false;
            }
        // A progress dialog asks nothing: it goes when its work ends.
        if (qobject_cast<QProgressDialog*>(window))
            return false;
        if (auto* dialog = qobject_cast<QDialog*>(window)) {
            ADD_FAILURE() << "a dialog nobody expected opened: \""
                          << dialog->windowTitle().toStdString() << "\" ("
                          << dialog->metaObject()->className() << ")";
            QTimer::singleShot(0, dialog, [dialog] { Close(dialog); });
        }
        return false;
    }

private:
    using QObject::QObject;
    static void Close(QWidget* window) {
        if (auto* dialog = qobject_cast<QDialog*>(window))
            dialog->reject();
        else
            window->close();
    }
    struct Pending {
        std::function<bool(QWidget*)> matches;
        std::function<void(QWidget*)> answer;
        std::string what;
        std::source_location where;
    };
    std::vector<Pending> pending_;
    std::map<QWidget*, int> shows_; // each window's showings, to tell one from the next
};

// Answers the next modal dialog of type T (any window by default) from
// inside its loop; the test fails when none opens.
template <typename T = QWidget>
void WhenModal(std::type_identity_t<std::function<void(T*)>> answer,
               std::source_location where = std::source_location::current()) {
    TModalAnswers::Instance().Expect([](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                                     [answer](QWidget* w) { answer(qobject_cast<T*>(w)); },
                                     T::staticMetaObject.className(), where);
}

// A label's text as it is shown (and read out by a screen reader): markup
// of a rich-text label is gone from it.
inline QString Shown(QWidget* label) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(label);
    return a ? a->text(QAccessible::Name) : QString();
}

using Row = std::map<std::string, std::string>;

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The number of records, live and deleted, a DBF file's header counts.
inline std::uint32_t DbfRecordCount(const std::string& file) {
    const std::string head = Slurp(file).substr(0, 8);
    if (head.size() < 8)
        return 0;
    std::uint32_t n = 0;
    for (int i = 7; i >= 4; --i)
        n = n << 8 | static_cast<unsigned char>(head[std::size_t(i)]);
    return n;
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
        TModalAnswers::Instance().CheckAllOpened();
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
        data::test::AppendRow(db_, table, fields);
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
