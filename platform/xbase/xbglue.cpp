// Expressions and CDX indexes for the work areas, over the xbase_expr and
// xbase_cdx libraries. Their exceptions are turned into the engine's errors
// here, so nothing of theirs reaches the exports.
#include <cmath>
#include <cstdio>
#include <strings.h>
#include <vector>

#include "platform/xbase/cdx/cdx.h"
#include "platform/xbase/cdx/tagkeys.h"
#include "platform/xbase/expr/expr.h"
#include "platform/xbase/xbarea.h"
#include "platform/xbase/xberror.h"
#include "platform/xbase/xbglue.h"

namespace xbase {

namespace {

expr::Settings ExprSettings() {
    const EngineSettings& s = Settings();
    expr::Settings out;
    out.exact = s.exact;
    out.century = s.century;
    out.epoch = s.epoch;
    static const expr::DateFormat formats[] = {
        expr::DateFormat::American, expr::DateFormat::Ansi,   expr::DateFormat::British,
        expr::DateFormat::French,   expr::DateFormat::German, expr::DateFormat::Italian,
        expr::DateFormat::Spanish};
    out.dateFormat =
        s.dateFormat >= 0 && s.dateFormat <= 6 ? formats[s.dateFormat] : expr::DateFormat::American;
    return out;
}

expr::FieldInfo InfoOf(const FieldDesc& f) {
    return {f.name, f.type, f.width, f.decimals, f.nullBit >= 0};
}

// The table's fields, for compiling.
class SchemaView : public expr::Schema {
public:
    explicit SchemaView(WorkArea& area) : area_(area) {}
    int FieldIndex(std::string_view upperName) const override {
        return area_.FieldIndex(std::string(upperName));
    }
    expr::FieldInfo FieldAt(int index) const override { return InfoOf(area_.FieldAt(index)); }
    expr::CodePage TextCodePage() const override {
        return expr::CodePageOfMark(area_.Dbf().CodePageMark());
    }

protected:
    WorkArea& area_;
};

// One record buffer (the current one or an older copy) to evaluate on.
class RecordView final : public expr::Context {
public:
    RecordView(WorkArea& area, const std::string& record, std::uint32_t recno)
        : area_(area), record_(record), recno_(recno), settings_(ExprSettings()) {}
    int FieldIndex(std::string_view upperName) const override {
        return area_.FieldIndex(std::string(upperName));
    }
    expr::FieldInfo FieldAt(int index) const override { return InfoOf(area_.FieldAt(index)); }
    expr::CodePage TextCodePage() const override {
        return expr::CodePageOfMark(area_.Dbf().CodePageMark());
    }
    std::string_view FieldBytes(int index) const override {
        return area_.FieldValue(area_.FieldAt(index), record_);
    }
    bool IsNull(int index) const override { return area_.IsNull(area_.FieldAt(index), record_); }
    std::string MemoText(int index) const override {
        std::uint32_t type = 0;
        std::string data;
        area_.ReadMemo(area_.FieldAt(index), record_, type, data);
        return data;
    }
    std::uint32_t RecNo() const override { return recno_; }
    bool Deleted() const override { return !record_.empty() && record_[0] == '*'; }
    const expr::Settings& GetSettings() const override { return settings_; }

private:
    WorkArea& area_;
    const std::string& record_;
    std::uint32_t recno_;
    expr::Settings settings_;
};

// Runs f with the libraries' failures turned into engine errors.
template <class F> auto Translate(const std::string& context, F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const expr::ExprError& e) {
        throw Error(XB_ERR_EXPRESSION, "Expression error in \"" + context + "\" at position " +
                                           std::to_string(e.Position() + 1) + ": " + e.Reason());
    } catch (const cdx::CorruptError& e) {
        throw Error(XB_ERR_CORRUPT, std::string("Corrupt file ") + e.what());
    } catch (const cdx::IoError& e) {
        throw Error(XB_ERR_IO, std::string("I/O error: ") + e.what());
    } catch (const cdx::CdxError& e) {
        throw Error(XB_ERR_INDEX, std::string("Index error: ") + e.what());
    }
}

class Compiled final : public CompiledExpr {
public:
    Compiled(expr::Expression e, std::string text) : expr_(std::move(e)), text_(std::move(text)) {}
    int Type() const override {
        switch (expr_.ResultType()) {
        case expr::Type::Character:
            return XB_EVAL_CHARACTER;
        case expr::Type::Numeric:
            return XB_EVAL_NUMERIC;
        case expr::Type::Logical:
            return XB_EVAL_LOGICAL;
        default:
            return XB_EVAL_DATE;
        }
    }
    EvalResult Eval(WorkArea& area, const std::string& record, std::uint32_t recno) const override {
        return Translate(text_, [&] {
            RecordView view(area, record, recno);
            expr::Value v = expr_.Evaluate(view);
            EvalResult r;
            r.type = Type();
            switch (v.type) {
            case expr::Type::Character:
                r.text = v.text;
                break;
            case expr::Type::Numeric:
                r.number = v.number;
                r.text = expr::Str(v.number);
                break;
            case expr::Type::Logical:
                r.logical = v.logical;
                r.text = v.logical ? ".T." : ".F.";
                break;
            case expr::Type::Date:
            case expr::Type::DateTime:
                r.number = v.julian;
                r.text = expr::Dtos(v.julian);
                break;
            }
            return r;
        });
    }

private:
    expr::Expression expr_;
    std::string text_;
};

class CdxIndexes final : public IndexSet {
public:
    explicit CdxIndexes(WorkArea& area) : area_(area), schema_(area) {}

    int Count() const override { return static_cast<int>(orders_.size()); }

    bool Descending(int order) const override { return Listed(order).tag->Def().descending; }

    OrderInfo Info(int order) const override {
        const Order& o = Listed(order);
        const cdx::TagDef& d = o.tag->Def();
        return {d.name, o.bag->bag->Path(), d.keyExpr, d.forExpr, d.unique, d.descending};
    }

    int OpenBag(const std::string& path, bool writable) override {
        return Translate(path, [&] {
            for (std::size_t b = 0; b < bags_.size(); ++b)
                if (bags_[b]->bag->Path() == path)
                    return FirstOrderOf(b);
            auto entry = std::make_unique<BagEntry>();
            entry->bag =
                cdx::Bag::Open(path, writable ? cdx::OpenMode::ReadWrite : cdx::OpenMode::ReadOnly,
                               cdx::KeyTypesFrom(schema_));
            entry->bag->KeepPages(keepPages_);
            entry->bag->OnStructuralChange(structural_);
            bags_.push_back(std::move(entry));
            Reorder();
            return FirstOrderOf(bags_.size() - 1);
        });
    }

    int CreateTag(const std::string& path, const std::string& name, const std::string& keyExpr,
                  const std::string& forExpr, bool unique, bool descending) override {
        return Translate(keyExpr, [&] {
            cdx::TagDef def =
                cdx::TagKeys::Define(name, keyExpr, forExpr, unique, descending, schema_);
            BagEntry* entry = nullptr;
            for (auto& b : bags_)
                if (b->bag->Path() == path)
                    entry = b.get();
            if (!entry) {
                auto fresh = std::make_unique<BagEntry>();
                fresh->bag = FileExistsNoCase(path) ? cdx::Bag::Open(path, cdx::OpenMode::ReadWrite,
                                                                     cdx::KeyTypesFrom(schema_))
                                                    : cdx::Bag::Create(path);
                fresh->bag->KeepPages(keepPages_);
                fresh->bag->OnStructuralChange(structural_);
                bags_.push_back(std::move(fresh));
                entry = bags_.back().get();
            }
            // Every tag of the bag with the new one last, each key made
            // before anything is written.
            std::vector<std::shared_ptr<cdx::TagKeys>> keys;
            for (auto& t : entry->bag->Tags())
                if (::strcasecmp(t->Name().c_str(), def.name.c_str()) != 0)
                    keys.push_back(std::make_shared<cdx::TagKeys>(t->Def(), schema_));
            keys.push_back(std::make_shared<cdx::TagKeys>(def, schema_));
            try {
                entry->bag->BuildTag(def, area_.Dbf().Count(), Source(keys));
            } catch (...) {
                Renumber();
                throw;
            }
            orders_.clear(); // tag objects may have been replaced
            Reorder();
            for (std::size_t i = 0; i < orders_.size(); ++i)
                if (orders_[i].bag == entry &&
                    ::strcasecmp(orders_[i].tag->Name().c_str(), def.name.c_str()) == 0)
                    return static_cast<int>(i) + 1;
            throw Error(XB_ERR_INDEX, "Tag not found after building it: " + name);
        });
    }

    std::optional<std::string> KeyFor(int order, const std::string& record,
                                      std::uint32_t recno) override {
        const Order& o = At(order);
        return Translate(o.tag->Def().keyExpr, [&] {
            RecordView view(area_, record, recno);
            return o.keys->KeyFor(view);
        });
    }

    std::optional<IndexPos> First(int order) override {
        return Pos(order, [&](cdx::Tag& t) { return t.First(); });
    }
    std::optional<IndexPos> Last(int order) override {
        return Pos(order, [&](cdx::Tag& t) { return t.Last(); });
    }
    std::optional<IndexPos> Next(int order, const IndexPos& from) override {
        return Pos(order, [&](cdx::Tag& t) { return t.Next({from.key, from.recno}); });
    }
    std::optional<IndexPos> Prior(int order, const IndexPos& from) override {
        return Pos(order, [&](cdx::Tag& t) { return t.Prior({from.key, from.recno}); });
    }
    std::optional<IndexPos> Seek(int order, const std::string& bytes, bool& found) override {
        const Order& o = At(order);
        return Translate(o.bag->bag->Path(), [&]() -> std::optional<IndexPos> {
            cdx::SeekResult r = o.tag->Seek(bytes);
            found = r.found;
            return Checked(o, std::move(r.entry));
        });
    }
    std::optional<IndexPos> SeekLast(int order, const std::string& bytes) override {
        return Pos(order, [&](cdx::Tag& t) { return t.SeekLast(bytes); });
    }
    std::string SearchKey(int order, const std::string& text, bool exact) override {
        const Order& o = At(order);
        return Translate(text, [&] {
            std::string key = o.keys->SearchKey(text, ExprSettings());
            const cdx::TagDef& d = o.tag->Def();
            if (exact && d.keyType == 'C' && static_cast<int>(key.size()) < d.keyLength)
                key.resize(static_cast<std::size_t>(d.keyLength), ' ');
            return key;
        });
    }
    void Insert(int order, const std::string& key, std::uint32_t recno) override {
        const Order& o = At(order);
        Translate(o.bag->bag->Path(), [&] { o.tag->Insert(key, recno); });
    }
    bool Contains(int order, const std::string& key, std::uint32_t recno) override {
        const Order& o = At(order);
        return Translate(o.bag->bag->Path(), [&] { return o.tag->Contains(key, recno); });
    }
    std::optional<std::uint32_t> Holder(int order, const std::string& key) override {
        const Order& o = At(order);
        return Translate(o.bag->bag->Path(), [&]() -> std::optional<std::uint32_t> {
            std::string k = key.substr(0, static_cast<std::size_t>(o.tag->Def().keyLength));
            k.resize(static_cast<std::size_t>(o.tag->Def().keyLength),
                     o.tag->Def().keyType == 'C' ? ' ' : '\0');
            const cdx::SeekResult r = o.tag->Seek(k);
            if (r.entry && r.entry->key == k)
                return r.entry->recno;
            return std::nullopt;
        });
    }
    bool Unique(int order) const override { return Listed(order).tag->Def().unique; }
    bool Remove(int order, const std::string& key, std::uint32_t recno) override {
        const Order& o = At(order);
        return Translate(o.bag->bag->Path(), [&] {
            if (o.tag->Remove(key, recno))
                return true;
            if (o.tag->Def().unique) // its other rows are rightly absent
                return false;
            std::optional<cdx::Entry> stale = o.tag->FindRecord(recno);
            return stale && o.tag->Remove(stale->key, recno);
        });
    }
    bool NullFlagged(int order) const override {
        const Order& o = Listed(order);
        return o.keys && o.keys->NullFlagged();
    }
    void RebuildAll() override {
        for (auto& b : bags_)
            Translate(b->bag->Path(), [&] { RebuildBag(*b); });
    }
    void RepairAll() override {
        for (auto& b : bags_)
            Translate(b->bag->Path(), [&] {
                if (b->bag->Tags().empty())
                    return;
                auto keys = KeysOf(*b);
                b->bag->RebuildTrees(area_.Dbf().Count(), Source(keys));
            });
    }
    void KeepPages(bool on) override {
        keepPages_ = on;
        for (auto& b : bags_)
            b->bag->KeepPages(on);
    }
    void DropPages() override {
        for (auto& b : bags_)
            b->bag->DropPages();
    }
    void OnStructuralChange(std::function<void()> hook) override {
        structural_ = std::move(hook);
        for (auto& b : bags_)
            b->bag->OnStructuralChange(structural_);
    }

private:
    struct BagEntry {
        std::unique_ptr<cdx::Bag> bag;
    };
    struct Order {
        BagEntry* bag = nullptr;
        cdx::Tag* tag = nullptr;
        std::shared_ptr<cdx::TagKeys> keys; // null when the key does not compile
        std::string unusable;
    };

    const Order& Listed(int order) const {
        if (order < 1 || order > Count())
            throw Error(XB_ERR_INDEX, "No order " + std::to_string(order));
        return orders_[static_cast<std::size_t>(order - 1)];
    }
    // An order whose keys can be computed.
    const Order& At(int order) const {
        const Order& o = Listed(order);
        if (!o.keys)
            throw Error(XB_ERR_EXPRESSION, o.unusable);
        return o;
    }

public:
    std::string Unusable(int order) const override { return Listed(order).unusable; }

private:
    int FirstOrderOf(std::size_t bagIndex) const {
        for (std::size_t i = 0; i < orders_.size(); ++i)
            if (orders_[i].bag == bags_[bagIndex].get())
                return static_cast<int>(i) + 1;
        return 0;
    }

    // Orders follow the bags in opening order, tags in creation order.
    void Reorder() {
        std::vector<Order> next;
        for (auto& b : bags_)
            for (auto& t : b->bag->Tags()) {
                Order o;
                o.bag = b.get();
                o.tag = t.get();
                for (auto& old : orders_)
                    if (old.tag == t.get())
                        o.keys = old.keys;
                if (!o.keys) {
                    // A tag of another program may name what this table lacks;
                    // the table still opens, and the tag refuses use.
                    try {
                        o.keys = std::make_shared<cdx::TagKeys>(t->Def(), schema_);
                    } catch (const expr::ExprError& e) {
                        o.unusable = "Tag " + t->Name() + " of " + b->bag->Path() +
                                     " cannot be used: key \"" + t->Def().keyExpr +
                                     "\": " + e.Reason();
                    }
                }
                next.push_back(std::move(o));
            }
        orders_ = std::move(next);
    }

    std::vector<std::shared_ptr<cdx::TagKeys>> KeysOf(BagEntry& entry) {
        std::vector<std::shared_ptr<cdx::TagKeys>> keys;
        for (auto& t : entry.bag->Tags())
            keys.push_back(
                std::make_shared<cdx::TagKeys>(t->Def(), schema_)); // throws when unusable
        return keys;
    }
    // Each record's keys, read from the table.
    cdx::KeySource Source(const std::vector<std::shared_ptr<cdx::TagKeys>>& keys) {
        return [this, &keys](std::uint32_t recno, std::vector<std::optional<std::string>>& out,
                             bool& live) {
            std::string record;
            area_.Dbf().ReadRecord(recno, record);
            live = record[0] != '*';
            RecordView view(area_, record, recno);
            for (std::size_t i = 0; i < keys.size() && i < out.size(); ++i)
                out[i] = keys[i]->KeyFor(view);
        };
    }

    void RebuildBag(BagEntry& entry) {
        auto keys = KeysOf(entry);
        try {
            entry.bag->Rebuild(area_.Dbf().Count(), Source(keys));
        } catch (...) {
            Renumber();
            throw;
        }
        orders_.clear(); // tag objects may have been replaced
        Reorder();
    }

    // After a failed change of a bag its tag objects may be gone or new:
    // the orders are made again from what the bags hold, so no order points
    // at a tag that is gone. The first failure is the one reported.
    void Renumber() noexcept {
        try {
            orders_.clear();
            Reorder();
        } catch (...) {
            orders_.clear();
        }
    }

    // An entry must name a record of the table. Another user's append puts
    // its record and count down before its keys, so a count read before the
    // entry is read again first.
    std::optional<IndexPos> Checked(const Order& o, std::optional<cdx::Entry>&& e) {
        if (!e)
            return std::nullopt;
        if (e->recno > area_.Dbf().Count() && !area_.Exclusive())
            area_.Dbf().RefreshCount();
        if (e->recno == 0 || e->recno > area_.Dbf().Count())
            ThrowCorrupt(o.bag->bag->Path(), "tag " + o.tag->Name(),
                         "entry points to record " + std::to_string(e->recno) +
                             " past the end of the table (" + std::to_string(area_.Dbf().Count()) +
                             " records)");
        return IndexPos{std::move(e->key), e->recno};
    }

    template <class F> std::optional<IndexPos> Pos(int order, F&& f) {
        const Order& o = At(order);
        return Translate(o.bag->bag->Path(),
                         [&]() -> std::optional<IndexPos> { return Checked(o, f(*o.tag)); });
    }

    WorkArea& area_;
    SchemaView schema_;
    std::vector<std::unique_ptr<BagEntry>> bags_;
    std::vector<Order> orders_;
    bool keepPages_ = false;
    std::function<void()> structural_;
};

} // namespace

std::unique_ptr<CompiledExpr> CompileExpr(WorkArea& area, const std::string& text) {
    return Translate(text, [&] {
        SchemaView schema(area);
        return std::unique_ptr<CompiledExpr>(
            std::make_unique<Compiled>(expr::Expression::Compile(text, schema), text));
    });
}

std::unique_ptr<IndexSet> MakeIndexSet(WorkArea& area) {
    return std::make_unique<CdxIndexes>(area);
}

} // namespace xbase
