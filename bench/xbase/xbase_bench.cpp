// Times the engine and SQLite on the same work: a RECEIVED-shaped table with
// three indexes (MESSAGE_ID unique, LINK_ID, FROM), appends, random seeks on
// MESSAGE_ID, LINK_ID range walks, and removing 30% deleted rows. Prints the
// times and the ratio engine / SQLite (below 1: the engine is faster).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <sqlite3.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/xbase/xbengine.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

[[noreturn]] void Fail(const std::string& what) {
    char buf[512] = {};
    xb_ErrorText(buf, sizeof buf);
    std::fprintf(stderr, "xbase_bench: %s: %s\n", what.c_str(), buf);
    std::exit(1);
}

void Check(int ok, const char* what) {
    if (!ok)
        Fail(what);
}

XbFieldDef Def(const char* name, char type, int width) {
    XbFieldDef d{};
    std::memcpy(d.name, name, std::strlen(name));
    d.type = type;
    d.width = width;
    return d;
}

struct Row {
    std::string id, link, from, subject;
};

std::vector<Row> MakeRows(int n, std::mt19937& rng) {
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        Row r;
        r.id = "<" + std::to_string(rng()) + "." + std::to_string(i) + "@mail.example>";
        r.link = "ACC" + std::to_string(rng() % 100);
        r.from = "Sender " + std::to_string(rng() % 5000);
        r.subject = "Subject line number " + std::to_string(i);
        rows.push_back(std::move(r));
    }
    return rows;
}

void Put(const char* field, const std::string& v) {
    Check(xb_Replace(field, XB_REPLACE_STRING, v.data(), static_cast<int>(v.size())), field);
}

struct Times {
    double append = 0, seek = 0, walk = 0, pack = 0;
    long walked = 0, found = 0;
};

Times RunEngine(const std::string& dir, const std::vector<Row>& rows,
                const std::vector<int>& probes, const std::vector<int>& deletes) {
    Times t;
    std::string path = dir + "/received.dbf";
    const XbFieldDef fields[] = {
        Def("MESSAGE_ID", 'C', 40), Def("LINK_ID", 'C', 20), Def("RECDATE", 'D', 8),
        Def("STATUS", 'C', 5),      Def("FROM", 'C', 40),    Def("SUBJECT", 'C', 80),
        Def("FILENAME", 'C', 30),   Def("CREATEON", 'D', 8), Def("CREATEAT", 'C', 6),
        Def("LASTUSER", 'C', 10),   Def("LASTDATE", 'D', 8), Def("LASTTIME", 'C', 6)};
    Check(xb_Create(path.c_str(), fields, 12), "create");
    Check(xb_Use(path.c_str(), nullptr, XB_EXCLUSIVE, XB_DRIVER_FOX), "open exclusive");
    Check(xb_IndexTag("", "MESSAGE_ID", "MESSAGE_ID", 1, 0, ""), "tag MESSAGE_ID");
    Check(xb_IndexTag("", "LINK_ID", "LINK_ID", 0, 0, ""), "tag LINK_ID");
    Check(xb_IndexTag("", "FROM", "FROM", 0, 0, ""), "tag FROM");
    xb_CloseAll();
    // Shared, as the programs open their tables.
    Check(xb_Use(path.c_str(), nullptr, XB_SHARED, XB_DRIVER_FOX), "open shared");
    auto start = Clock::now();
    for (const Row& r : rows) {
        Check(xb_AppendEx() == XB_APPEND_OK, "append");
        Put("MESSAGE_ID", r.id);
        Put("LINK_ID", r.link);
        Put("FROM", r.from);
        Put("SUBJECT", r.subject);
        Check(xb_Commit(), "commit");
        Check(xb_Unlock(0), "unlock");
    }
    t.append = Seconds(start);

    xb_SetOrder(xb_TagArea("MESSAGE_ID"));
    char buf[128];
    start = Clock::now();
    for (int i : probes) {
        if (xb_Seek(rows[static_cast<std::size_t>(i)].id.c_str())) {
            xb_GetString("SUBJECT", buf, sizeof buf);
            ++t.found;
        }
    }
    t.seek = Seconds(start);

    xb_SetOrder(xb_TagArea("LINK_ID"));
    start = Clock::now();
    for (int a = 0; a < 100; ++a) {
        // The whole key, as the table layer passes a master's key.
        std::string link = "ACC" + std::to_string(a);
        link.resize(20, ' ');
        xb_SetScope(link.c_str(), link.c_str());
        for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
            xb_GetString("MESSAGE_ID", buf, sizeof buf);
            ++t.walked;
        }
    }
    t.walk = Seconds(start);
    xb_SetScope(nullptr, nullptr);
    xb_SetOrder(0);
    for (int r : deletes) {
        xb_Go(r + 1);
        Check(xb_Delete(), "delete");
    }
    xb_CloseAll();

    Check(xb_Use(path.c_str(), nullptr, XB_EXCLUSIVE, XB_DRIVER_FOX), "reopen exclusive");
    start = Clock::now();
    Check(xb_Pack(), "pack");
    t.pack = Seconds(start);
    if (xb_RecCount() != static_cast<int>(rows.size() - deletes.size()))
        Fail("pack left the wrong count");
    xb_CloseAll();
    return t;
}

void Exec(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s: %s\n", sql, err);
        std::exit(1);
    }
}

Times RunSqlite(const std::string& dir, const std::vector<Row>& rows,
                const std::vector<int>& probes, const std::vector<int>& deletes) {
    Times t;
    sqlite3* db = nullptr;
    sqlite3_open((dir + "/received.db").c_str(), &db);
    // No fsync, like the engine; one statement per row, each its own
    // transaction, like the engine's appends.
    Exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=WAL;");
    Exec(db, "CREATE TABLE received (MESSAGE_ID TEXT, LINK_ID TEXT, RECDATE TEXT, STATUS TEXT,"
             " FROM_ TEXT, SUBJECT TEXT, FILENAME TEXT, CREATEON TEXT, CREATEAT TEXT,"
             " LASTUSER TEXT, LASTDATE TEXT, LASTTIME TEXT, DELETED INTEGER DEFAULT 0);"
             "CREATE INDEX r_id ON received(MESSAGE_ID);"
             "CREATE INDEX r_link ON received(LINK_ID);"
             "CREATE INDEX r_from ON received(FROM_);");
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO received (MESSAGE_ID, LINK_ID, FROM_, SUBJECT) "
                       "VALUES (?, ?, ?, ?)",
                       -1, &ins, nullptr);
    auto start = Clock::now();
    for (const Row& r : rows) {
        sqlite3_bind_text(ins, 1, r.id.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(ins, 2, r.link.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(ins, 3, r.from.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(ins, 4, r.subject.c_str(), -1, SQLITE_STATIC);
        if (sqlite3_step(ins) != SQLITE_DONE)
            std::exit(1);
        sqlite3_reset(ins);
    }
    t.append = Seconds(start);
    sqlite3_finalize(ins);

    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, "SELECT SUBJECT FROM received WHERE MESSAGE_ID = ? LIMIT 1", -1, &q,
                       nullptr);
    start = Clock::now();
    for (int i : probes) {
        sqlite3_bind_text(q, 1, rows[static_cast<std::size_t>(i)].id.c_str(), -1, SQLITE_STATIC);
        if (sqlite3_step(q) == SQLITE_ROW) {
            (void)sqlite3_column_text(q, 0);
            ++t.found;
        }
        sqlite3_reset(q);
    }
    t.seek = Seconds(start);
    sqlite3_finalize(q);

    sqlite3_prepare_v2(db, "SELECT MESSAGE_ID FROM received WHERE LINK_ID = ? ORDER BY LINK_ID", -1,
                       &q, nullptr);
    start = Clock::now();
    for (int a = 0; a < 100; ++a) {
        std::string link = "ACC" + std::to_string(a);
        sqlite3_bind_text(q, 1, link.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(q) == SQLITE_ROW) {
            (void)sqlite3_column_text(q, 0);
            ++t.walked;
        }
        sqlite3_reset(q);
    }
    t.walk = Seconds(start);
    sqlite3_finalize(q);

    Exec(db, "BEGIN");
    sqlite3_prepare_v2(db, "UPDATE received SET DELETED = 1 WHERE rowid = ?", -1, &q, nullptr);
    for (int r : deletes) {
        sqlite3_bind_int(q, 1, r + 1);
        sqlite3_step(q);
        sqlite3_reset(q);
    }
    sqlite3_finalize(q);
    Exec(db, "COMMIT");
    start = Clock::now();
    Exec(db, "DELETE FROM received WHERE DELETED = 1; VACUUM;");
    t.pack = Seconds(start);
    sqlite3_close(db);
    return t;
}

} // namespace

int main(int argc, char** argv) {
    int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (n < 100)
        n = 100;
    std::mt19937 rng(20240101);
    std::vector<Row> rows = MakeRows(n, rng);
    std::vector<int> probes;
    for (int i = 0; i < n; ++i)
        probes.push_back(static_cast<int>(rng() % static_cast<unsigned>(n)));
    std::vector<int> deletes;
    for (int i = 0; i < n; ++i)
        if (rng() % 100 < 30)
            deletes.push_back(i);

    fs::path dir = fs::temp_directory_path() / ("xbase_bench." + std::to_string(::getpid()));
    fs::create_directories(dir);
    Times x = RunEngine(dir.string(), rows, probes, deletes);
    Times s = RunSqlite(dir.string(), rows, probes, deletes);
    fs::remove_all(dir);

    std::printf("rows %d, seeks %d (found %ld / %ld), range walks over 100 accounts (%ld / %ld "
                "rows), %zu deleted\n",
                n, n, x.found, s.found, x.walked, s.walked, deletes.size());
    std::printf("%-28s %10s %10s %8s %8s\n", "", "xbase s", "sqlite s", "ratio", "goal");
    auto line = [](const char* what, double a, double b, const char* goal) {
        std::printf("%-28s %10.3f %10.3f %8.2f %8s\n", what, a, b, b > 0 ? a / b : 0.0, goal);
    };
    line("appends (3 indexes)", x.append, s.append, "");
    line("random seeks MESSAGE_ID", x.seek, s.seek, "<= 1.00");
    line("LINK_ID range walks", x.walk, s.walk, "<= 1.50");
    line("pack 30% deleted", x.pack, s.pack, "");
    return x.found == s.found && x.walked == s.walked ? 0 : 1;
}
