// Randomised tests of our own bags against an in-memory model, and the
// outside reader's view of the files we write.
#include "platform/xbase/cdx/cdx.h"
#include "platform/xbase/cdx/tagkeys.h"
#include "platform/xbase/cdx/tests/helpers.h"
#include "platform/xbase/expr/tests/test_record.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>

using namespace xbase::cdx;
using namespace xbase::cdx::testing;
using xbase::expr::testing::TestRecord;

namespace {

using Model = std::set<std::pair<std::string, std::uint32_t>>;

// The received table's shape: keys as the table layer makes them.
TestRecord ReceivedShape() {
    TestRecord r;
    r.Add("MESSAGE_ID", 'C', 40, "")
        .Add("LINK_ID", 'C', 20, "")
        .Add("FROM", 'C', 40, "")
        .Add("RECDATE", 'D', 8, "")
        .Add("FREQVAL", 'N', 6, "", 1);
    return r;
}

std::string RandomText(std::mt19937& rng, std::size_t maxLen) {
    // Few letters and shared prefixes, so duplicates and compression happen.
    static const std::string prefixes[] = {"", "<msg", "<msg.2024", "Anna ", "zz"};
    std::string s = prefixes[rng() % 5];
    std::size_t n = rng() % 12;
    for (std::size_t i = 0; i < n; ++i)
        s += "abcde. "[rng() % 7];
    return s.substr(0, maxLen);
}

std::vector<Entry> FromModel(const Model& m) {
    std::vector<Entry> v;
    for (const auto& [k, r] : m)
        v.push_back({k, r});
    return v;
}

} // namespace

class ModelTest : public ::testing::Test {
protected:
    ScratchDir dir;
    TestRecord schema = ReceivedShape();
};

TEST_F(ModelTest, RandomInsertsDeletesAndSeeksMatchTheModel) {
    std::string path = dir.File("received.cdx");
    auto bag = Bag::Create(path);
    std::vector<TagDef> defs = {
        TagKeys::Define("MESSAGE_ID", "MESSAGE_ID", "", false, false, schema),
        TagKeys::Define("LINK_ID", "LINK_ID", "", false, false, schema),
        TagKeys::Define("FREQ", "FREQVAL", "", false, false, schema),
    };
    for (const auto& d : defs)
        bag->CreateTag(d);
    std::vector<Model> models(defs.size());
    std::mt19937 rng(4711);
    auto keyFor = [&](std::size_t tag) {
        if (tag == 2) {
            double v = static_cast<double>(static_cast<int>(rng() % 2001) - 1000) / 8;
            return xbase::expr::KeyBytes(xbase::expr::Value::Num(v),
                                         {xbase::expr::KeyType::Numeric, 8});
        }
        std::string k = RandomText(rng, static_cast<std::size_t>(defs[tag].keyLength));
        k.resize(static_cast<std::size_t>(defs[tag].keyLength), ' ');
        return k;
    };
    for (int step = 0; step < 6000; ++step) {
        if (step % 500 == 0)
            bag->SetCaching(step / 500 % 2 == 1); // half the time with pages kept in memory
        std::size_t t = rng() % defs.size();
        Tag& tag = *bag->Tags()[t];
        Model& m = models[t];
        int op = static_cast<int>(rng() % 10);
        if (op < 6 || m.empty()) {
            // Record numbers from small to large, so entry widths change.
            std::uint32_t rec =
                1 + static_cast<std::uint32_t>(rng() % (step < 3000 ? 300 : 200000));
            std::string k = keyFor(t);
            bool added = m.emplace(k, rec).second;
            ASSERT_EQ(tag.Insert(k, rec), added) << step;
        } else if (op < 9) {
            auto it = m.begin();
            std::advance(it, static_cast<long>(rng() % m.size()));
            ASSERT_TRUE(tag.Remove(it->first, it->second)) << step;
            m.erase(it);
            ASSERT_FALSE(tag.Remove(keyFor(t), 0)) << step;
        } else {
            std::string k = keyFor(t).substr(0, 1 + rng() % 6);
            auto want = m.lower_bound({k, 0});
            SeekResult got = tag.Seek(k);
            ASSERT_EQ(got.entry.has_value(), want != m.end()) << step;
            if (got.entry) {
                EXPECT_EQ(got.entry->key, want->first);
                EXPECT_EQ(got.entry->recno, want->second);
                EXPECT_EQ(got.found, want->first.starts_with(k));
            }
        }
        if (step % 1000 == 999) {
            for (std::size_t i = 0; i < defs.size(); ++i) {
                bag->Tags()[i]->Check();
                ASSERT_EQ(bag->Tags()[i]->All(), FromModel(models[i])) << step;
            }
        }
    }
    // What a second reader sees once the cached pages are flushed.
    bag->SetCaching(true);
    bag->Tags()[0]->Insert("flushed", 1);
    models[0].emplace(std::string("flushed") + std::string(33, ' '), 1);
    {
        auto other = Bag::Open(path, OpenMode::ReadOnly);
        EXPECT_FALSE(other->Tags()[0]->Seek("flushed").found);
        bag->Flush();
        EXPECT_TRUE(other->Tags()[0]->Seek("flushed").found);
    }
    // Reopened, every tag still walks the same, both ways.
    bag = Bag::Open(path, OpenMode::ReadWrite, KeyTypesFrom(schema));
    ASSERT_EQ(bag->Tags().size(), defs.size());
    for (std::size_t i = 0; i < defs.size(); ++i) {
        Tag& tag = *bag->Tags()[i];
        EXPECT_EQ(tag.Name(), defs[i].name);
        EXPECT_EQ(tag.Def().keyType, defs[i].keyType);
        std::vector<Entry> fwd, back;
        for (auto e = tag.First(); e; e = tag.Next(*e))
            fwd.push_back(*e);
        for (auto e = tag.Last(); e; e = tag.Prior(*e))
            back.push_back(*e);
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(fwd, FromModel(models[i]));
        EXPECT_EQ(back, fwd);
        if (!models[i].empty()) {
            const auto& some =
                *std::next(models[i].begin(), static_cast<long>(models[i].size() / 2));
            EXPECT_TRUE(tag.Contains(some.first, some.second));
            EXPECT_EQ(tag.FindRecord(some.second)->recno, some.second);
        }
    }
    // Emptying a tag leaves one empty root that still takes keys.
    Tag& link = *bag->Tags()[1];
    for (const auto& [k, r] : models[1])
        ASSERT_TRUE(link.Remove(k, r));
    EXPECT_FALSE(link.First());
    EXPECT_FALSE(link.Last());
    link.Check();
    EXPECT_TRUE(link.Insert("again", 1));
    EXPECT_EQ(link.All().size(), 1U);
}

TEST_F(ModelTest, UniqueTagKeepsTheFirstRowOfAKey) {
    auto bag = Bag::Create(dir.File("nodes.cdx"));
    Tag& t = bag->CreateTag(TagKeys::Define("UNIQUE_ID", "LINK_ID", "", true, false, schema));
    EXPECT_TRUE(t.Insert("a", 5));
    EXPECT_FALSE(t.Insert("a", 2));
    EXPECT_FALSE(t.Insert("a   ", 9));
    EXPECT_TRUE(t.Insert("b", 1));
    EXPECT_EQ(t.All(), (std::vector<Entry>{{std::string("a") + std::string(19, ' '), 5},
                                           {std::string("b") + std::string(19, ' '), 1}}));
    t.Check();
    // Rebuilding keeps the lowest record of each key.
    bag->Rebuild(6, [](std::uint32_t rec, std::vector<std::optional<std::string>>& keys, bool&) {
        keys[0] = rec % 2 ? "odd" : "even";
    });
    Tag& u = *bag->FindTag("unique_id");
    ASSERT_EQ(u.All().size(), 2U);
    EXPECT_EQ(u.All()[0].recno, 2U);
    EXPECT_EQ(u.All()[1].recno, 1U);
}

TEST_F(ModelTest, TagsAreCreatedReplacedAndDeletedInOrder) {
    std::string path = dir.File("Sent.cdx");
    {
        auto bag = Bag::Create(path);
        for (const char* name : {"UNIQUE_ID", "LINK_ID", "SUBJECT", "TONAME"}) {
            TagDef d;
            d.name = name;
            d.keyExpr = name;
            d.keyLength = 20;
            bag->CreateTag(d);
        }
        TagDef d;
        d.name = "subject";
        d.keyExpr = "UPPER(SUBJECT)";
        d.forExpr = "!DELETED()";
        d.keyLength = 80;
        d.descending = true;
        bag->CreateTag(d); // replaces the first SUBJECT
        EXPECT_TRUE(bag->DeleteTag("TONAME"));
        EXPECT_FALSE(bag->DeleteTag("TONAME"));
        EXPECT_THROW(bag->CreateTag(TagDef{"1BAD", "X", "", false, false, 1, 'C'}), CdxError);
        EXPECT_THROW(bag->CreateTag(TagDef{"LONG", "X", "", false, false, 241, 'C'}), CdxError);
    }
    auto bag = Bag::Open(path, OpenMode::ReadOnly);
    {
        // Another user adds a tag; a reload shows it.
        auto writer = Bag::Open(path, OpenMode::ReadWrite);
        writer->CreateTag(TagDef{"EXTRA", "STATUS", "", false, false, 5, 'C'});
        EXPECT_EQ(bag->FindTag("EXTRA"), nullptr);
        bag->Reload();
        EXPECT_NE(bag->FindTag("EXTRA"), nullptr);
        EXPECT_TRUE(writer->DeleteTag("EXTRA"));
        bag->Reload();
    }
    std::vector<std::string> names;
    for (const auto& t : bag->Tags())
        names.push_back(t->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"UNIQUE_ID", "LINK_ID", "SUBJECT"}));
    const TagDef& s = bag->FindTag("Subject")->Def();
    EXPECT_EQ(s.keyExpr, "UPPER(SUBJECT)");
    EXPECT_EQ(s.forExpr, "!DELETED()");
    EXPECT_EQ(s.keyLength, 80);
    EXPECT_TRUE(s.descending);
    EXPECT_TRUE(s.unique == false && !bag->FindTag("LINK_ID")->Def().descending);
    EXPECT_THROW(bag->FindTag("LINK_ID")->Insert("x", 1), CdxError); // read-only
}

// Files we write read back in index_dump in our order, through splits,
// deletes and a rebuild.
TEST_F(ModelTest, IndexDumpReadsOurFiles) {
    if (!HaveIndexDump())
        GTEST_SKIP() << "index_dump (libdbd-xbase-perl) is not installed";
    std::string path = dir.File("received.cdx");
    auto bag = Bag::Create(path);
    for (const char* name : {"MESSAGE_ID", "LINK_ID", "FROM"})
        bag->CreateTag(
            TagKeys::Define(name, name, "", std::string(name) == "MESSAGE_ID", false, schema));
    std::mt19937 rng(99);
    std::vector<Model> models(3);
    for (std::uint32_t rec = 1; rec <= 3000; ++rec) {
        for (std::size_t t = 0; t < 3; ++t) {
            std::string k =
                t == 0 ? "<" + std::to_string(rng() % 100000) + "@host>" : RandomText(rng, 20);
            k.resize(static_cast<std::size_t>(bag->Tags()[t]->Def().keyLength), ' ');
            auto same = models[t].lower_bound({k, 0});
            bool taken = t == 0 && same != models[t].end() && same->first == k;
            ASSERT_EQ(bag->Tags()[t]->Insert(k, rec), !taken); // unique: the first row stays
            if (!taken)
                models[t].emplace(k, rec);
        }
    }
    for (std::uint32_t rec = 1; rec <= 3000; rec += 3)
        for (std::size_t t = 0; t < 3; ++t)
            for (auto it = models[t].begin(); it != models[t].end(); ++it)
                if (it->second == rec) {
                    bag->Tags()[t]->Remove(it->first, rec);
                    models[t].erase(it);
                    break;
                }
    auto check = [&] {
        for (std::size_t t = 0; t < 3; ++t) {
            auto lines = IndexDump(path, bag->Tags()[t]->Name(), "char");
            auto want = FromModel(models[t]);
            ASSERT_EQ(lines.size(), want.size()) << bag->Tags()[t]->Name();
            for (std::size_t i = 0; i < want.size(); ++i) {
                std::string k = want[i].key;
                while (!k.empty() && k.back() == ' ')
                    k.pop_back();
                ASSERT_EQ(lines[i], k + " " + std::to_string(want[i].recno)) << i;
            }
        }
    };
    check();
    // Reindex from the model's rows: same order, smaller file.
    auto before = fs::file_size(path);
    std::map<std::uint32_t, std::vector<std::string>> rows;
    for (std::size_t t = 0; t < 3; ++t)
        for (const auto& [k, r] : models[t])
            rows[r].resize(3), rows[r][t] = k;
    bag->Rebuild(3000,
                 [&](std::uint32_t rec, std::vector<std::optional<std::string>>& keys, bool&) {
                     auto it = rows.find(rec);
                     if (it == rows.end())
                         return;
                     for (std::size_t t = 0; t < 3; ++t)
                         if (!it->second[t].empty())
                             keys[t] = it->second[t];
                 });
    EXPECT_LT(fs::file_size(path), before);
    for (const auto& t : bag->Tags())
        t->Check();
    check();
}

// Pages freed by removals are used again; a free list not of our making is
// never trusted, so a live page cannot be handed out twice.
TEST_F(ModelTest, FreedPagesAreReusedAndForeignListsIgnored) {
    std::string path = dir.File("pending.cdx");
    auto bag = Bag::Create(path);
    Tag& t = bag->CreateTag(TagKeys::Define("MESSAGE_ID", "MESSAGE_ID", "", true, false, schema));
    auto fill = [&] {
        for (std::uint32_t r = 1; r <= 2000; ++r)
            ASSERT_TRUE(t.Insert("<" + std::to_string(r * 7919 % 100003) + "@x>", r));
    };
    fill();
    auto full = fs::file_size(path);
    for (const Entry& e : t.All())
        ASSERT_TRUE(t.Remove(e.key, e.recno));
    fill();
    EXPECT_EQ(fs::file_size(path), full);
    t.Check();
    bag.reset();

    // Point the tag's free list at its own root, as a foreign list might.
    std::string b = ReadAll(path);
    std::uint32_t dirRoot, header, root;
    std::memcpy(&dirRoot, b.data(), 4);
    header = static_cast<std::uint32_t>(static_cast<unsigned char>(b[dirRoot + 24]) |
                                        static_cast<unsigned char>(b[dirRoot + 25]) << 8);
    std::memcpy(&root, b.data() + header, 4);
    std::memcpy(b.data() + header + 4, &root, 4);
    WriteAll(path, b);
    bag = Bag::Open(path, OpenMode::ReadWrite);
    Tag& again = *bag->FindTag("MESSAGE_ID");
    for (std::uint32_t r = 2001; r <= 3000; ++r)
        ASSERT_TRUE(again.Insert("<" + std::to_string(r) + "@y>", r));
    again.Check();
    EXPECT_EQ(again.All().size(), 3000U);
}

TEST_F(ModelTest, TagKeysFollowKeyAndForExpressions) {
    TagDef d =
        TagKeys::Define("link", "LINK_ID + DTOS(RECDATE)", "FREQVAL > 5", false, false, schema);
    EXPECT_EQ(d.keyLength, 28);
    EXPECT_EQ(d.keyType, 'C');
    TagKeys keys(d, schema);
    schema.Set("LINK_ID", "node1");
    schema.Set("RECDATE", "20240131");
    schema.Set("FREQVAL", "    10");
    EXPECT_EQ(keys.KeyFor(schema), std::string("node1") + std::string(15, ' ') + "20240131");
    schema.Set("FREQVAL", "     5");
    EXPECT_FALSE(keys.KeyFor(schema));
    EXPECT_EQ(keys.SearchKey("node1", {}), "node1");

    TagDef num = TagKeys::Define("FREQ", "FREQVAL", "", false, false, schema);
    EXPECT_EQ(num.keyType, 'N');
    EXPECT_EQ(TagKeys(num, schema).SearchKey("5", {}), *TagKeys(num, schema).KeyFor(schema));

    EXPECT_THROW(TagKeys::Define("BAD", "FROM", "FREQVAL", false, false, schema),
                 xbase::expr::ExprError); // FOR must be logical
    EXPECT_THROW(TagKeys::Define("BAD", "NOSUCH", "", false, false, schema),
                 xbase::expr::ExprError);
    EXPECT_THROW(TagKeys::Define("BAD",
                                 "MESSAGE_ID + MESSAGE_ID + MESSAGE_ID + MESSAGE_ID + "
                                 "MESSAGE_ID + MESSAGE_ID + MESSAGE_ID",
                                 "", false, false, schema),
                 CdxError); // 280 bytes: longer than a key can be
    // The engine's schema answers key types for tags read from a file.
    EXPECT_EQ(KeyTypesFrom(schema)("RECDATE"), 'D');
    EXPECT_EQ(KeyTypesFrom(schema)("what ever"), 'C');
}

// index_dump decodes our number and date keys to the values we stored.
TEST_F(ModelTest, IndexDumpDecodesNumberAndDateKeys) {
    if (!HaveIndexDump())
        GTEST_SKIP() << "index_dump (libdbd-xbase-perl) is not installed";
    using xbase::expr::KeyBytes;
    using xbase::expr::Value;
    std::string path = dir.File("numbers.cdx");
    auto bag = Bag::Create(path);
    Tag& num = bag->CreateTag(TagKeys::Define("FREQ", "FREQVAL", "", false, false, schema));
    Tag& day = bag->CreateTag(TagKeys::Define("DAY", "RECDATE", "", false, false, schema));
    TagKeys numKeys(num.Def(), schema), dayKeys(day.Def(), schema);
    const std::vector<double> values = {15, -1000.5, 0, 3.25, -0.25, 1e6, 1, 0.5, -2};
    for (std::size_t i = 0; i < values.size(); ++i)
        num.Insert(KeyBytes(Value::Num(values[i]), numKeys.Key()),
                   static_cast<std::uint32_t>(i + 1));
    day.Insert(KeyBytes(Value::Date(xbase::expr::JulianFromYmd(2024, 1, 31)), dayKeys.Key()), 1);
    day.Insert(KeyBytes(Value::Date(xbase::expr::JulianFromYmd(1999, 12, 31)), dayKeys.Key()), 2);
    day.Insert(KeyBytes(Value::Date(0), dayKeys.Key()), 3);
    bag.reset();
    EXPECT_EQ(IndexDump(path, "FREQ", "num"),
              (std::vector<std::string>{"-1000.5 2", "-2 9", "-0.25 5", "0 3", "0.5 8", "1 7",
                                        "3.25 4", "15 1", "1000000 6"}));
    EXPECT_EQ(IndexDump(path, "DAY", "num"),
              (std::vector<std::string>{"0 3", "2451544 2", "2460341 1"}));
}
