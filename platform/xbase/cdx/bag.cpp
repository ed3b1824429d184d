// The bag: tag directory, tag creation and deletion, rebuilding, and the
// per-tag operations over the B-tree.
#include "platform/xbase/cdx/format_p.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace xbase::cdx {

using namespace detail;

namespace {

char PadOf(char keyType) {
    return keyType == 'C' ? ' ' : '\0';
}

std::string UpperName(std::string_view name) {
    std::string r(name);
    for (auto& c : r)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

std::string DirectoryKey(const std::string& name) {
    std::string k = name.substr(0, kNameLength);
    k.resize(kNameLength, ' ');
    return k;
}

Tree Directory(const PageFile& f, int keyLength) {
    return Tree(f, 0, keyLength, ' ', false);
}

std::uint8_t OptionsOf(const TagDef& d) {
    return static_cast<std::uint8_t>(kOptCompact | kOptCompound | (d.unique ? kOptUnique : 0) |
                                     (d.forExpr.empty() ? 0 : kOptFor));
}

std::string NormalKey(const TagDef& d, std::string_view key) {
    std::string k(key.substr(0, static_cast<std::size_t>(d.keyLength)));
    k.resize(static_cast<std::size_t>(d.keyLength), PadOf(d.keyType));
    return k;
}

// The definition as the file keeps it (name in upper case); throws when it
// cannot be kept.
TagDef Checked(const TagDef& def) {
    TagDef d = def;
    d.name = UpperName(d.name);
    bool nameOk = !d.name.empty() && d.name.size() <= kNameLength &&
                  !std::isdigit(static_cast<unsigned char>(d.name[0]));
    for (char c : d.name)
        nameOk = nameOk && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!nameOk)
        throw CdxError("invalid tag name \"" + def.name + "\"");
    if (d.keyLength < 1 || d.keyLength > kMaxKeyLength)
        throw CdxError("key length " + std::to_string(d.keyLength) + " of tag " + d.name +
                       " is out of range 1 to 240");
    if (d.keyExpr.size() + d.forExpr.size() > 508)
        throw CdxError("expressions of tag " + d.name + " are too long");
    return d;
}

Header DirectoryHeader(std::uint32_t root) {
    Header h;
    h.root = root;
    h.keyLength = kNameLength;
    h.options = kOptCompact | kOptCompound | kOptDirectory;
    return h;
}

} // namespace

// ---- Tag ------------------------------------------------------------------

Tag::Tag(Bag& bag, TagDef def, std::uint32_t header)
    : bag_(bag), def_(std::move(def)), header_(header), cursor_(std::make_unique<LeafCursor>()) {}

Tag::~Tag() = default;

std::string Tag::Normal(std::string_view key) const {
    return NormalKey(def_, key);
}

#define QUELTA_TREE()                                                                              \
    Tree tree(*bag_.file_, header_, def_.keyLength, PadOf(def_.keyType), def_.unique)

std::optional<Entry> Tag::First() const {
    QUELTA_TREE();
    std::uint32_t leafAt = kNone;
    auto e = tree.LowerBound("", 0, &leafAt);
    tree.Aim(*cursor_, leafAt);
    return e;
}

std::optional<Entry> Tag::Last() const {
    QUELTA_TREE();
    return tree.Last(cursor_.get());
}

// A damaged tree could send a walk backwards; every step must move on, so
// a caller's loop always ends.
std::optional<Entry> Tag::Next(const Entry& from) const {
    QUELTA_TREE();
    auto e = from.recno == 0xFFFFFFFFU ? tree.LowerBound(from.key + '\0', 0)
                                       : tree.After(from, *cursor_);
    if (e && CompareKey(e->key, e->recno, from.key, from.recno) <= 0)
        throw CorruptError(bag_.path_, header_, "keys out of order in tag " + def_.name);
    return e;
}

std::optional<Entry> Tag::Prior(const Entry& from) const {
    QUELTA_TREE();
    auto e = tree.Before(from, *cursor_);
    if (e && CompareKey(e->key, e->recno, from.key, from.recno) >= 0)
        throw CorruptError(bag_.path_, header_, "keys out of order in tag " + def_.name);
    return e;
}

SeekResult Tag::Seek(std::string_view search) const {
    QUELTA_TREE();
    std::string s(search.substr(0, static_cast<std::size_t>(def_.keyLength)));
    SeekResult r;
    std::uint32_t leafAt = kNone;
    r.entry = tree.LowerBound(s, 0, &leafAt);
    tree.Aim(*cursor_, leafAt);
    r.found = r.entry && r.entry->key.compare(0, s.size(), s) == 0;
    return r;
}

std::optional<Entry> Tag::SeekLast(std::string_view search) const {
    QUELTA_TREE();
    // Every key that does not sort after the search key, cut to its length,
    // lies before the search key raised by one in its last byte (0xFF bytes
    // carry over); none does when it is all 0xFF: then the last entry.
    std::string past(search.substr(0, static_cast<std::size_t>(def_.keyLength)));
    while (!past.empty() && static_cast<unsigned char>(past.back()) == 0xFF)
        past.pop_back();
    if (past.empty())
        return tree.Last(cursor_.get());
    past.back() = static_cast<char>(static_cast<unsigned char>(past.back()) + 1);
    return tree.Before(past, 0, cursor_.get());
}

bool Tag::Contains(std::string_view key, std::uint32_t recno) const {
    QUELTA_TREE();
    std::string k = Normal(key);
    auto e = tree.LowerBound(k, recno);
    return e && e->key == k && e->recno == recno;
}

std::optional<Entry> Tag::FindRecord(std::uint32_t recno) const {
    QUELTA_TREE();
    std::optional<Entry> found;
    tree.Walk(
        [&](const Entry& e) {
            if (e.recno != recno)
                return true;
            found = e;
            return false;
        },
        false);
    return found;
}

bool Tag::Insert(std::string_view key, std::uint32_t recno) {
    QUELTA_TREE();
    return tree.Insert(Normal(key), recno);
}

bool Tag::Remove(std::string_view key, std::uint32_t recno) {
    QUELTA_TREE();
    return tree.Remove(Normal(key), recno);
}

std::vector<Entry> Tag::All() const {
    QUELTA_TREE();
    std::vector<Entry> all;
    tree.Walk(
        [&](const Entry& e) {
            all.push_back(e);
            return true;
        },
        false);
    return all;
}

void Tag::Check() const {
    QUELTA_TREE();
    tree.Walk([](const Entry&) { return true; }, true);
}

#undef QUELTA_TREE

// ---- Bag ------------------------------------------------------------------

Bag::Bag(std::string path, int fd, bool writable, KeyTypeOf keyTypeOf)
    : path_(std::move(path)), fd_(fd), file_(std::make_unique<PageFile>(fd, path_, writable)),
      keyTypeOf_(std::move(keyTypeOf)) {}

Bag::~Bag() {
    try {
        file_->Flush();
    } catch (const CdxError&) {
        // nothing to report to; callers that care flush first
    }
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<Bag> Bag::Open(const std::string& path, OpenMode mode, KeyTypeOf keyTypeOf) {
    bool writable = mode == OpenMode::ReadWrite;
    int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        throw IoError("cannot open index " + path + ": " + std::strerror(errno));
    std::unique_ptr<Bag> bag(new Bag(path, fd, writable, std::move(keyTypeOf)));
    bag->LoadDirectory();
    return bag;
}

std::unique_ptr<Bag> Bag::Create(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw IoError("cannot create index " + path + ": " + std::strerror(errno));
    std::unique_ptr<Bag> bag(new Bag(path, fd, true, {}));
    std::string image = EncodeHeader(DirectoryHeader(0));
    std::uint32_t root = BuildTree(image, 0, {}, kNameLength, ' ');
    image.replace(0, 16, EncodeHeader(DirectoryHeader(root)).substr(0, 16));
    bag->file_->Write(0, image);
    return bag;
}

void Bag::LoadDirectory() {
    tags_.clear();
    Header dir = DecodeHeader(*file_, 0);
    if (dir.keyLength > kNameLength * 4)
        file_->Corrupt(12, "tag directory with key length " + std::to_string(dir.keyLength));
    std::vector<std::pair<std::string, std::uint32_t>> names;
    Directory(*file_, dir.keyLength)
        .Walk(
            [&](const Entry& e) {
                std::string name = e.key;
                while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
                    name.pop_back();
                names.emplace_back(UpperName(name), e.recno);
                return true;
            },
            false);
    std::sort(names.begin(), names.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::uint32_t at = names[i].second;
        if (at < kHeaderSize || (i > 0 && names[i - 1].second == at))
            file_->Corrupt(at, "tag " + names[i].first + " has a bad header pointer");
        Header h = DecodeHeader(*file_, at);
        TagDef d;
        d.name = names[i].first;
        d.keyExpr = h.keyExpr;
        d.forExpr = h.forExpr;
        d.unique = (h.options & kOptUnique) != 0;
        d.descending = h.descending;
        d.keyLength = h.keyLength;
        d.keyType = keyTypeOf_ ? keyTypeOf_(h.keyExpr) : 'C';
        tags_.push_back(std::unique_ptr<Tag>(new Tag(*this, std::move(d), at)));
    }
}

void Bag::SetCaching(bool on) {
    file_->SetCaching(on);
}

void Bag::Flush() {
    file_->Flush();
}

void Bag::KeepPages(bool on) {
    file_->SetKeepReads(on);
}

void Bag::DropPages() {
    file_->DropKept();
}

void Bag::OnStructuralChange(std::function<void()> hook) {
    file_->SetStructuralHook(std::move(hook));
}

void Bag::Reload() {
    LoadDirectory();
}

Tag* Bag::FindTag(std::string_view name) const {
    std::string upper = UpperName(name);
    for (const auto& t : tags_)
        if (t->Name() == upper)
            return t.get();
    return nullptr;
}

Tag& Bag::CreateTag(const TagDef& def) {
    file_->RequireWritable();
    TagDef d = Checked(def);
    DeleteTag(d.name);
    std::uint32_t at = file_->Grow(kHeaderSize);
    std::string image;
    std::uint32_t base = file_->Grow(kPage);
    std::uint32_t root = BuildTree(image, base, {}, d.keyLength, PadOf(d.keyType));
    file_->Write(base, image);
    Header h;
    h.root = root;
    h.keyLength = d.keyLength;
    h.options = OptionsOf(d);
    h.descending = d.descending;
    h.keyExpr = d.keyExpr;
    h.forExpr = d.forExpr;
    file_->Write(at, EncodeHeader(h));
    Header dir = DecodeHeader(*file_, 0);
    Directory(*file_, dir.keyLength).Insert(DirectoryKey(d.name), at);
    tags_.push_back(std::unique_ptr<Tag>(new Tag(*this, std::move(d), at)));
    return *tags_.back();
}

Tag& Bag::BuildTag(const TagDef& def, std::uint32_t recordCount, const KeySource& keys) {
    file_->RequireWritable();
    const TagDef d = Checked(def);
    std::vector<TagDef> defs;
    for (const auto& t : tags_)
        if (t->Name() != d.name)
            defs.push_back(t->def_);
    defs.push_back(d);
    Rewrite(defs, recordCount, keys);
    return *tags_.back();
}

bool Bag::DeleteTag(std::string_view name) {
    file_->RequireWritable();
    Tag* t = FindTag(name);
    if (!t)
        return false;
    Header dir = DecodeHeader(*file_, 0);
    Directory(*file_, dir.keyLength).Remove(DirectoryKey(t->Name()), t->header_);
    tags_.erase(
        std::find_if(tags_.begin(), tags_.end(), [&](const auto& p) { return p.get() == t; }));
    return true;
}

std::vector<std::vector<Item>> Bag::SortedItems(const std::vector<TagDef>& defs,
                                                std::uint32_t recordCount,
                                                const KeySource& keys) const {
    std::vector<std::vector<Item>> items(defs.size());
    std::vector<bool> live(static_cast<std::size_t>(recordCount) + 1, true);
    std::vector<std::optional<std::string>> row;
    for (std::uint32_t recno = 1; recno <= recordCount; ++recno) {
        row.assign(defs.size(), std::nullopt);
        bool isLive = true;
        keys(recno, row, isLive);
        live[recno] = isLive;
        for (std::size_t i = 0; i < defs.size() && i < row.size(); ++i) {
            if (!row[i])
                continue;
            Item it;
            it.key = NormalKey(defs[i], *row[i]);
            it.recno = recno;
            items[i].push_back(std::move(it));
        }
    }
    for (std::size_t i = 0; i < defs.size(); ++i) {
        auto& v = items[i];
        std::stable_sort(v.begin(), v.end(),
                         [](const Item& a, const Item& b) { return a.key < b.key; });
        if (!defs[i].unique)
            continue;
        // One entry a key: the first live record's, else the first record's,
        // so a live row is found through the tag beside deleted ones.
        std::vector<Item> kept;
        for (std::size_t from = 0; from < v.size();) {
            std::size_t to = from;
            std::size_t pick = v.size();
            for (; to < v.size() && v[to].key == v[from].key; ++to)
                if (pick == v.size() && live[v[to].recno])
                    pick = to;
            kept.push_back(std::move(v[pick == v.size() ? from : pick]));
            from = to;
        }
        v = std::move(kept);
    }
    return items;
}

void Bag::RebuildTrees(std::uint32_t recordCount, const KeySource& keys) {
    file_->RequireWritable();
    std::vector<TagDef> defs;
    for (const auto& t : tags_)
        defs.push_back(t->def_);
    const std::vector<std::vector<Item>> items = SortedItems(defs, recordCount, keys);
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        Tag& t = *tags_[i];
        std::string image;
        const std::uint32_t root =
            BuildTree(image, 0, items[i], t.def_.keyLength, PadOf(t.def_.keyType));
        Tree(*file_, t.header_, t.def_.keyLength, PadOf(t.def_.keyType), t.def_.unique)
            .Replace(std::move(image), root);
    }
}

void Bag::Rebuild(std::uint32_t recordCount, const KeySource& keys) {
    std::vector<TagDef> defs;
    for (const auto& t : tags_)
        defs.push_back(t->def_);
    Rewrite(defs, recordCount, keys);
}

void Bag::Rewrite(const std::vector<TagDef>& defs, std::uint32_t recordCount,
                  const KeySource& keys) {
    file_->RequireWritable();
    // Each tag's tree is built once, from offset 0, and moved to where each
    // layout puts it.
    std::vector<std::uint32_t> roots;
    std::vector<std::string> trees(defs.size());
    {
        const std::vector<std::vector<Item>> items = SortedItems(defs, recordCount, keys);
        for (std::size_t i = 0; i < defs.size(); ++i)
            roots.push_back(
                BuildTree(trees[i], 0, items[i], defs[i].keyLength, PadOf(defs[i].keyType)));
    }
    // The index laid out from base on: each tag's header and tree, then the
    // directory's tree (whose header is the file's, at 0).
    struct Layout {
        std::uint32_t base = 0;
        std::string image;
        std::uint32_t dirRoot = 0;
        std::vector<std::uint32_t> headers;
    };
    auto layOut = [&](std::uint32_t base) {
        Layout l;
        l.base = base;
        std::vector<Item> names;
        for (std::size_t i = 0; i < defs.size(); ++i) {
            const TagDef& d = defs[i];
            const auto at = base + static_cast<std::uint32_t>(l.image.size());
            l.image.append(kHeaderSize, '\0');
            const auto treeAt = at + kHeaderSize;
            std::string tree = trees[i];
            MoveTree(tree, 0, treeAt, d.keyLength);
            l.image += tree;
            Header h;
            h.root = roots[i] + treeAt;
            h.keyLength = d.keyLength;
            h.options = OptionsOf(d);
            h.descending = d.descending;
            h.keyExpr = d.keyExpr;
            h.forExpr = d.forExpr;
            l.image.replace(at - base, kHeaderSize, EncodeHeader(h));
            l.headers.push_back(at);
            Item name;
            name.key = DirectoryKey(d.name);
            name.recno = at;
            names.push_back(std::move(name));
        }
        std::sort(names.begin(), names.end(),
                  [](const Item& a, const Item& b) { return a.key < b.key; });
        l.dirRoot = BuildTree(l.image, base, names, kNameLength, ' ');
        return l;
    };
    // One write of the file's header turns to a layout written before it;
    // the tag objects follow (kept for the names that stay).
    auto switchTo = [&](const Layout& l) {
        file_->Flush();
        file_->Write(0, EncodeHeader(DirectoryHeader(l.dirRoot)));
        file_->Flush();
        std::vector<std::unique_ptr<Tag>> next;
        for (std::size_t i = 0; i < defs.size(); ++i) {
            auto same = std::find_if(tags_.begin(), tags_.end(),
                                     [&](const auto& t) { return t && t->Name() == defs[i].name; });
            if (same != tags_.end()) {
                (*same)->def_ = defs[i];
                (*same)->header_ = l.headers[i];
                next.push_back(std::move(*same));
            } else {
                next.push_back(std::unique_ptr<Tag>(new Tag(*this, defs[i], l.headers[i])));
            }
        }
        tags_ = std::move(next);
    };
    // The new index goes past the end first, so the file holds a whole index
    // at every moment: a writer killed in a pack, a zap or a tag's build
    // leaves the old index or the new one. Then, where it fits before that
    // copy, the same again from the start, and the file is cut after it.
    const auto end = static_cast<std::uint32_t>((file_->Size() + kPage - 1) / kPage * kPage);
    const Layout high = layOut(std::max(end, kHeaderSize));
    file_->Write(high.base, high.image);
    switchTo(high);
    const Layout low = layOut(kHeaderSize);
    if (kHeaderSize + low.image.size() > high.base)
        return; // compacted by a later rebuild
    file_->Write(low.base, low.image);
    switchTo(low);
    file_->Truncate(kHeaderSize + low.image.size());
}

} // namespace xbase::cdx
