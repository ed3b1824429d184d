// Several processes on one table at once. Writers append rows, change rows
// in place, move rows to other links, delete and recall them; one of them
// now and then takes the table exclusively to pack or re-index it while the
// others find their opens refused and come back. Readers walk links and
// groups through their tags, seek identifiers through the unique tag, go to
// record numbers and sweep stretches of the table in record order.
//
// Every row carries its identity more than once: the group, check and pad
// fields and the memo are derived from its identifier and version (the check
// from its link too). So a reader tells a whole row from a torn one, a row
// read from another row's bytes, a memo of another version or a mix of two,
// and a seek or a walk that lands on a key it did not ask for.
//
// The work is a count of operations. QUELTA_XBASE_STRESS=<n> multiplies it
// (a longer run); QUELTA_XBASE_STRESS_SEED=<n> picks other random choices.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <poll.h>
#include <random>
#include <set>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/xbase/tests/xbtest_util.h"

#ifdef XBASE_HAS_INDEXES

namespace {

using namespace xbtest;

// ---- rows -----------------------------------------------------------------------
// The record is 409 bytes: no shift by whole 4 KiB pages lines a record up
// with another record's start, so a page read in another page's place shows
// as a row that does not parse or does not agree with itself.

constexpr int kPad1Width = 200;
constexpr int kPad2Width = 150;
constexpr int kGroups = 200;
constexpr std::uint64_t kAppendBase = 100000000; // writer w appends from (w + 1) * kAppendBase

const XbFieldDef kFields[] = {Def("ID", 'C', 12),           Def("LINK", 'C', 7),
                              Def("GRP", 'C', 5),           Def("VER", 'C', 8),
                              Def("CHECK", 'C', 16),        Def("PAD1", 'C', kPad1Width),
                              Def("PAD2", 'C', kPad2Width), Def("NOTES", 'M', 10)};

struct TagDef {
    const char* name;
    int unique;
};
const TagDef kTags[] = {{"ID", 1}, {"LINK", 0}, {"GRP", 0}};

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

std::uint64_t RowHash(std::uint64_t id, std::uint32_t ver) {
    return Mix(Mix(id) ^ (static_cast<std::uint64_t>(ver) * 0x2545F4914F6CDD1DULL));
}

std::string Digits(std::uint64_t n, int width) {
    std::string s = std::to_string(n);
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

std::string IdText(std::uint64_t id) {
    return "ID" + Digits(id, 10);
}
std::string LinkText(std::uint32_t link) {
    return "LK" + Digits(link, 5);
}
std::string GroupText(std::uint64_t id, std::uint32_t ver) {
    return "GR" + Digits(RowHash(id, ver) % kGroups, 3);
}
std::string VerText(std::uint32_t ver) {
    return Digits(ver, 8);
}

std::string Hex(std::uint64_t v) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s(16, '0');
    for (int i = 15; i >= 0; --i, v >>= 4)
        s[static_cast<std::size_t>(i)] = kDigits[v & 15];
    return s;
}

std::string CheckText(std::uint64_t id, std::uint32_t ver, std::uint32_t link) {
    return Hex(Mix(RowHash(id, ver) ^ Mix(link + 77)));
}

std::string Pad1(std::uint64_t id, std::uint32_t ver) {
    const std::string piece = IdText(id) + "." + std::to_string(ver) + ";";
    std::string s;
    while (s.size() < kPad1Width)
        s += piece;
    s.resize(kPad1Width);
    return s;
}

std::string Pad2(std::uint64_t id, std::uint32_t ver) {
    std::string s;
    for (std::uint64_t h = RowHash(id, ver); s.size() < kPad2Width; h = Mix(h))
        s += Hex(h);
    s.resize(kPad2Width);
    return s;
}

// Mostly a few 64-byte blocks; one memo in eight spans one to three 4 KiB
// pages. The length changes with the version, so a new version is written
// over the old one's blocks about as often as to new ones.
std::string MemoText(std::uint64_t id, std::uint32_t ver) {
    const std::uint64_t h = Mix(RowHash(id, ver) + 5);
    const std::size_t length = h % 8 == 0 ? 4000 + h / 8 % 9000 : 70 + h / 8 % 900;
    std::string s;
    const std::string head = "[" + IdText(id) + ":" + std::to_string(ver) + ":";
    for (int k = 0; s.size() < length; ++k)
        s += head + std::to_string(k) + "]";
    s.resize(length);
    return s;
}

// Where each field lies in the record buffer (the deletion byte first).
struct Layout {
    int recSize = 0;
    std::size_t id = 0, link = 0, group = 0, ver = 0, check = 0, pad1 = 0, pad2 = 0;

    bool Load() {
        recSize = xb_RecSize();
        const auto at = [](const char* name) {
            return static_cast<std::size_t>(xb_FieldOffset(xb_FieldNum(name)) - 1);
        };
        id = at("ID");
        link = at("LINK");
        group = at("GRP");
        ver = at("VER");
        check = at("CHECK");
        pad1 = at("PAD1");
        pad2 = at("PAD2");
        return recSize == 409;
    }
};

// One row as read, taken apart.
struct RowView {
    std::string rec;
    std::uint32_t recno = 0;
    bool deleted = false;
    std::string id, link, group;
    std::uint64_t idNum = 0;
    std::uint32_t ver = 0, linkNum = 0;
};

struct Fault {
    std::string kind, text;
};

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The bytes shown safely, and the identifiers of other rows found among
// them with the place they start: a record read from the wrong place holds
// pieces of other rows.
std::string Describe(const std::string& bytes, std::size_t idAt, const std::string& own) {
    std::string out = "bytes \"";
    for (std::size_t i = 0; i < std::min<std::size_t>(bytes.size(), 48); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        out += c >= 32 && c < 127 && c != '"' ? static_cast<char>(c) : '.';
    }
    out += "\"";
    int shown = 0;
    for (std::size_t at = bytes.find("ID"); at != std::string::npos && shown < 3;
         at = bytes.find("ID", at + 1)) {
        if (at + 12 > bytes.size() || !AllDigits(bytes.substr(at + 2, 10)) ||
            bytes.compare(at, 12, own) == 0)
            continue;
        out += "; " + bytes.substr(at, 12) + " at byte " + std::to_string(at) + " (shift " +
               std::to_string(static_cast<long>(at) - static_cast<long>(idAt)) + ")";
        ++shown;
    }
    return out;
}

// The identifiers and versions the memo's pieces name, as "ID..:ver".
std::set<std::string> MemoPieces(const std::string& memo) {
    std::set<std::string> pieces;
    std::size_t at = 0;
    while ((at = memo.find('[', at)) != std::string::npos) {
        const std::size_t end = memo.find(']', at);
        if (end == std::string::npos)
            break;
        const std::string piece = memo.substr(at + 1, end - at - 1);
        const std::size_t last = piece.rfind(':');
        if (last != std::string::npos)
            pieces.insert(piece.substr(0, last));
        at = end;
    }
    return pieces;
}

std::optional<Fault> CheckMemo(const RowView& v, const std::string& memo) {
    if (memo == MemoText(v.idNum, v.ver))
        return std::nullopt;
    const std::set<std::string> pieces = MemoPieces(memo);
    std::string named;
    bool other = false;
    std::optional<std::uint32_t> onlyVer;
    for (const std::string& p : pieces) {
        named += (named.empty() ? "" : ",") + p;
        const std::size_t colon = p.find(':');
        if (p.substr(0, colon) != v.id)
            other = true;
        else if (colon != std::string::npos && AllDigits(p.substr(colon + 1)))
            onlyVer = static_cast<std::uint32_t>(std::stoul(p.substr(colon + 1)));
    }
    std::string text = "row " + v.id + " version " + std::to_string(v.ver) + ": memo of " +
                       std::to_string(memo.size()) + " bytes (" +
                       std::to_string(MemoText(v.idNum, v.ver).size()) + " expected) naming {" +
                       named.substr(0, 200) + "}";
    if (other)
        return Fault{"memo-other-row", text};
    if (pieces.size() == 1 && onlyVer && memo == MemoText(v.idNum, *onlyVer))
        return Fault{"memo-other-version", text};
    return Fault{"memo-torn", text};
}

// The current record, checked against itself; the memo too when asked.
std::optional<Fault> CheckRow(const Layout& l, bool withMemo, RowView& v) {
    v = RowView{};
    v.rec.assign(static_cast<std::size_t>(l.recSize), '\0');
    if (xb_GetRecord(v.rec.data(), l.recSize) != l.recSize)
        return Fault{"error", "xb_GetRecord: " + ErrorText()};
    v.recno = static_cast<std::uint32_t>(xb_RecNo());
    v.deleted = v.rec[0] == '*';
    v.id = v.rec.substr(l.id, 12);
    v.link = v.rec.substr(l.link, 7);
    v.group = v.rec.substr(l.group, 5);
    const std::string ver = v.rec.substr(l.ver, 8);
    if ((v.rec[0] != ' ' && v.rec[0] != '*') || v.id.compare(0, 2, "ID") != 0 ||
        !AllDigits(v.id.substr(2)) || v.link.compare(0, 2, "LK") != 0 ||
        !AllDigits(v.link.substr(2)) || !AllDigits(ver))
        return Fault{"not-a-row", Describe(v.rec, l.id, "")};
    v.idNum = std::stoull(v.id.substr(2));
    v.linkNum = static_cast<std::uint32_t>(std::stoul(v.link.substr(2)));
    v.ver = static_cast<std::uint32_t>(std::stoul(ver));
    std::string wrong;
    if (v.group != GroupText(v.idNum, v.ver))
        wrong += " GRP";
    if (v.rec.compare(l.check, 16, CheckText(v.idNum, v.ver, v.linkNum)) != 0)
        wrong += " CHECK";
    if (v.rec.compare(l.pad1, kPad1Width, Pad1(v.idNum, v.ver)) != 0)
        wrong += " PAD1";
    if (v.rec.compare(l.pad2, kPad2Width, Pad2(v.idNum, v.ver)) != 0)
        wrong += " PAD2";
    if (!wrong.empty())
        return Fault{"torn-row", "row " + v.id + " version " + std::to_string(v.ver) + " link " +
                                     v.link + ": does not agree in" + wrong + "; " +
                                     Describe(v.rec, l.id, v.id)};
    if (!withMemo)
        return std::nullopt;
    int length = 0;
    char* m = xb_GetMemo("NOTES", &length);
    if (!m)
        return Fault{xb_LastError() == XB_ERR_CORRUPT ? "corrupt" : "error",
                     "xb_GetMemo of " + v.id + ": " + ErrorText()};
    const std::string memo(m, static_cast<std::size_t>(length));
    xb_MemDealloc(m);
    return CheckMemo(v, memo);
}

// Puts a whole row (the memo and every derived field) into the buffer. The
// memo goes first: the engine writes it to its file at once, the record only
// at the commit.
bool PutRow(std::uint64_t id, std::uint32_t ver, std::uint32_t link) {
    const std::string memo = MemoText(id, ver);
    return xb_Replace("NOTES", XB_REPLACE_MEMO, memo.data(), static_cast<int>(memo.size())) == 1 &&
           Put("ID", IdText(id)) && Put("LINK", LinkText(link)) && Put("GRP", GroupText(id, ver)) &&
           Put("VER", VerText(ver)) && Put("CHECK", CheckText(id, ver, link)) &&
           Put("PAD1", Pad1(id, ver)) && Put("PAD2", Pad2(id, ver));
}

// ---- the run ------------------------------------------------------------------

struct Config {
    int rows = 0;    // rows the table starts with
    int links = 0;   // rows lie in runs of one link each, about rows/links a link
    int writers = 0; // the first also packs and re-indexes
    int readers = 0; // half of them hide deleted rows
    int writerOps = 0;
    int readerOps = 0;
    int maintenance = 0; // packs and re-indexes, taking turns
};

// Under the sanitizers every step costs several times as much: fewer
// operations on the same table keep the run within the tests' time.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSanitizerShare = 4;
#else
constexpr int kSanitizerShare = 1;
#endif

int Factor() {
    const char* f = std::getenv("QUELTA_XBASE_STRESS");
    const int n = f ? std::atoi(f) : 1;
    return std::max(1, n);
}

std::uint64_t Seed() {
    const char* s = std::getenv("QUELTA_XBASE_STRESS_SEED");
    return s ? std::strtoull(s, nullptr, 10) : 35;
}

// What the processes share: a request to close the table for maintenance.
struct Shared {
    std::atomic<int> want{0};
};

struct Paths {
    std::string table, turnstile, busy;
};

// One line a fault (the first few of a kind; the count of all goes with the
// summary), one line of counts at the end. Lines are written whole (shorter
// than PIPE_BUF), so the processes' lines do not mix.
class Reporter {
public:
    Reporter(int fd, std::string who) : fd_(fd), who_(std::move(who)) {}

    // The operation under way, counted; faults are counted by it.
    void Op(const std::string& name) {
        op_ = name;
        ++counts_["op." + name];
    }
    void Fault(const std::string& kind, const std::string& text) {
        ++counts_["fault." + kind + ".in." + op_];
        ++faults_;
        if (shown_[kind]++ >= 3)
            return;
        std::string line = "F " + who_ + " " + kind + " " + text.substr(0, 1500);
        for (char& c : line)
            if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) >= 127)
                c = '.';
        Send(line);
    }
    void Count(const std::string& what, long n = 1) { counts_[what] += n; }
    void Summary() {
        std::string line = "S " + who_;
        for (const auto& [k, n] : counts_)
            line += " " + k + "=" + std::to_string(n);
        Send(line);
    }
    [[nodiscard]] long Faults() const { return faults_; }

private:
    void Send(std::string line) {
        line += "\n";
        if (::write(fd_, line.data(), line.size()) < 0) {
            // The parent is gone; nothing to tell.
        }
    }

    int fd_;
    std::string who_;
    std::string op_ = "open";
    std::map<std::string, long> counts_;
    std::map<std::string, int> shown_;
    long faults_ = 0;
};

// One process's part: its table open, its checks and its operations.
class Worker {
public:
    Worker(const Config& cfg, const Paths& paths, Shared& shared, Reporter& rep, int index,
           int parkedFd)
        : cfg_(cfg), paths_(paths), shared_(shared), rep_(rep), index_(index), parkedFd_(parkedFd),
          rng_(Seed() * 1000 + static_cast<std::uint64_t>(index)) {
        turnstileFd_ = ::open(paths_.turnstile.c_str(), O_RDWR);
        busyFd_ = ::open(paths_.busy.c_str(), O_RDWR);
    }

    // Opens the table shared. Refused while the maintainer holds it
    // exclusively: waits until it lets go (its busy lock), then again.
    bool Open() {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            if (xb_Use(paths_.table.c_str(), nullptr, XB_SHARED, XB_DRIVER_FOX) != 0) {
                if (!layout_.Load()) {
                    rep_.Fault("error", "record size " + std::to_string(layout_.recSize));
                    return false;
                }
                xb_SetDeleted(hideDeleted_ ? 1 : 0);
                idOrder_ = xb_TagArea("ID");
                linkOrder_ = xb_TagArea("LINK");
                groupOrder_ = xb_TagArea("GRP");
                if (idOrder_ == 0 || linkOrder_ == 0 || groupOrder_ == 0) {
                    rep_.Fault("error", "a tag is missing after an open");
                    return false;
                }
                return true;
            }
            if (xb_LastError() != XB_ERR_LOCKED) {
                rep_.Fault("error", "xb_Use: " + ErrorText());
                return false;
            }
            rep_.Count("open.refused");
            ::flock(busyFd_, LOCK_SH);
            ::flock(busyFd_, LOCK_UN);
        }
        rep_.Fault("error", "xb_Use refused 1000 times: " + ErrorText());
        return false;
    }

    // Between operations: closes the table when the maintainer asks, waits
    // until it has the table, and opens it again.
    bool Yield() {
        if (shared_.want.load() == 0)
            return true;
        xb_CloseAll();
        Tell('p');
        ::flock(turnstileFd_, LOCK_SH);
        ::flock(turnstileFd_, LOCK_UN);
        rep_.Op("reopen");
        return Open();
    }

    void Done() {
        xb_CloseAll();
        Tell('d');
    }

    void RunReader(bool hideDeleted) {
        hideDeleted_ = hideDeleted;
        if (!Open()) {
            Done();
            return;
        }
        for (int op = 0; op < cfg_.readerOps && Yield(); ++op) {
            const auto pick = rng_() % 100;
            if (pick < 30)
                GoRandom();
            else if (pick < 55)
                SeekId();
            else if (pick < 80)
                WalkKey(linkOrder_, LinkText(static_cast<std::uint32_t>(rng_() % cfg_.links)),
                        "link");
            else if (pick < 90)
                WalkKey(groupOrder_, "GR" + Digits(rng_() % kGroups, 3), "group");
            else
                Sweep();
        }
        Done();
    }

    void RunWriter(bool maintainer) {
        if (!Open()) {
            if (!maintainer)
                Done();
            return;
        }
        const int every = cfg_.maintenance > 0 ? cfg_.writerOps / (cfg_.maintenance + 1) : 0;
        int rounds = 0;
        for (int op = 0; op < cfg_.writerOps && Yield(); ++op) {
            if (maintainer && every > 0 && op % every == every - 1 && rounds < cfg_.maintenance &&
                !Maintain(rounds++))
                break;
            const auto pick = rng_() % 100;
            if (pick < 20)
                Append();
            else if (pick < 55)
                Change(false);
            else if (pick < 70)
                Change(true);
            else if (pick < 85)
                Mark(true);
            else if (pick < 95)
                Mark(false);
            else
                GoRandom();
        }
        rep_.Count("appended", appended_);
        rep_.Count("removed", removed_);
        if (maintainer)
            xb_CloseAll(); // nobody waits for the maintainer
        else
            Done();
    }

private:
    void Tell(char c) {
        if (::write(parkedFd_, &c, 1) != 1)
            rep_.Fault("error", "cannot tell the maintainer");
    }

    bool Ok(const std::string& what) {
        const int code = xb_LastError();
        if (code == XB_OK)
            return true;
        rep_.Fault(code == XB_ERR_CORRUPT ? "corrupt" : "error", what + ": " + ErrorText());
        return false;
    }

    // The current row, checked; a fault is reported with how it was reached.
    std::optional<RowView> Read(const std::string& how, bool withMemo) {
        RowView v;
        rep_.Count("rows.read");
        if (auto f = CheckRow(layout_, withMemo, v)) {
            rep_.Fault(f->kind, how + ", record " + std::to_string(xb_RecNo()) + ": " + f->text);
            return std::nullopt;
        }
        return v;
    }

    std::uint32_t RandomRecord() {
        const std::int32_t n = xb_RecCount();
        return n > 0 ? 1 + static_cast<std::uint32_t>(rng_() % static_cast<std::uint32_t>(n)) : 0;
    }

    // An identifier of the first rows, or one a writer may have appended.
    std::uint64_t RandomId() {
        if (rng_() % 10 < 7)
            return 1 + rng_() % static_cast<std::uint64_t>(cfg_.rows);
        const std::uint64_t writer = rng_() % static_cast<std::uint64_t>(cfg_.writers);
        return (writer + 1) * kAppendBase +
               rng_() % static_cast<std::uint64_t>(std::max(1, cfg_.writerOps / 5));
    }

    void GoRandom() {
        rep_.Op("go");
        const std::uint32_t r = RandomRecord();
        if (r == 0)
            return;
        xb_SetOrder(0);
        xb_Go(static_cast<std::int32_t>(r));
        if (!Ok("xb_Go"))
            return;
        // Nothing removes rows while the table is open shared.
        if (xb_Eof() || static_cast<std::uint32_t>(xb_RecNo()) != r) {
            rep_.Fault("go", "xb_Go(" + std::to_string(r) + ") landed on " +
                                 std::to_string(xb_RecNo()) + (xb_Eof() ? " (end of file)" : ""));
            return;
        }
        Read("go to " + std::to_string(r), true);
    }

    void SeekId() {
        rep_.Op("seek");
        const std::string key = IdText(RandomId());
        xb_SetOrder(idOrder_);
        const int found = xb_Seek(key.c_str());
        if (!Ok("xb_Seek " + key))
            return;
        if (!found) {
            rep_.Count("seek.missed");
            return;
        }
        auto v = Read("seek " + key, true);
        if (v && v->id != key)
            rep_.Fault("seek-wrong-key", "seek " + key + " landed on record " +
                                             std::to_string(v->recno) + ", row " + v->id +
                                             " version " + std::to_string(v->ver));
        if (v && hideDeleted_ && v->deleted)
            rep_.Fault("deleted-shown", "seek " + key + " landed on deleted row " + v->id);
        // A few steps on: each row whole, the identifiers rising.
        std::string last = key;
        for (int i = 0; i < 4; ++i) {
            xb_Skip(1);
            if (!Ok("xb_Skip after seek " + key) || xb_Eof())
                return;
            auto next = Read("step after seek " + key, false);
            if (next && next->id <= last)
                rep_.Fault("walk-order",
                           "after seek " + key + ": " + next->id + " follows " + last);
            if (next)
                last = next->id;
        }
    }

    // Walks the rows of one key in its tag, either way: each row carries the
    // key, each row's memo is its own, record numbers rise (or fall: equal
    // keys sort by them).
    void WalkKey(int order, const std::string& key, const char* what) {
        const bool down = rng_() % 2 == 0;
        rep_.Op(std::string("walk.") + what);
        xb_SetOrder(order);
        xb_SetScope(key.c_str(), key.c_str());
        down ? xb_GoBottom() : xb_GoTop();
        const std::string how = std::string(what) + (down ? " walk back " : " walk ") + key;
        std::uint32_t last = down ? ~0u : 0;
        for (int steps = 0; Ok("a step of the " + how) && !xb_Eof(); ++steps) {
            if (down && xb_Bof() && steps > 0)
                break;
            if (steps > 1000000) {
                rep_.Fault("walk-endless", how);
                break;
            }
            auto v = Read(how, true);
            if (v) {
                const std::string& got = order == linkOrder_ ? v->link : v->group;
                if (got != key)
                    rep_.Fault("walk-wrong-key", how + " met record " + std::to_string(v->recno) +
                                                     ", row " + v->id + " of " + got);
                if (hideDeleted_ && v->deleted)
                    rep_.Fault("deleted-shown", how + " met deleted row " + v->id);
                if (down ? v->recno >= last : v->recno <= last)
                    rep_.Fault("walk-order", how + ": record " + std::to_string(v->recno) +
                                                 " after " + std::to_string(last));
                last = v->recno;
            }
            xb_Skip(down ? -1 : 1);
        }
        xb_SetScope(nullptr, nullptr);
    }

    // Record order from a random record, either way: reads the pages one
    // after another, as a walk through rows lying close together does. One
    // sweep in ten goes through the whole table, filling the block cache.
    void Sweep() {
        rep_.Op("sweep");
        const bool whole = rng_() % 10 == 0;
        const bool down = !whole && rng_() % 2 == 0;
        const std::uint32_t from = whole ? 1 : RandomRecord();
        if (from == 0)
            return;
        const int length = whole ? 1 << 30 : 1500;
        xb_SetOrder(0);
        xb_Go(static_cast<std::int32_t>(from));
        const std::string how = (down ? "sweep back from " : "sweep from ") + std::to_string(from);
        std::uint32_t last = down ? ~0u : 0;
        for (int i = 0; i < length && Ok("a step of the " + how) && !xb_Eof(); ++i) {
            if (down && xb_Bof() && i > 0)
                break;
            auto v = Read(how, i % 8 == 0);
            if (v && (down ? v->recno >= last : v->recno <= last))
                rep_.Fault("walk-order", how + ": record " + std::to_string(v->recno) + " after " +
                                             std::to_string(last));
            if (v)
                last = v->recno;
            xb_Skip(down ? -1 : 1);
        }
    }

    void Append() {
        rep_.Op("append");
        // Runs of rows of one link, as mail of one account arrives together.
        if (appendRun_-- <= 0) {
            appendLink_ = static_cast<std::uint32_t>(rng_() % cfg_.links);
            appendRun_ = static_cast<int>(rng_() % 40);
        }
        const std::uint64_t id = (static_cast<std::uint64_t>(index_) + 1) * kAppendBase +
                                 static_cast<std::uint64_t>(appended_);
        if (xb_AppendEx() != XB_APPEND_OK) {
            rep_.Fault("error", "xb_AppendEx: " + ErrorText());
            return;
        }
        if (!PutRow(id, 1, appendLink_) || xb_Commit() != 1) {
            rep_.Fault("error", "append of " + IdText(id) + ": " + ErrorText());
            xb_Discard();
            xb_Unlock(0);
            return;
        }
        ++appended_;
        xb_Unlock(0);
    }

    // Goes to a random row and locks it; the row read under its lock must
    // be whole (only its lock holder writes it).
    std::optional<RowView> LockRandom(const char* what) {
        const std::uint32_t r = RandomRecord();
        if (r == 0)
            return std::nullopt;
        xb_SetOrder(0);
        xb_Go(static_cast<std::int32_t>(r));
        if (!Ok("xb_Go") || xb_Eof())
            return std::nullopt;
        if (xb_Rlock(0) != 1) {
            if (xb_LastError() == XB_ERR_LOCKED)
                rep_.Count("lock.refused");
            else
                Ok("xb_Rlock");
            return std::nullopt;
        }
        auto v = Read(std::string(what) + " under its lock", true);
        if (!v)
            xb_Unlock(0);
        return v;
    }

    // A new version of a row, every field and the memo together; moved to
    // another link when asked.
    void Change(bool move) {
        rep_.Op(move ? "move" : "change");
        auto v = LockRandom(move ? "move" : "change");
        if (!v)
            return;
        std::uint32_t link = v->linkNum;
        if (move)
            link = static_cast<std::uint32_t>((link + 1 + rng_() % (cfg_.links - 1)) % cfg_.links);
        if (!PutRow(v->idNum, v->ver + 1, link) || xb_Commit() != 1) {
            rep_.Fault("error", "change of " + v->id + ": " + ErrorText());
            xb_Discard();
        }
        xb_Unlock(0);
    }

    void Mark(bool remove) {
        rep_.Op(remove ? "delete" : "recall");
        auto v = LockRandom(remove ? "delete" : "recall");
        if (!v)
            return;
        if (v->deleted != remove && (remove ? xb_Delete() : xb_Recall()) != 1)
            rep_.Fault("error", std::string(remove ? "xb_Delete" : "xb_Recall") + " of " + v->id +
                                    ": " + ErrorText());
        xb_Unlock(0);
    }

    // Asks the others to close the table and waits until they have, takes it
    // exclusively, lets them try their opens (refused until it is done), and
    // packs or re-indexes.
    bool Maintain(int round) {
        xb_CloseAll();
        ::flock(turnstileFd_, LOCK_EX);
        ::flock(busyFd_, LOCK_EX);
        shared_.want.store(1);
        const int others = cfg_.writers + cfg_.readers - 1;
        if (!AwaitOthers(others))
            rep_.Fault("error", "the others did not close the table in 300 s");
        const int area = xb_Use(paths_.table.c_str(), nullptr, XB_EXCLUSIVE, XB_DRIVER_FOX);
        if (area == 0)
            rep_.Fault("error", "maintenance could not open the table exclusively: " + ErrorText());
        shared_.want.store(0);
        ::flock(turnstileFd_, LOCK_UN); // the others come back and find the table held
        if (area != 0) {
            if (round % 2 == 0)
                Pack();
            else
                Reindex();
            xb_CloseAll();
        }
        ::flock(busyFd_, LOCK_UN);
        return Open();
    }

    // Reads what the others tell ('p' closed for maintenance, 'd' done for
    // good) until none has the table open; false after 300 s of silence.
    bool AwaitOthers(int others) {
        int parked = 0;
        while (parked + done_ < others) {
            pollfd p{parkedReadFd_, POLLIN, 0};
            char buf[64];
            if (::poll(&p, 1, 300000) != 1)
                return false;
            const ssize_t n = ::read(parkedReadFd_, buf, sizeof buf);
            if (n <= 0)
                return false;
            for (ssize_t i = 0; i < n; ++i)
                (buf[i] == 'd' ? done_ : parked) += 1;
        }
        return true;
    }

    void Pack() {
        rep_.Op("pack");
        xb_SetOrder(0);
        xb_SetDeleted(0);
        const std::int32_t before = xb_RecCount();
        int deleted = 0;
        for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
            deleted += xb_Deleted() ? 1 : 0;
        if (xb_Pack() != 1) {
            rep_.Fault("maintenance", "xb_Pack: " + ErrorText());
            return;
        }
        const std::int32_t after = xb_RecCount();
        if (after != before - deleted)
            rep_.Fault("maintenance", "pack of " + std::to_string(before) + " records with " +
                                          std::to_string(deleted) + " deleted left " +
                                          std::to_string(after));
        removed_ += before - after;
    }

    void Reindex() {
        rep_.Op("reindex");
        for (const TagDef& t : kTags)
            if (xb_IndexTag("", t.name, t.name, t.unique, 0, "") <= 0)
                rep_.Fault("maintenance",
                           std::string("re-index of ") + t.name + ": " + ErrorText());
    }

public:
    int parkedReadFd_ = -1; // the maintainer's end

private:
    const Config& cfg_;
    const Paths& paths_;
    Shared& shared_;
    Reporter& rep_;
    int index_;
    int parkedFd_;
    int turnstileFd_ = -1, busyFd_ = -1;
    std::mt19937_64 rng_;
    Layout layout_;
    bool hideDeleted_ = false;
    int idOrder_ = 0, linkOrder_ = 0, groupOrder_ = 0;
    std::uint32_t appendLink_ = 0;
    int appendRun_ = 0;
    long appended_ = 0, removed_ = 0;
    int done_ = 0;
};

// The table the processes start from: rows in runs of one link each.
std::string BuildTable(const TempDir& dir, const Config& cfg) {
    const std::string p = dir.File("shared.dbf");
    EXPECT_EQ(xb_Create(p.c_str(), kFields, static_cast<int>(std::size(kFields))), 1)
        << ErrorText();
    EXPECT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, XB_DRIVER_FOX), 0) << ErrorText();
    std::mt19937_64 rng(Seed());
    std::uint32_t link = 0;
    int run = 0;
    for (int id = 1; id <= cfg.rows; ++id) {
        if (run-- <= 0) {
            link = static_cast<std::uint32_t>(rng() % cfg.links);
            run = 20 + static_cast<int>(rng() % 100);
        }
        if (xb_AppendEx() != XB_APPEND_OK || !PutRow(static_cast<std::uint64_t>(id), 1, link)) {
            ADD_FAILURE() << "append " << id << ": " << ErrorText();
            break;
        }
    }
    for (const TagDef& t : kTags)
        EXPECT_GT(xb_IndexTag("", t.name, t.name, t.unique, 0, ""), 0) << ErrorText();
    xb_CloseAll();
    return p;
}

// The table after the run: every row whole with its memo and once only;
// every tag lists every record once, in key order, with the record's key;
// the unique tag finds every identifier.
void ExpectTableWhole(const std::string& p, long expectedRows) {
    ASSERT_NE(xb_Use(p.c_str(), nullptr, XB_EXCLUSIVE, XB_DRIVER_FOX), 0) << ErrorText();
    Layout l;
    ASSERT_TRUE(l.Load());
    const std::int32_t count = xb_RecCount();
    EXPECT_EQ(count, expectedRows);
    std::set<std::string> ids;
    int bad = 0, twice = 0;
    RowView v;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
        if (auto f = CheckRow(l, true, v)) {
            if (bad++ < 5)
                ADD_FAILURE() << f->kind << ", record " << xb_RecNo() << ": " << f->text;
        } else if (!ids.insert(v.id).second && twice++ < 5) {
            ADD_FAILURE() << v.id << " twice, again at record " << xb_RecNo();
        }
    }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(twice, 0);
    for (const TagDef& t : kTags) {
        SCOPED_TRACE(t.name);
        ASSERT_GT(xb_SetOrder(xb_TagArea(t.name)), -1);
        std::vector<bool> seen(static_cast<std::size_t>(count) + 1);
        std::string last;
        int entries = 0, wrong = 0;
        for (xb_GoTop(); !xb_Eof() && entries <= count; xb_Skip(1), ++entries) {
            const std::string value = Trim(t.name);
            wrong += value < last ? 1 : 0;
            last = value;
            seen[static_cast<std::size_t>(xb_RecNo())] = true;
        }
        EXPECT_EQ(entries, count);
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), true), count);
    }
    xb_SetOrder(xb_TagArea("ID"));
    int missed = 0;
    for (const std::string& id : ids)
        missed += xb_Seek(id.c_str()) == 1 && Trim("ID") == id ? 0 : 1;
    EXPECT_EQ(missed, 0);
    xb_CloseAll();
}

// Runs the processes, gathers what they report, and checks the table after.
void RunStress(const Config& base) {
    EngineReset reset;
    TempDir dir;
    Config cfg = base;
    cfg.writerOps = cfg.writerOps * Factor() / kSanitizerShare;
    cfg.readerOps = cfg.readerOps * Factor() / kSanitizerShare;
    cfg.maintenance *= Factor();
    const auto started = std::chrono::steady_clock::now();
    Paths paths;
    paths.table = BuildTable(dir, cfg);
    paths.turnstile = dir.File("turnstile.lock");
    paths.busy = dir.File("busy.lock");
    for (const std::string& f : {paths.turnstile, paths.busy})
        ::close(::open(f.c_str(), O_RDWR | O_CREAT, 0600));
    const auto built = std::chrono::steady_clock::now();

    void* mem =
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    auto* shared = new (mem) Shared;
    int report[2], parked[2];
    ASSERT_EQ(::pipe(report), 0);
    ASSERT_EQ(::pipe(parked), 0);
    std::vector<pid_t> kids;
    const int total = cfg.writers + cfg.readers;
    for (int i = 0; i < total; ++i) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::signal(SIGPIPE, SIG_IGN);
            ::close(report[0]);
            xb_SysProp(XB_PROP_EXIT, 0);
            xb_SetLockTimeout(60);
            const bool writer = i < cfg.writers;
            Reporter rep(report[1], (writer ? "writer" : "reader") +
                                        std::to_string(writer ? i : i - cfg.writers));
            Worker w(cfg, paths, *shared, rep, i, parked[1]);
            if (writer) {
                w.parkedReadFd_ = parked[0];
                w.RunWriter(i == 0);
            } else {
                w.RunReader((i - cfg.writers) % 2 == 1);
            }
            rep.Summary();
            ::_exit(rep.Faults() == 0 ? 0 : 1);
        }
        kids.push_back(pid);
    }
    ::close(report[1]);
    ::close(parked[0]);
    ::close(parked[1]);

    // Lines until every process has closed its end. The processes write at
    // a fault and at their end: the bound only ends a hang.
    const int silence = 600000 * Factor();
    std::map<std::string, long> counts;
    std::map<std::string, std::vector<std::string>> examples;
    std::string pending;
    for (;;) {
        pollfd p{report[0], POLLIN, 0};
        if (::poll(&p, 1, silence) != 1) {
            ADD_FAILURE() << "no word from the processes for " << silence / 1000 << " s";
            for (pid_t k : kids)
                ::kill(k, SIGKILL);
            break;
        }
        char buf[8192];
        const ssize_t n = ::read(report[0], buf, sizeof buf);
        if (n <= 0)
            break;
        pending.append(buf, static_cast<std::size_t>(n));
        for (std::size_t nl; (nl = pending.find('\n')) != std::string::npos;
             pending.erase(0, nl + 1)) {
            const std::string line = pending.substr(0, nl);
            if (line.compare(0, 2, "F ") == 0) {
                const std::size_t who = line.find(' ', 2);
                const std::size_t kind = line.find(' ', who + 1);
                auto& list = examples[line.substr(who + 1, kind - who - 1)];
                if (list.size() < 6)
                    list.push_back(line.substr(2));
            } else if (line.compare(0, 2, "S ") == 0) {
                std::size_t at = line.find(' ', 2);
                while (at != std::string::npos) {
                    const std::size_t next = line.find(' ', at + 1);
                    const std::string item = line.substr(at + 1, next - at - 1);
                    const std::size_t eq = item.find('=');
                    if (eq != std::string::npos)
                        counts[item.substr(0, eq)] += std::stol(item.substr(eq + 1));
                    at = next;
                }
            }
        }
    }
    ::close(report[0]);
    for (std::size_t i = 0; i < kids.size(); ++i) {
        int status = 0;
        ::waitpid(kids[i], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "process " << i << " ended with status " << status;
    }
    ::munmap(mem, sizeof(Shared));
    const auto ran = std::chrono::steady_clock::now();

    long faults = 0;
    std::string tally;
    for (const auto& [k, n] : counts) {
        tally += "  " + k + " = " + std::to_string(n) + "\n";
        if (k.compare(0, 6, "fault.") == 0)
            faults += n;
    }
    const auto secs = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };
    std::printf("[ stress ] %d rows, %d writers x %d, %d readers x %d operations, seed %llu: "
                "built in %.1f s, ran %.1f s\n%s",
                cfg.rows, cfg.writers, cfg.writerOps, cfg.readers, cfg.readerOps,
                static_cast<unsigned long long>(Seed()), secs(started, built), secs(built, ran),
                tally.c_str());
    for (const auto& [kind, list] : examples)
        for (const std::string& e : list)
            ADD_FAILURE() << e;
    EXPECT_EQ(faults, 0);
    EXPECT_GT(counts["op.pack"] + counts["op.reindex"], cfg.maintenance > 0 ? 0 : -1);
    ExpectTableWhole(paths.table, cfg.rows + counts["appended"] - counts["removed"]);
}

} // namespace

// A table small enough for the block caches to keep whole.
TEST(ManyProcesses, EveryRowReadIsWholeAndItsOwn) {
    Config cfg;
    cfg.rows = 4000;
    cfg.links = 40;
    cfg.writers = 3;
    cfg.readers = 4;
    cfg.writerOps = 3000;
    cfg.readerOps = 1500;
    cfg.maintenance = 2;
    RunStress(cfg);
}

// Over 16 MB of records: past what the record cache keeps, so the pages it
// kept are pushed out while another process's change has made them stale.
TEST(ManyProcesses, EveryRowReadIsWholeAndItsOwnPastTheBlockCache) {
    Config cfg;
    cfg.rows = 52000;
    cfg.links = 40;
    cfg.writers = 3;
    cfg.readers = 4;
    cfg.writerOps = 5000;
    cfg.readerOps = 2500;
    cfg.maintenance = 2;
    RunStress(cfg);
}

#endif
