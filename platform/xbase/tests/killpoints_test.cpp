// Maintenance and writers stopped before each write they make, as a kill or
// a power cut would stop them: afterwards every live row is there once, no
// deleted row is live, and every tag lists every record with its key.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/xbase/tests/xbtest_util.h"
#include "platform/xbase/xbfile.h"
#include "platform/xbase/xbwrites.h"

#ifdef XBASE_HAS_INDEXES
namespace {

using namespace xbtest;

constexpr int kStopped = 86; // the exit status of a stop at a write

// Rows of the tables: QUELTA_LONG_TESTS=1 runs every stop on tables fifty
// times larger (several minutes).
int Scaled(int n) {
    const char* longRun = std::getenv("QUELTA_LONG_TESTS");
    return longRun && std::string(longRun) == "1" ? n * 50 : n;
}

std::string Id(int n) {
    char b[16];
    std::snprintf(b, sizeof b, "id%06d", n);
    return b;
}

void PutRow(int n, const std::string& link) {
    Put("ID", Id(n));
    Put("LINK", link);
    Put("NAME", "name" + std::to_string(n % 13));
    if (n % 5 == 0)
        xb_Replace("NOTES", XB_REPLACE_MEMO, ("notes of " + Id(n)).c_str(), -1);
}

void MakeTags() {
    ASSERT_GT(xb_IndexTag("", "ID", "ID", 1, 0, ""), 0) << ErrorText();
    ASSERT_GT(xb_IndexTag("", "LINK", "LINK", 0, 0, ""), 0) << ErrorText();
    ASSERT_GT(xb_IndexTag("", "NAME", "NAME", 0, 0, ""), 0) << ErrorText();
}

// rows rows, every deleteEvery-th deleted (0: none).
std::string MakeTable(const TempDir& dir, int rows, int deleteEvery) {
    const XbFieldDef fields[] = {Def("ID", 'C', 10), Def("LINK", 'C', 8), Def("NAME", 'C', 20),
                                 Def("NOTES", 'M', 10)};
    const std::string p = dir.File("rows.dbf");
    EXPECT_EQ(xb_Create(p.c_str(), fields, 4), 1);
    EXPECT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    MakeTags();
    for (int n = 1; n <= rows; ++n) {
        EXPECT_EQ(xb_AppendEx(), XB_APPEND_OK);
        PutRow(n, "L" + std::to_string(n % 7));
        EXPECT_EQ(xb_Commit(), 1) << ErrorText();
        if (deleteEvery > 0 && n % deleteEvery == 0)
            xb_Delete();
    }
    xb_CloseAll();
    return p;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Index pages (512 bytes) that differ, or that one file has and the other not.
int PagesChanged(const std::string& a, const std::string& b) {
    int n = 0;
    for (std::size_t at = 0; at < std::max(a.size(), b.size()); at += 512)
        n += a.compare(std::min(at, a.size()), 512, b, std::min(at, b.size()), 512) != 0;
    return n;
}

// The table's three files, kept aside and put back before each stop.
class Files {
public:
    Files(const TempDir& dir) : dir_(dir) {
        for (const char* f : {"rows.dbf", "rows.cdx", "rows.fpt"})
            saved_[f] = ReadFile(dir.File(f));
    }
    void Restore() const {
        for (const auto& [name, bytes] : saved_) {
            // A new file in the place of the old, as the pack makes it.
            ::unlink(dir_.File(name).c_str());
            std::ofstream(dir_.File(name), std::ios::binary) << bytes;
        }
    }

private:
    const TempDir& dir_;
    std::map<std::string, std::string> saved_;
};

// Runs op on the table in a child stopped before its nth write from the
// open on: kStopped, or 0 when op ended first.
int RunStopped(const std::string& path, int mode, long nth, const std::function<void()>& op) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        xb_SysProp(XB_PROP_EXIT, 0);
        if (xb_Use(path.c_str(), nullptr, mode, 2) == 0)
            ::_exit(1);
        xbase::XbStopAtWrite(nth);
        op();
        if (xb_CloseAll() != 1)
            ::_exit(2);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

struct Row {
    std::uint32_t recno = 0;
    bool deleted = false;
    std::string id, link, name;
};

std::vector<Row> Rows() {
    std::vector<Row> rows;
    xb_SetOrder(0);
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        rows.push_back(Row{static_cast<std::uint32_t>(xb_RecNo()), xb_Deleted() != 0, Trim("ID"),
                           Trim("LINK"), Trim("NAME")});
    return rows;
}

// Opens the table as the next program would (a writable shared open puts
// right what a stop left) and checks it: each wanted id live once, no other
// live row, every record in each tag once under its key, and a unique tag
// leading to a live row of its key wherever there is one.
void ExpectWhole(const std::string& path, const std::set<std::string>& live) {
    xb_SetDeleted(0);
    ASSERT_NE(xb_Use(path.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
    const std::vector<Row> rows = Rows();
    std::map<std::string, int> liveCount;
    for (const Row& r : rows)
        if (!r.deleted)
            ++liveCount[r.id];
    for (const auto& [id, n] : liveCount) {
        EXPECT_EQ(n, 1) << id << " is live " << n << " times";
        EXPECT_TRUE(live.count(id)) << id << " is live and should not be";
    }
    for (const std::string& id : live)
        EXPECT_TRUE(liveCount.count(id)) << id << " is gone";
    for (const char* tag : {"ID", "LINK", "NAME"}) {
        SCOPED_TRACE(tag);
        const int order = xb_TagArea(tag);
        ASSERT_GT(order, 0) << "tag " << tag << " is gone";
        xb_SetOrder(order);
        std::map<std::uint32_t, int> seen;
        std::string last;
        for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
            const std::uint32_t recno = static_cast<std::uint32_t>(xb_RecNo());
            ASSERT_LE(recno, rows.size());
            const Row& row = rows[recno - 1];
            const std::string key = std::string(tag) == "ID"     ? row.id
                                    : std::string(tag) == "LINK" ? row.link
                                                                 : row.name;
            EXPECT_EQ(Trim(tag), key);
            EXPECT_LE(last, key);
            last = key;
            ++seen[recno];
        }
        if (std::string(tag) != "ID") {
            EXPECT_EQ(seen.size(), rows.size()) << "records missing from the tag";
            for (const auto& [recno, n] : seen)
                EXPECT_EQ(n, 1) << "record " << recno << " listed " << n << " times";
            continue;
        }
        std::map<std::string, bool> keyHasLive;
        for (const Row& r : rows)
            keyHasLive[r.id] = keyHasLive[r.id] || !r.deleted;
        EXPECT_EQ(seen.size(), keyHasLive.size()) << "keys missing from the unique tag";
        for (const auto& [recno, n] : seen) {
            const Row& row = rows[recno - 1];
            EXPECT_FALSE(keyHasLive[row.id] && row.deleted)
                << row.id << " leads to a deleted row beside a live one";
        }
    }
    xb_CloseAll();
}

std::set<std::string> LiveIds(const std::string& path) {
    xb_SetDeleted(0);
    EXPECT_NE(xb_Use(path.c_str(), nullptr, XB_READONLY, 2), 0);
    std::set<std::string> live;
    for (const Row& r : Rows())
        if (!r.deleted)
            live.insert(r.id);
    xb_CloseAll();
    return live;
}

// Stops op before each of its writes in turn, the table put back each
// time; check runs after each stop and after a whole run. Returns the
// number of stops.
int EveryStop(const TempDir& dir, const std::string& path, int mode,
              const std::function<void()>& op, const std::function<void(long)>& check) {
    const Files files(dir);
    long nth = 1;
    for (;; ++nth) {
        files.Restore();
        const int status = RunStopped(path, mode, nth, op);
        if (status == 0)
            break;
        EXPECT_EQ(status, kStopped) << "write " << nth;
        if (status != kStopped)
            break;
        SCOPED_TRACE("stopped before write " + std::to_string(nth));
        check(nth);
        if (::testing::Test::HasFailure())
            break;
    }
    SCOPED_TRACE("a whole run");
    check(0);
    ::testing::Test::RecordProperty("stops", static_cast<int>(nth - 1));
    return static_cast<int>(nth - 1);
}

class KillPoints : public ::testing::Test {
protected:
    EngineReset reset_;
    TempDir dir_;
};

TEST_F(KillPoints, AStoppedCompressLeavesEveryLiveRowOnceAndNoDeletedRowLive) {
    const std::string p = MakeTable(dir_, Scaled(300), 3);
    const std::set<std::string> live = LiveIds(p);
    ASSERT_EQ(live.size(), static_cast<std::size_t>(Scaled(300) - Scaled(300) / 3));
    const int stops = EveryStop(
        dir_, p, XB_EXCLUSIVE, [] { xb_Pack(); }, [&](long) { ExpectWhole(p, live); });
    EXPECT_GT(stops, 3);
    // The file the pack wrote beside the table does not stay behind.
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, 2), 0);
    ASSERT_EQ(xb_Pack(), 1) << ErrorText();
    xb_CloseAll();
    for (const auto& e : std::filesystem::directory_iterator(dir_.Path()))
        EXPECT_EQ(e.path().filename().string().find(".pack-"), std::string::npos)
            << e.path() << " left behind";
}

TEST_F(KillPoints, AStoppedReIndexLeavesEveryTagWithEveryRow) {
    const std::string p = MakeTable(dir_, Scaled(182), 0);
    const std::set<std::string> live = LiveIds(p);
    const int stops = EveryStop(
        dir_, p, XB_EXCLUSIVE, [] { MakeTags(); }, [&](long) { ExpectWhole(p, live); });
    EXPECT_GT(stops, 6);
}

TEST_F(KillPoints, AStoppedEraseLeavesNoRowAndWholeTags) {
    const std::string p = MakeTable(dir_, Scaled(120), 4);
    const std::set<std::string> live = LiveIds(p);
    EveryStop(
        dir_, p, XB_EXCLUSIVE, [] { xb_Zap(); },
        [&](long nth) {
            // Stopped, the table is whole as it was or empty.
            const std::set<std::string> now = LiveIds(p);
            EXPECT_TRUE(now.empty() || now == live) << now.size() << " rows";
            ExpectWhole(p, nth == 0 ? std::set<std::string>{} : now);
        });
}

// A shared writer's append, key change, recall and deletion: stopped at any
// write, the next program finds each row's entries under its keys, and
// repairs only the one record the stop left where the mark names it.
TEST_F(KillPoints, AStoppedWriterLeavesOneRecordToPutRight) {
    const std::string p = MakeTable(dir_, Scaled(2000), 10);
    int cheap = 0, whole = 0;
    EveryStop(
        dir_, p, XB_SHARED,
        [] {
            xb_AppendEx();
            PutRow(5000, "L9");
            xb_Commit();
            xb_Unlock(0);
            xb_Go(17);
            xb_Rlock(0);
            Put("LINK", "L8"); // a key moves
            Put("ID", Id(17000));
            xb_Commit();
            xb_Unlock(0);
            xb_Go(30);
            xb_Recall(); // a deleted row comes back
            xb_Go(31);
            xb_Delete();
        },
        [&](long nth) {
            if (nth > 0) {
                // What the mark says the stop left.
                xbase::File f;
                f.Open(p, false);
                unsigned char h[24];
                f.ReadAt(0, h, sizeof h, "header");
                if (h[14] != 0) {
                    const std::uint32_t recno = h[20] | h[21] << 8 | h[22] << 16 | h[23] << 24;
                    const std::string before = ReadFile(dir_.File("rows.cdx"));
                    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_SHARED, 2), 0) << ErrorText();
                    xb_CloseAll();
                    if (recno != 0) {
                        ++cheap;
                        // A few index pages written, not every tree.
                        EXPECT_LT(PagesChanged(before, ReadFile(dir_.File("rows.cdx"))), 16)
                            << "record " << recno;
                    } else {
                        ++whole;
                    }
                }
            }
            std::set<std::string> live = LiveIds(p);
            ExpectWhole(p, live);
        });
    RecordProperty("one_record_repairs", cheap);
    RecordProperty("whole_repairs", whole);
    EXPECT_GT(cheap, 4) << whole << " stops needed every tree built again";
}

} // namespace
#endif
