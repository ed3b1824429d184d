// Indexes written by FoxPro itself, and damaged files.
#include "platform/xbase/cdx/cdx.h"
#include "platform/xbase/cdx/tagkeys.h"
#include "platform/xbase/cdx/tests/helpers.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <random>

using namespace xbase::cdx;
using namespace xbase::cdx::testing;

namespace {

const std::string kFoxPro = std::string(QUELTA_SHARED_DIR) + "/data/foxpro/";

struct RealIndex {
    const char* dbf;
    const char* cdx;
    std::vector<const char*> tags; // names, in directory order
};

const std::vector<RealIndex> kReal = {
    {"go-dbase/employees.dbf",
     "go-dbase/employees.CDX",
     {"DEPARTMENT", "EMAILNAME", "LASTNAME", "POSTALCODE", "PRIMARYKEY"}},
    {"infused-dbf/foxprodb/types.dbf", "infused-dbf/foxprodb/types.CDX", {"TYPE_ID"}},
    {"infused-dbf/foxprodb/calls.dbf", "infused-dbf/foxprodb/calls.CDX", {}},
    {"infused-dbf/foxprodb/contacts.dbf", "infused-dbf/foxprodb/contacts.CDX", {}},
    {"infused-dbf/foxprodb/setup.dbf", "infused-dbf/foxprodb/setup.CDX", {"KEY_NAME"}},
};

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

} // namespace

class FoxProFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(kFoxPro))
            GTEST_SKIP() << "no FoxPro sample files in " << kFoxPro;
    }
    ScratchDir dir;
};

// Every tag walks in the order index_dump gives, and holds exactly the keys
// our expressions compute from the table's records.
TEST_F(FoxProFiles, TagsWalkAsIndexDumpAndMatchTheRecords) {
    bool dump = HaveIndexDump();
    for (const auto& r : kReal) {
        SCOPED_TRACE(r.cdx);
        std::string copy = dir.File(fs::path(r.cdx).filename().string());
        fs::copy_file(kFoxPro + r.cdx, copy, fs::copy_options::overwrite_existing);
        fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write);
        DbfTable table(kFoxPro + r.dbf);
        auto bag = Bag::Open(copy, OpenMode::ReadOnly, KeyTypesFrom(table));
        ASSERT_FALSE(bag->Tags().empty());
        if (!r.tags.empty()) {
            std::vector<std::string> names;
            for (const auto& t : bag->Tags())
                names.push_back(t->Name());
            std::sort(names.begin(), names.end());
            EXPECT_EQ(names, std::vector<std::string>(r.tags.begin(), r.tags.end()));
        }
        for (const auto& tag : bag->Tags()) {
            SCOPED_TRACE(tag->Name());
            tag->Check();
            std::vector<Entry> all = tag->All();
            char type = tag->Def().keyType;
            if (dump) {
                auto lines = IndexDump(copy, tag->Name(), type == 'C' ? "char" : "num");
                ASSERT_EQ(lines.size(), all.size());
                for (std::size_t i = 0; i < all.size(); ++i) {
                    std::string recno = std::to_string(all[i].recno);
                    if (type == 'C')
                        EXPECT_EQ(lines[i], Trimmed(all[i].key) + " " + recno);
                    else
                        EXPECT_TRUE(lines[i].ends_with(" " + recno)) << lines[i];
                }
            }
            // Walking back gives the same entries reversed.
            std::vector<Entry> back;
            for (auto e = tag->Last(); e; e = tag->Prior(*e))
                back.push_back(*e);
            std::reverse(back.begin(), back.end());
            EXPECT_EQ(back, all);
            std::unique_ptr<TagKeys> keys;
            try {
                keys = std::make_unique<TagKeys>(tag->Def(), table);
            } catch (const xbase::expr::ExprError&) {
                continue; // long field names live in the database container
            }
            std::multimap<std::string, std::uint32_t> expected;
            for (std::uint32_t rec = 1; rec <= table.Count(); ++rec) {
                table.Go(rec);
                if (auto k = keys->KeyFor(table))
                    expected.emplace(*k, rec);
            }
            std::vector<Entry> want;
            for (const auto& [k, rec] : expected)
                want.push_back({k, rec});
            EXPECT_EQ(all, want);
        }
    }
}

TEST_F(FoxProFiles, SeeksAndChangesKeepTheFileReadable) {
    std::string copy = dir.File("employees.cdx");
    fs::copy_file(kFoxPro + "go-dbase/employees.CDX", copy);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write);
    DbfTable table(kFoxPro + "go-dbase/employees.dbf");
    auto bag = Bag::Open(copy, OpenMode::ReadWrite, KeyTypesFrom(table));
    bag->SetCaching(true); // written when the bag closes
    Tag* last = bag->FindTag("lastname");
    ASSERT_NE(last, nullptr);
    SeekResult s = last->Seek("Dav");
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.entry->recno, 1U);
    s = last->Seek("C");
    EXPECT_FALSE(s.found);
    EXPECT_EQ(s.entry->recno, 1U); // soft: Davolio follows
    EXPECT_FALSE(last->Seek("Z").entry);
    EXPECT_TRUE(last->Insert("Callahan", 4));
    EXPECT_TRUE(last->Remove(std::string("Buchanan"), 3));
    EXPECT_FALSE(last->Remove(std::string("Buchanan"), 3));
    last->Check();
    bag.reset();
    if (HaveIndexDump()) {
        auto lines = IndexDump(copy, "LASTNAME", "char");
        EXPECT_EQ(lines, (std::vector<std::string>{"Callahan 4", "Davolio 1", "Leverling 2"}));
        EXPECT_EQ(IndexDump(copy, "DEPARTMENT", "char").size(), 3U);
    }
}

// ---- damaged files ------------------------------------------------------

class BadFiles : public ::testing::Test {
protected:
    // A bag with one tag deep enough to have interior nodes.
    std::string MakeBag() {
        std::string path = dir.File("bad.cdx");
        auto bag = Bag::Create(path);
        TagDef d;
        d.name = "NAME";
        d.keyExpr = "NAME";
        d.keyLength = 30;
        Tag& t = bag->CreateTag(d);
        for (std::uint32_t i = 1; i <= 400; ++i)
            t.Insert("name" + std::to_string(i * 7919 % 1000), i);
        return path;
    }
    static std::uint32_t Le32(const std::string& b, std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return v;
    }
    static void PutLe32(std::string& b, std::size_t at, std::uint32_t v) {
        std::memcpy(b.data() + at, &v, 4);
    }
    // Every operation on the damaged file fails cleanly.
    static void ExpectCorrupt(const std::string& path) {
        try {
            auto bag = Bag::Open(path, OpenMode::ReadWrite);
            Tag* t = bag->FindTag("NAME");
            ASSERT_NE(t, nullptr);
            EXPECT_THROW(t->Check(), CdxError);
            EXPECT_THROW(
                {
                    (void)t->All();
                    for (auto e = t->First(); e; e = t->Next(*e)) {
                    }
                    for (auto e = t->Last(); e; e = t->Prior(*e)) {
                    }
                    t->Insert("zzz", 9999);
                    (void)t->Seek("name5");
                },
                CdxError);
        } catch (const CdxError&) {
            SUCCEED(); // refused at open
        }
    }
    ScratchDir dir;
};

TEST_F(BadFiles, TruncatedAndEmptyFiles) {
    std::string path = MakeBag();
    std::string b = ReadAll(path);
    for (std::size_t len : {std::size_t{0}, std::size_t{100}, std::size_t{1024}, std::size_t{1500},
                            b.size() / 2, b.size() - 512}) {
        SCOPED_TRACE(len);
        WriteAll(path, b.substr(0, len));
        ExpectCorrupt(path);
    }
}

TEST_F(BadFiles, PointersPastTheEndAndLoops) {
    std::string path = MakeBag();
    const std::string good = ReadAll(path);
    auto bag = Bag::Open(path, OpenMode::ReadOnly);
    std::uint32_t header = 0;
    {
        // The tag's header: the only entry of the directory leaf.
        std::uint32_t dirRoot = Le32(good, 0);
        header = static_cast<std::uint32_t>(static_cast<unsigned char>(good[dirRoot + 24]) |
                                            static_cast<unsigned char>(good[dirRoot + 25]) << 8);
        ASSERT_EQ(header % 512, 0U);
    }
    bag.reset();
    std::uint32_t root = Le32(good, header);
    ASSERT_EQ(static_cast<unsigned char>(good[root]) & 2, 0) << "root should be interior";
    std::size_t keyLen = 30;
    std::uint32_t firstChild = __builtin_bswap32(Le32(good, root + 12 + keyLen + 4));

    std::string b = good;
    PutLe32(b, header, 0x7FFFFE00); // root past the end
    WriteAll(path, b);
    ExpectCorrupt(path);

    b = good;
    PutLe32(b, header, 0x201); // root off a page boundary
    WriteAll(path, b);
    ExpectCorrupt(path);

    b = good;
    PutLe32(b, root + 12 + keyLen + 4, __builtin_bswap32(root)); // child is its own parent
    WriteAll(path, b);
    ExpectCorrupt(path);

    b = good;
    PutLe32(b, firstChild + 8, firstChild); // a leaf that is its own right sibling
    WriteAll(path, b);
    ExpectCorrupt(path);

    b = good;
    b[firstChild + 2] = '\x7F'; // too many keys for the node
    b[firstChild + 3] = '\x7F';
    WriteAll(path, b);
    ExpectCorrupt(path);

    b = good;
    b[firstChild + 23] = 0; // no bytes per entry
    WriteAll(path, b);
    ExpectCorrupt(path);

    b = good;
    b[header + 12] = 0; // key length 0
    b[header + 13] = 0;
    WriteAll(path, b);
    EXPECT_THROW((void)Bag::Open(path, OpenMode::ReadOnly), CorruptError);
}

// Random damage: every operation either works or throws; none crashes or
// loops (run under the sanitizers too).
TEST_F(BadFiles, RandomDamageNeverCrashes) {
    std::string path = MakeBag();
    const std::string good = ReadAll(path);
    std::mt19937 rng(1234);
    int failures = 0;
    for (int round = 0; round < 200; ++round) {
        std::string b = good;
        int flips = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < flips; ++i)
            b[rng() % b.size()] = static_cast<char>(rng());
        WriteAll(path, b);
        try {
            auto bag = Bag::Open(path, OpenMode::ReadWrite);
            for (const auto& t : bag->Tags()) {
                (void)t->All();
                for (auto e = t->First(); e; e = t->Next(*e)) {
                }
                for (auto e = t->Last(); e; e = t->Prior(*e)) {
                }
                (void)t->Seek("name5");
                t->Insert("name77", 5000);
                t->Remove("name77", 5000);
                t->Check();
            }
        } catch (const CdxError&) {
            ++failures;
        }
    }
    EXPECT_GT(failures, 0);
}
