// B-tree operations on one tag: descent, insert and remove with splits and
// freed pages, and the walk along the leaf chain.
#include "platform/xbase/cdx/format_p.h"

#include <algorithm>
#include <unordered_set>

namespace xbase::cdx::detail {

namespace {

constexpr std::size_t kMaxDepth = 64; // far above any real tree; stops pointer loops

Entry ToEntry(const Node& n, std::size_t i) {
    return Entry{std::string(n.Key(i)), n.recnos[i]};
}

// First entry at or after (key, recno).
std::size_t LowerIndex(const Node& n, std::string_view key, std::uint32_t recno) {
    std::size_t lo = 0, hi = n.Count();
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (CompareKey(key, recno, n.Key(mid), n.recnos[mid]) > 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace

// Only the first 16 bytes change after creation; the rest is not read here.
Header Tree::ReadHeader() const {
    std::string b = f_.Read(header_, 16, "tag header");
    Header h;
    h.root = LoadLe(b, 0, 4);
    h.freeList = LoadLe(b, 4, 4);
    h.counter = LoadLe(b, 8, 4);
    h.keyLength = static_cast<int>(LoadLe(b, 12, 2));
    h.options = static_cast<std::uint8_t>(b[14]);
    if (h.keyLength != keyLength_)
        f_.Corrupt(header_ + 12, "key length changed under an open tag");
    return h;
}

Node Tree::ReadNode(std::uint32_t offset) const {
    return DecodeNode(f_, offset, keyLength_, pad_);
}

void Tree::WriteNode(const Node& n) const {
    std::string page = EncodeNode(n, pad_);
    if (page.empty())
        f_.Corrupt(n.offset, "node overflow while writing"); // callers split first
    f_.Write(n.offset, page);
}

void Tree::WriteHeader(Header& h) const {
    ++h.counter;
    std::string b(16, '\0');
    for (int i = 0; i < 4; ++i) {
        b[static_cast<std::size_t>(i)] = static_cast<char>((h.root >> (8 * i)) & 0xFF);
        b[static_cast<std::size_t>(4 + i)] = static_cast<char>((h.freeList >> (8 * i)) & 0xFF);
        b[static_cast<std::size_t>(8 + i)] = static_cast<char>((h.counter >> (8 * i)) & 0xFF);
    }
    b[12] = static_cast<char>(h.keyLength & 0xFF);
    b[13] = static_cast<char>((h.keyLength >> 8) & 0xFF);
    b[14] = static_cast<char>(h.options);
    b[15] = 1;
    f_.Write(header_, b);
}

// The path from the root to the leaf holding the first entry at or after
// (key, recno); each step's index is the child taken (leaf: the position).
std::vector<Tree::Step> Tree::Descend(const Header& h, std::string_view key,
                                      std::uint32_t recno) const {
    std::vector<Step> path;
    std::uint32_t at = h.root;
    for (;;) {
        if (path.size() >= kMaxDepth)
            f_.Corrupt(at, "index nodes form a loop");
        Step s;
        s.node = ReadNode(at);
        s.index = LowerIndex(s.node, key, recno);
        if (s.node.leaf) {
            path.push_back(std::move(s));
            return path;
        }
        if (s.index == s.node.Count())
            s.index = s.node.Count() - 1; // beyond every key: the last child
        at = s.node.children[s.index];
        path.push_back(std::move(s));
    }
}

// Straight on the pages, without decoding whole nodes: seeks and walks
// are the most frequent calls.
std::optional<Entry> Tree::LowerBound(std::string_view key, std::uint32_t recno,
                                      std::uint32_t* leafAt) const {
    Header h = ReadHeader();
    std::string scratch;
    auto len = static_cast<std::size_t>(keyLength_);
    std::uint32_t at = h.root;
    for (std::size_t depth = 0;; ++depth) {
        if (depth >= kMaxDepth)
            f_.Corrupt(at, "index nodes form a loop");
        if (at % kPage != 0 || at < kHeaderSize)
            f_.Corrupt(at, "node pointer not on a page boundary");
        std::string_view page = f_.View(at, kPage, "index node", scratch);
        std::uint32_t attr = LoadLe(page, 0, 2);
        std::size_t count = LoadLe(page, 2, 2);
        if ((attr & kAttrLeaf) == 0) {
            if (count == 0 || count * (len + 8) > kInteriorSpace)
                f_.Corrupt(at, "interior node with " + std::to_string(count) + " keys");
            std::size_t lo = 0, hi = count;
            while (lo < hi) {
                std::size_t mid = (lo + hi) / 2;
                std::size_t e = 12 + mid * (len + 8);
                if (CompareKey(key, recno, page.substr(e, len), LoadBe32(page, e + len)) > 0)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            if (lo == count)
                lo = count - 1; // beyond every key: the last child
            at = LoadBe32(page, 12 + lo * (len + 8) + len + 4);
            continue;
        }
        LeafReader r(f_, at, page, len, pad_);
        while (r.Next())
            if (CompareKey(key, recno, r.Key(), r.Recno()) <= 0) {
                if (leafAt)
                    *leafAt = at;
                return Entry{std::string(r.Key()), r.Recno()};
            }
        std::uint32_t right = LoadLe(page, 8, 4);
        if (right == kNone || right == 0)
            return std::nullopt;
        at = right; // past this leaf's last key: on along the leaf chain
    }
}

void Tree::Aim(LeafCursor& cursor, std::uint32_t leafAt) const {
    cursor.generation = f_.Stable() ? f_.Generation() : ~0ULL;
    cursor.leafAt = leafAt;
    cursor.decoded = false;
    cursor.at = 0;
}

// Where from stands in the cursor's leaf, while the pages are stable and
// the leaf still holds it.
std::optional<std::size_t> Tree::InLeaf(const Entry& from, LeafCursor& cursor) const {
    if (!f_.Stable() || cursor.generation != f_.Generation() || cursor.leafAt == kNone)
        return std::nullopt;
    if (!cursor.decoded) {
        cursor.leaf = ReadNode(cursor.leafAt);
        cursor.decoded = cursor.leaf.leaf;
    }
    const Node& n = cursor.leaf;
    const auto holds = [&](std::size_t i) {
        return i < n.Count() && n.recnos[i] == from.recno && n.Key(i) == from.key;
    };
    // Mostly the entry the last step returned; else searched for.
    std::size_t i = n.Count();
    if (cursor.decoded)
        i = holds(cursor.at) ? cursor.at : LowerIndex(n, from.key, from.recno);
    if (!holds(i))
        return std::nullopt;
    return i;
}

std::optional<Entry> Tree::After(const Entry& from, LeafCursor& cursor) const {
    if (const auto at = InLeaf(from, cursor)) {
        const Node& n = cursor.leaf;
        const std::size_t i = *at;
        if (i + 1 < n.Count()) {
            cursor.at = i + 1;
            return ToEntry(n, i + 1);
        }
        if (n.right == kNone || n.right == 0)
            return std::nullopt;
        Node right = ReadNode(n.right);
        if (right.leaf && !right.Empty()) {
            cursor.leafAt = right.offset;
            cursor.leaf = std::move(right);
            cursor.at = 0;
            return ToEntry(cursor.leaf, 0);
        }
    }
    std::uint32_t leafAt = kNone;
    auto e = LowerBound(from.key, from.recno + 1, &leafAt);
    Aim(cursor, leafAt);
    return e;
}

// The cursor now stands on entry i of a decoded leaf.
void Tree::Hold(LeafCursor& cursor, Node&& leaf, std::size_t i) const {
    Aim(cursor, leaf.offset);
    cursor.leaf = std::move(leaf);
    cursor.decoded = cursor.leaf.leaf;
    cursor.at = i;
}

std::optional<Entry> Tree::Before(const Entry& from, LeafCursor& cursor) const {
    if (const auto at = InLeaf(from, cursor)) {
        const Node& n = cursor.leaf;
        const std::size_t i = *at;
        if (i > 0) {
            cursor.at = i - 1;
            return ToEntry(n, i - 1);
        }
        if (n.left == kNone || n.left == 0)
            return std::nullopt;
        Node left = ReadNode(n.left);
        if (left.leaf && !left.Empty() && left.right == n.offset) {
            const std::size_t last = left.Count() - 1;
            Hold(cursor, std::move(left), last);
            return ToEntry(cursor.leaf, last);
        }
    }
    return Before(from.key, from.recno, &cursor);
}

std::optional<Entry> Tree::Before(std::string_view key, std::uint32_t recno,
                                  LeafCursor* cursor) const {
    Header h = ReadHeader();
    auto path = Descend(h, key, recno);
    Node& leaf = path.back().node;
    std::size_t i = path.back().index;
    std::unordered_set<std::uint32_t> seen;
    while (i == 0) {
        if (leaf.left == kNone || leaf.left == 0)
            return std::nullopt;
        if (!seen.insert(leaf.offset).second || seen.size() > kMaxDepth)
            f_.Corrupt(leaf.offset, "sibling links form a loop");
        leaf = ReadNode(leaf.left);
        i = LowerIndex(leaf, key, recno);
    }
    Entry e = ToEntry(leaf, i - 1);
    if (cursor)
        Hold(*cursor, std::move(leaf), i - 1);
    return e;
}

std::optional<Entry> Tree::Last(LeafCursor* cursor) const {
    Header h = ReadHeader();
    std::uint32_t at = h.root;
    for (std::size_t depth = 0;; ++depth) {
        if (depth >= kMaxDepth)
            f_.Corrupt(at, "index nodes form a loop");
        Node n = ReadNode(at);
        if (n.Empty())
            return std::nullopt;
        if (n.leaf) {
            const std::size_t last = n.Count() - 1;
            Entry e = ToEntry(n, last);
            if (cursor)
                Hold(*cursor, std::move(n), last);
            return e;
        }
        at = n.children.back();
    }
}

std::uint32_t Tree::Allocate(Header& h) const {
    if (h.freeList != 0 && h.freeList != kNone) {
        std::uint32_t page = h.freeList;
        if (page % kPage == 0 && page >= kHeaderSize && page + kPage <= f_.Size()) {
            std::string b = f_.Read(page, 12, "free node");
            if (b.compare(4, 8, kFreeMark) == 0) {
                std::uint32_t next = LoadLe(b, 0, 4);
                h.freeList = next == page ? 0 : next;
                return page;
            }
        }
        h.freeList = 0; // an unusable list is dropped, the file just grows
    }
    return f_.Grow(kPage);
}

void Tree::Release(Header& h, std::uint32_t offset) const {
    std::string b(kPage, '\0');
    std::uint32_t next = h.freeList == kNone ? 0 : h.freeList;
    for (int i = 0; i < 4; ++i)
        b[static_cast<std::size_t>(i)] = static_cast<char>((next >> (8 * i)) & 0xFF);
    b.replace(4, kFreeMark.size(), kFreeMark);
    f_.Write(offset, b);
    h.freeList = offset;
}

std::vector<std::uint32_t> Tree::TakeFree(Header& h, std::size_t n) const {
    std::vector<std::uint32_t> taken;
    std::unordered_set<std::uint32_t> seen;
    const std::uint64_t size = f_.Size();
    while (taken.size() < n && h.freeList != 0 && h.freeList != kNone) {
        const std::uint32_t page = h.freeList;
        if (page % kPage != 0 || page < kHeaderSize || page + kPage > size ||
            !seen.insert(page).second) {
            h.freeList = 0; // an unusable list is dropped
            break;
        }
        std::string b = f_.Read(page, 12, "free node");
        if (b.compare(4, 8, kFreeMark) != 0) {
            h.freeList = 0;
            break;
        }
        taken.push_back(page);
        h.freeList = LoadLe(b, 0, 4);
    }
    return taken;
}

std::vector<std::uint32_t> Tree::NodePages(std::uint32_t root) const {
    std::vector<std::uint32_t> pages{root};
    std::unordered_set<std::uint32_t> seen{root};
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i >= 0x800000)
            f_.Corrupt(pages[i], "index nodes form a loop");
        Node n = ReadNode(pages[i]);
        if (n.leaf)
            continue;
        for (std::uint32_t c : n.children)
            if (seen.insert(c).second)
                pages.push_back(c);
    }
    return pages;
}

void Tree::Replace(std::string image, std::uint32_t root) {
    f_.RequireWritable();
    Header h = ReadHeader();
    const std::uint32_t oldRoot = h.root;
    const std::size_t count = image.size() / kPage;
    // The pages taken leave the list before anything is written to them.
    std::vector<std::uint32_t> where = TakeFree(h, count);
    std::sort(where.begin(), where.end());
    if (!where.empty())
        WriteHeader(h);
    const auto end = static_cast<std::uint32_t>((f_.Size() + kPage - 1) / kPage * kPage);
    for (std::uint32_t i = 0; where.size() < count; ++i)
        where.push_back(end + i * kPage);
    RelocateTree(
        image, [&](std::uint32_t v) { return where[v / kPage]; }, keyLength_);
    // Pages that follow each other in the file go in one write.
    for (std::size_t i = 0; i < count;) {
        std::size_t j = i + 1;
        while (j < count && where[j] == where[j - 1] + kPage)
            ++j;
        f_.Write(where[i], std::string_view(image).substr(i * kPage, (j - i) * kPage));
        i = j;
    }
    h.root = where[root / kPage];
    WriteHeader(h);
    // The old tree's pages, freed in file order so that the next tree taking
    // them is written in few runs.
    std::vector<std::uint32_t> old = NodePages(oldRoot);
    std::sort(old.begin(), old.end());
    const std::uint32_t rest = h.freeList == kNone ? 0 : h.freeList;
    for (std::size_t i = 0; i < old.size();) {
        std::size_t j = i + 1;
        while (j < old.size() && old[j] == old[j - 1] + kPage)
            ++j;
        std::string run((j - i) * kPage, '\0');
        for (std::size_t k = i; k < j; ++k) {
            const std::uint32_t next = k + 1 < old.size() ? old[k + 1] : rest;
            const std::size_t at = (k - i) * kPage;
            for (std::size_t b = 0; b < 4; ++b)
                run[at + b] = static_cast<char>((next >> (8 * b)) & 0xFF);
            run.replace(at + 4, kFreeMark.size(), kFreeMark);
        }
        f_.Write(old[i], run);
        i = j;
    }
    if (!old.empty()) {
        h.freeList = old.front();
        WriteHeader(h);
    }
}

void Tree::SetSibling(std::uint32_t node, bool left, std::uint32_t value) const {
    if (node == kNone || node == 0)
        return;
    Node n = ReadNode(node);
    (left ? n.left : n.right) = value;
    WriteNode(n);
}

// Writes path[level] back: splits it when it no longer fits one page, and
// keeps the parent's copy of its last key current.
void Tree::Store(Header& h, std::vector<Step>& path, std::size_t level) const {
    Node& n = path[level].node;
    std::string page = EncodeNode(n, pad_);
    if (page.empty()) {
        f_.BeforeStructural();
        // Split where both halves fit, as near the middle as possible.
        std::size_t count = n.Count(), cut = 0;
        for (std::size_t d = 0; d < count && cut == 0; ++d) {
            for (std::size_t c : {count / 2 + d, count / 2 - std::min(d, count / 2)}) {
                if (c > 0 && c < count && Fits(n, 0, c, pad_) && Fits(n, c, count, pad_)) {
                    cut = c;
                    break;
                }
            }
        }
        if (cut == 0)
            f_.Corrupt(n.offset, "key does not fit in a node");
        Node right = n.SplitOff(cut);
        right.offset = Allocate(h);
        right.left = n.offset;
        right.right = n.right;
        SetSibling(n.right, true, right.offset);
        n.right = right.offset;
        if (level == 0) {
            Node root;
            root.leaf = false;
            root.root = true;
            root.len = n.len;
            root.offset = Allocate(h);
            n.root = false;
            right.root = false;
            root.Insert(0, n.Key(n.Count() - 1), n.recnos.back(), n.offset);
            root.Insert(1, right.Key(right.Count() - 1), right.recnos.back(), right.offset);
            WriteNode(n);
            WriteNode(right);
            WriteNode(root);
            h.root = root.offset;
            return;
        }
        WriteNode(n);
        WriteNode(right);
        Step& parent = path[level - 1];
        parent.node.Set(parent.index, n.Key(n.Count() - 1), n.recnos.back());
        parent.node.Insert(parent.index + 1, right.Key(right.Count() - 1), right.recnos.back(),
                           right.offset);
        Store(h, path, level - 1);
        return;
    }
    // It fits: written in place. The parent keeps a copy of the node's last
    // key; a stop between the two writes must leave that copy at or above
    // the node's keys (a copy too high still leads every search right), so
    // a last key that rises is raised in the parent first, one that falls
    // is lowered after.
    if (level == 0 || n.Empty()) {
        f_.Write(n.offset, page);
        return;
    }
    Step& parent = path[level - 1];
    std::string_view last = n.Key(n.Count() - 1);
    const int moved = CompareKey(last, n.recnos.back(), parent.node.Key(parent.index),
                                 parent.node.recnos[parent.index]);
    if (moved > 0) {
        parent.node.Set(parent.index, last, n.recnos.back());
        Store(h, path, level - 1);
    }
    f_.Write(n.offset, page);
    if (moved < 0) {
        parent.node.Set(parent.index, last, n.recnos.back());
        Store(h, path, level - 1);
    }
}

// path[level] has become empty: frees it and drops it from its parent.
void Tree::Unlink(Header& h, std::vector<Step>& path, std::size_t level) const {
    Node& n = path[level].node;
    if (level == 0) {
        n.leaf = true; // an empty tree is one empty root leaf
        n.root = true;
        n.left = n.right = kNone;
        n.children.clear();
        WriteNode(n);
        return;
    }
    f_.BeforeStructural();
    SetSibling(n.left, false, n.right);
    SetSibling(n.right, true, n.left);
    Release(h, n.offset);
    Step& parent = path[level - 1];
    parent.node.Erase(parent.index);
    if (parent.node.Empty()) {
        Unlink(h, path, level - 1);
        return;
    }
    if (parent.index == parent.node.Count())
        --parent.index; // the removed child was the last; the parent's last key changed
    Store(h, path, level - 1);
}

// A root with one child hands the root over to that child.
void Tree::Collapse(Header& h) const {
    for (std::size_t depth = 0; depth < kMaxDepth; ++depth) {
        Node root = ReadNode(h.root);
        if (root.leaf || root.Count() != 1)
            return;
        f_.BeforeStructural();
        Node child = ReadNode(root.children[0]);
        child.root = true;
        child.left = child.right = kNone;
        WriteNode(child);
        Release(h, root.offset);
        h.root = child.offset;
    }
}

bool Tree::Insert(const std::string& given, std::uint32_t recno) {
    f_.RequireWritable();
    std::string key = given;
    key.resize(static_cast<std::size_t>(keyLength_), pad_);
    Header h = ReadHeader();
    // A unique tag looks for the key itself; the leaf found is also where a
    // new key goes (a leaf's last key is at or after the search key, unless
    // the search key is beyond every key).
    auto path = Descend(h, key, unique_ ? 0 : recno);
    Step& leaf = path.back();
    if (leaf.index < leaf.node.Count()) {
        std::string_view there = leaf.node.Key(leaf.index);
        if (unique_ ? there == key : (there == key && leaf.node.recnos[leaf.index] == recno))
            return false;
    }
    leaf.node.Insert(leaf.index, key, recno, 0);
    Store(h, path, path.size() - 1);
    WriteHeader(h);
    return true;
}

bool Tree::Remove(const std::string& given, std::uint32_t recno) {
    f_.RequireWritable();
    std::string key = given;
    key.resize(static_cast<std::size_t>(keyLength_), pad_);
    Header h = ReadHeader();
    auto path = Descend(h, key, recno);
    Step& leaf = path.back();
    if (leaf.index >= leaf.node.Count() || leaf.node.Key(leaf.index) != key ||
        leaf.node.recnos[leaf.index] != recno)
        return false;
    leaf.node.Erase(leaf.index);
    if (leaf.node.Empty())
        Unlink(h, path, path.size() - 1);
    else
        Store(h, path, path.size() - 1);
    Collapse(h);
    WriteHeader(h);
    return true;
}

void Tree::Walk(const std::function<bool(const Entry&)>& visit, bool check) const {
    Header h = ReadHeader();
    std::uint32_t at = h.root;
    std::size_t depth = 0;
    Node n = ReadNode(at);
    if (check && !n.root)
        f_.Corrupt(at, "root pointer leads to a node not marked root");
    while (!n.leaf) {
        if (++depth >= kMaxDepth)
            f_.Corrupt(at, "index nodes form a loop");
        at = n.children.front();
        n = ReadNode(at);
    }
    if (check && n.left != kNone && n.left != 0)
        f_.Corrupt(at, "first leaf has a left sibling");
    std::unordered_set<std::uint32_t> seen;
    std::string prevKey;
    std::uint32_t prevRecno = 0;
    bool havePrev = false;
    std::uint32_t prevOffset = kNone;
    for (;;) {
        if (!seen.insert(n.offset).second)
            f_.Corrupt(n.offset, "sibling links form a loop");
        if (check && n.left != prevOffset && !(prevOffset == kNone && n.left == 0))
            f_.Corrupt(n.offset, "left link does not match the leaf before");
        if (check && n.Empty() && !n.root)
            f_.Corrupt(n.offset, "empty leaf");
        for (std::size_t i = 0; i < n.Count(); ++i) {
            std::string_view key = n.Key(i);
            if (check && havePrev && CompareKey(key, n.recnos[i], prevKey, prevRecno) <= 0)
                f_.Corrupt(n.offset, "keys out of order");
            if (check && unique_ && havePrev && prevKey == key)
                f_.Corrupt(n.offset, "duplicate key in a unique tag");
            prevKey.assign(key);
            prevRecno = n.recnos[i];
            havePrev = true;
            if (!visit(ToEntry(n, i)))
                return;
        }
        if (n.right == kNone || n.right == 0)
            return;
        prevOffset = n.offset;
        n = ReadNode(n.right);
    }
}

} // namespace xbase::cdx::detail
