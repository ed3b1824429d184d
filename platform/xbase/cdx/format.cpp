// Page I/O, and encoding and decoding of CDX headers and nodes.
#include "platform/xbase/cdx/format_p.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/xbase/xbwrites.h"

namespace xbase::cdx {

CorruptError::CorruptError(const std::string& path, std::uint64_t offset, const std::string& what)
    : CdxError("corrupt index " + path + ": " + what + " at offset " + std::to_string(offset)),
      offset_(offset) {}

namespace detail {

namespace {

constexpr std::size_t kMaxCachedPages = 32768; // 16 MB

void PutLe(std::string& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutBe32(std::string& b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
}

int BitsFor(std::uint32_t v) {
    int b = 1;
    while (b < 32 && (v >> b) != 0)
        ++b;
    return b;
}

// Bits of the duplicate and trailing counts: enough for the key length.
int CountBits(int keyLength) {
    return BitsFor(static_cast<std::uint32_t>(keyLength));
}

struct LeafLayout {
    int recBits, countBits, bytes;
};

LeafLayout LayoutFor(std::uint32_t maxRecno, int keyLength) {
    int cb = CountBits(keyLength);
    int need = BitsFor(maxRecno) + 2 * cb;
    int bytes = (need + 7) / 8;
    return {std::min(32, bytes * 8 - 2 * cb), cb, bytes};
}

std::size_t Trail(std::string_view key, char pad) {
    std::size_t t = 0;
    while (t < key.size() && key[key.size() - 1 - t] == pad)
        ++t;
    return t;
}

std::size_t Dup(std::string_view prev, std::string_view key, std::size_t limit) {
    std::size_t d = 0;
    while (d < limit && d < prev.size() && d < key.size() && prev[d] == key[d])
        ++d;
    return d;
}

} // namespace

std::uint64_t PageFile::Size() const {
    if (caching_)
        return size_;
    return DiskSize();
}

std::uint64_t PageFile::DiskSize() const {
    struct stat st {};
    if (fstat(fd_, &st) != 0)
        throw IoError("cannot read the size of " + path_ + ": " + std::strerror(errno));
    return static_cast<std::uint64_t>(st.st_size);
}

// While caching, whole pages live in memory; changed ones reach the file at
// Flush. Pages past the end of the file on disk exist only in memory.
PageFile::Cached& PageFile::PageAt(std::uint32_t page, const char* what) const {
    auto it = cache_.find(page);
    if (it != cache_.end())
        return it->second;
    if (cache_.size() >= kMaxCachedPages) {
        Flush();
        cache_.clear();
    }
    Cached c;
    if (page + kPage <= diskSize_)
        c.data = ReadDirect(page, kPage, what);
    else if (page < size_)
        c.data.assign(kPage, '\0'); // beyond the disk's end: a page only we have grown
    else
        Corrupt(page, std::string(what) + " lies past the end of the file");
    return cache_.emplace(page, std::move(c)).first->second;
}

const std::string* PageFile::KeptPage(std::uint32_t page) const {
    auto it = kept_.find(page);
    if (it != kept_.end())
        return &it->second;
    if (kept_.size() >= kMaxCachedPages)
        kept_.clear();
    std::string data(kPage, '\0');
    std::size_t done = 0;
    while (done < kPage) {
        ssize_t n = pread(fd_, data.data() + done, kPage - done, static_cast<off_t>(page + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw IoError("cannot read " + path_ + ": " + std::strerror(errno));
        if (n == 0)
            return nullptr; // a partial last page is read directly, as asked
        done += static_cast<std::size_t>(n);
    }
    return &kept_.emplace(page, std::move(data)).first->second;
}

std::uint64_t pageVisits = 0; // the engine runs on one thread

std::string PageFile::Read(std::uint32_t offset, std::uint32_t len, const char* what) const {
    ++pageVisits;
    if (!caching_ && keep_ && offset != kNone) {
        std::string out;
        out.reserve(len);
        for (std::uint64_t at = offset; at < static_cast<std::uint64_t>(offset) + len;) {
            auto page = static_cast<std::uint32_t>(at / kPage * kPage);
            const std::string* kept = KeptPage(page);
            if (!kept)
                return ReadDirect(offset, len, what);
            std::size_t from = at - page;
            std::size_t n = std::min<std::uint64_t>(kPage - from, offset + len - at);
            out.append(*kept, from, n);
            at += n;
        }
        return out;
    }
    if (!caching_)
        return ReadDirect(offset, len, what);
    if (offset == kNone || static_cast<std::uint64_t>(offset) + len > size_)
        Corrupt(offset, std::string(what) + " lies past the end of the file");
    std::string out;
    out.reserve(len);
    for (std::uint64_t at = offset; at < static_cast<std::uint64_t>(offset) + len;) {
        auto page = static_cast<std::uint32_t>(at / kPage * kPage);
        std::size_t from = at - page;
        std::size_t n = std::min<std::uint64_t>(kPage - from, offset + len - at);
        out.append(PageAt(page, what).data, from, n);
        at += n;
    }
    return out;
}

void PageFile::SetKeepReads(bool on) {
    keep_ = on;
    kept_.clear();
    ++generation_;
}

std::string_view PageFile::View(std::uint32_t offset, std::uint32_t len, const char* what,
                                std::string& scratch) const {
    ++pageVisits;
    if (!caching_ && keep_ && offset != kNone && offset % kPage + len <= kPage) {
        if (const std::string* kept = KeptPage(offset / kPage * kPage))
            return std::string_view(*kept).substr(offset % kPage, len);
    }
    scratch = Read(offset, len, what);
    return scratch;
}

void PageFile::SetCaching(bool on) {
    Flush();
    cache_.clear();
    ++generation_;
    caching_ = on;
    if (on)
        size_ = diskSize_ = DiskSize();
}

void PageFile::Flush() const {
    std::vector<std::uint32_t> dirty;
    for (const auto& [page, c] : cache_)
        if (c.dirty)
            dirty.push_back(page);
    std::sort(dirty.begin(), dirty.end());
    for (std::uint32_t page : dirty) {
        Cached& c = cache_[page];
        WriteDirect(page, c.data);
        c.dirty = false;
        diskSize_ = std::max<std::uint64_t>(diskSize_, page + kPage);
    }
}

std::string PageFile::ReadDirect(std::uint32_t offset, std::uint32_t len, const char* what) const {
    if (offset == kNone)
        Corrupt(offset, std::string(what) + " lies past the end of the file");
    std::string buf(len, '\0');
    std::size_t done = 0;
    while (done < len) {
        ssize_t n = pread(fd_, buf.data() + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw IoError("cannot read " + path_ + ": " + std::strerror(errno));
        if (n == 0)
            Corrupt(offset, std::string(what) + " lies past the end of the file");
        done += static_cast<std::size_t>(n);
    }
    return buf;
}

void PageFile::Write(std::uint32_t offset, std::string_view data) const {
    RequireWritable();
    ++generation_;
    if (!caching_) {
        if (keep_) {
            try {
                WriteDirect(offset, data);
            } catch (...) {
                kept_.clear(); // what the file holds now is not known
                throw;
            }
            const std::uint64_t end = static_cast<std::uint64_t>(offset) + data.size();
            for (std::uint64_t at = offset; at < end;) {
                auto page = static_cast<std::uint32_t>(at / kPage * kPage);
                std::size_t from = at - page;
                std::size_t n = std::min<std::uint64_t>(kPage - from, end - at);
                if (auto it = kept_.find(page); it != kept_.end())
                    it->second.replace(from, n, data.substr(at - offset, n));
                at += n;
            }
            return;
        }
        WriteDirect(offset, data);
        return;
    }
    std::uint64_t end = static_cast<std::uint64_t>(offset) + data.size();
    size_ = std::max(size_, (end + kPage - 1) / kPage * kPage);
    for (std::uint64_t at = offset; at < end;) {
        auto page = static_cast<std::uint32_t>(at / kPage * kPage);
        std::size_t from = at - page;
        std::size_t n = std::min<std::uint64_t>(kPage - from, end - at);
        Cached& c = PageAt(page, "page");
        c.data.replace(from, n, data.substr(at - offset, n));
        c.dirty = true;
        at += n;
    }
}

void PageFile::WriteDirect(std::uint32_t offset, std::string_view data) const {
    WritePoint();
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n =
            pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw IoError("cannot write " + path_ + ": " + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
}

std::uint32_t PageFile::Grow(std::uint32_t len) const {
    std::uint64_t size = Size();
    std::uint64_t at = (size + kPage - 1) / kPage * kPage;
    if (at + len >= 0xFFFFFE00ULL)
        throw CdxError("index " + path_ + " would grow beyond 4 GB");
    Write(static_cast<std::uint32_t>(at), std::string(len, '\0'));
    return static_cast<std::uint32_t>(at);
}

void PageFile::Truncate(std::uint64_t size) const {
    RequireWritable();
    Flush();
    cache_.clear();
    kept_.clear();
    ++generation_;
    WritePoint();
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0)
        throw IoError("cannot truncate " + path_ + ": " + std::strerror(errno));
    size_ = diskSize_ = size;
}

void PageFile::Corrupt(std::uint64_t offset, const std::string& what) const {
    throw CorruptError(path_, offset, what);
}

void PageFile::RequireWritable() const {
    if (!writable_)
        throw CdxError("index " + path_ + " is open read-only");
}

Header DecodeHeader(const PageFile& f, std::uint32_t offset) {
    if (offset % kPage != 0)
        f.Corrupt(offset, "tag header not on a page boundary");
    std::string b = f.Read(offset, kHeaderSize, "tag header");
    Header h;
    h.root = LoadLe(b, 0, 4);
    h.freeList = LoadLe(b, 4, 4);
    h.counter = LoadLe(b, 8, 4);
    h.keyLength = static_cast<int>(LoadLe(b, 12, 2));
    h.options = static_cast<std::uint8_t>(b[14]);
    h.descending = LoadLe(b, 502, 2) != 0;
    if (h.keyLength < 1 || h.keyLength > kMaxKeyLength)
        f.Corrupt(offset + 12, "key length " + std::to_string(h.keyLength) + " out of range");
    std::string_view pool(b.data() + 512, 512);
    std::size_t keyEnd = pool.find('\0');
    if (keyEnd == std::string_view::npos)
        f.Corrupt(offset + 512, "key expression not terminated");
    h.keyExpr = std::string(pool.substr(0, keyEnd));
    std::size_t forEnd = pool.find('\0', keyEnd + 1);
    if (forEnd != std::string_view::npos)
        h.forExpr = std::string(pool.substr(keyEnd + 1, forEnd - keyEnd - 1));
    return h;
}

std::string EncodeHeader(const Header& h) {
    std::string b(kHeaderSize, '\0');
    PutLe(b, 0, h.root, 4);
    PutLe(b, 4, h.freeList, 4);
    PutLe(b, 8, h.counter, 4);
    PutLe(b, 12, static_cast<std::uint32_t>(h.keyLength), 2);
    b[14] = static_cast<char>(h.options);
    b[15] = 1;
    PutLe(b, 502, h.descending ? 1 : 0, 2);
    std::size_t keyPool = std::min<std::size_t>(h.keyExpr.size(), 510) + 1;
    std::size_t forPool = std::min<std::size_t>(h.forExpr.size(), 511 - keyPool) + 1;
    PutLe(b, 504, keyPool + forPool - 1, 2);
    PutLe(b, 506, forPool, 2);
    PutLe(b, 510, keyPool, 2);
    std::memcpy(b.data() + 512, h.keyExpr.data(), keyPool - 1);
    std::memcpy(b.data() + 512 + keyPool, h.forExpr.data(), forPool - 1);
    return b;
}

void Node::Insert(std::size_t i, std::string_view key, std::uint32_t recno, std::uint32_t child) {
    keys.insert(i * len, key.substr(0, len));
    recnos.insert(recnos.begin() + static_cast<std::ptrdiff_t>(i), recno);
    if (!leaf)
        children.insert(children.begin() + static_cast<std::ptrdiff_t>(i), child);
}

void Node::Erase(std::size_t i) {
    keys.erase(i * len, len);
    recnos.erase(recnos.begin() + static_cast<std::ptrdiff_t>(i));
    if (!leaf)
        children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
}

void Node::Set(std::size_t i, std::string_view key, std::uint32_t recno) {
    keys.replace(i * len, len, key.substr(0, len));
    recnos[i] = recno;
}

Node Node::SplitOff(std::size_t i) {
    Node r;
    r.leaf = leaf;
    r.len = len;
    r.keys = keys.substr(i * len);
    keys.resize(i * len);
    r.recnos.assign(recnos.begin() + static_cast<std::ptrdiff_t>(i), recnos.end());
    recnos.resize(i);
    if (!leaf) {
        r.children.assign(children.begin() + static_cast<std::ptrdiff_t>(i), children.end());
        children.resize(i);
    }
    return r;
}

Node DecodeNode(const PageFile& f, std::uint32_t offset, int keyLength, char pad) {
    if (offset % kPage != 0 || offset < kHeaderSize)
        f.Corrupt(offset, "node pointer not on a page boundary");
    std::string scratch;
    std::string_view b = f.View(offset, kPage, "index node", scratch);
    Node n;
    n.offset = offset;
    n.len = static_cast<std::size_t>(keyLength);
    std::uint32_t attr = LoadLe(b, 0, 2);
    std::uint32_t count = LoadLe(b, 2, 2);
    n.leaf = (attr & kAttrLeaf) != 0;
    n.root = (attr & kAttrRoot) != 0;
    n.left = LoadLe(b, 4, 4);
    n.right = LoadLe(b, 8, 4);
    std::size_t len = n.len;
    n.recnos.reserve(count);
    n.keys.reserve(count * len);
    if (!n.leaf) {
        if (count == 0 || count * (len + 8) > kInteriorSpace)
            f.Corrupt(offset, "interior node with " + std::to_string(count) + " keys");
        n.children.reserve(count);
        for (std::size_t i = 0, at = 12; i < count; ++i, at += len + 8) {
            n.keys.append(b.substr(at, len));
            n.recnos.push_back(LoadBe32(b, at + len));
            n.children.push_back(LoadBe32(b, at + len + 4));
        }
        return n;
    }
    LeafReader r(f, offset, b, len, pad);
    n.keys.reserve(r.Count() * len);
    n.recnos.reserve(r.Count());
    while (r.Next()) {
        n.keys.append(r.Key());
        n.recnos.push_back(r.Recno());
    }
    return n;
}

LeafReader::LeafReader(const PageFile& f, std::uint32_t offset, std::string_view page,
                       std::size_t len, char pad)
    : f_(f), offset_(offset), page_(page), len_(len), pad_(pad) {
    count_ = LoadLe(page, 2, 2);
    recBits_ = static_cast<unsigned char>(page[20]);
    dupBits_ = static_cast<unsigned char>(page[21]);
    trailBits_ = static_cast<unsigned char>(page[22]);
    bytes_ = static_cast<unsigned char>(page[23]);
    if (bytes_ < 1 || bytes_ > 8 || recBits_ < 1 || recBits_ > 32 || dupBits_ > 16 ||
        trailBits_ > 16 || recBits_ + dupBits_ + trailBits_ > bytes_ * 8)
        f.Corrupt(offset, "leaf node with bad bit widths");
    if (count_ * static_cast<std::size_t>(bytes_) > kLeafSpace)
        f.Corrupt(offset, "leaf node with " + std::to_string(count_) + " keys");
    keyPos_ = kPage;
    infoEnd_ = kLeafData + count_ * static_cast<std::size_t>(bytes_);
    key_.reserve(len);
}

bool LeafReader::Next() {
    if (i_ >= count_)
        return false;
    std::uint64_t info = 0;
    std::size_t at = kLeafData + i_ * static_cast<std::size_t>(bytes_);
    for (int k = 0; k < bytes_; ++k)
        info |= static_cast<std::uint64_t>(
                    static_cast<unsigned char>(page_[at + static_cast<std::size_t>(k)]))
                << (8 * k);
    auto dup = static_cast<std::size_t>((info >> recBits_) & ((1ULL << dupBits_) - 1));
    auto trail =
        static_cast<std::size_t>((info >> (recBits_ + dupBits_)) & ((1ULL << trailBits_) - 1));
    if (dup + trail > len_ || (i_ == 0 && dup != 0))
        f_.Corrupt(offset_, "leaf entry " + std::to_string(i_) + " with bad counts");
    std::size_t stored = len_ - dup - trail;
    if (keyPos_ < infoEnd_ + stored)
        f_.Corrupt(offset_, "leaf keys overlap their entries");
    keyPos_ -= stored;
    key_.resize(dup); // the bytes shared with the key before stay
    key_.append(page_.substr(keyPos_, stored));
    key_.append(trail, pad_);
    recno_ = static_cast<std::uint32_t>(info & ((1ULL << recBits_) - 1));
    ++i_;
    return true;
}

namespace {

// Leaf layout of entries [from, to): per entry its duplicate and trailing
// counts, and the bytes the whole takes.
struct LeafPlan {
    LeafLayout layout{};
    std::vector<std::pair<std::size_t, std::size_t>> counts; // dup, trail
    std::size_t used = 0;
};

LeafPlan PlanLeaf(const Node& n, std::size_t from, std::size_t to, char pad) {
    LeafPlan p;
    p.counts.reserve(to - from);
    std::uint32_t maxRec = 1;
    std::size_t keyBytes = 0, prevTrail = 0;
    for (std::size_t i = from; i < to; ++i) {
        std::string_view key = n.Key(i);
        std::size_t t = Trail(key, pad);
        std::size_t d = 0;
        if (i > from) // never into either key's trailing pad bytes
            d = Dup(n.Key(i - 1), key, std::min(n.len - t, n.len - prevTrail));
        p.counts.emplace_back(d, t);
        keyBytes += n.len - d - t;
        maxRec = std::max(maxRec, n.recnos[i]);
        prevTrail = t;
    }
    p.layout = LayoutFor(maxRec, static_cast<int>(n.len));
    p.used = (to - from) * static_cast<std::size_t>(p.layout.bytes) + keyBytes;
    return p;
}

} // namespace

bool Fits(const Node& n, std::size_t from, std::size_t to, char pad) {
    if (!n.leaf)
        return (to - from) * (n.len + 8) <= kInteriorSpace;
    return PlanLeaf(n, from, to, pad).used <= kLeafSpace;
}

std::string EncodeNode(const Node& n, char pad) {
    LeafPlan plan;
    if (n.leaf) {
        plan = PlanLeaf(n, 0, n.Count(), pad);
        if (plan.used > kLeafSpace)
            return {};
    } else if (n.Count() * (n.len + 8) > kInteriorSpace) {
        return {};
    }
    std::string b(kPage, '\0');
    PutLe(b, 0, (n.leaf ? kAttrLeaf : 0) | (n.root ? kAttrRoot : 0), 2);
    PutLe(b, 2, n.Count(), 2);
    PutLe(b, 4, n.left, 4);
    PutLe(b, 8, n.right, 4);
    std::size_t len = n.len;
    if (!n.leaf) {
        std::size_t at = 12;
        for (std::size_t i = 0; i < n.Count(); ++i, at += len + 8) {
            std::memcpy(b.data() + at, n.keys.data() + i * len, len);
            PutBe32(b, at + len, n.recnos[i]);
            PutBe32(b, at + len + 4, n.children[i]);
        }
        return b;
    }
    const LeafLayout& l = plan.layout;
    std::size_t keyPos = kPage;
    for (std::size_t i = 0; i < n.Count(); ++i) {
        auto [d, t] = plan.counts[i];
        std::size_t stored = len - d - t;
        keyPos -= stored;
        std::memcpy(b.data() + keyPos, n.keys.data() + i * len + d, stored);
        std::uint64_t info = n.recnos[i] | (static_cast<std::uint64_t>(d) << l.recBits) |
                             (static_cast<std::uint64_t>(t) << (l.recBits + l.countBits));
        PutLe(b, kLeafData + i * static_cast<std::size_t>(l.bytes), info, l.bytes);
    }
    PutLe(b, 12, kLeafSpace - plan.used, 2);
    PutLe(b, 14, l.recBits >= 32 ? 0xFFFFFFFFULL : (1ULL << l.recBits) - 1, 4);
    b[18] = static_cast<char>((1U << l.countBits) - 1);
    b[19] = static_cast<char>((1U << l.countBits) - 1);
    b[20] = static_cast<char>(l.recBits);
    b[21] = static_cast<char>(l.countBits);
    b[22] = static_cast<char>(l.countBits);
    b[23] = static_cast<char>(l.bytes);
    return b;
}

std::uint32_t BuildTree(std::string& image, std::uint32_t base, const std::vector<Item>& sorted,
                        int keyLength, char pad) {
    auto len = static_cast<std::size_t>(keyLength);
    auto fresh = [&](bool leaf) {
        Node n;
        n.leaf = leaf;
        n.len = len;
        return n;
    };
    // Leaves: as many entries as fit, left to right; the size is kept as
    // entries are added, since each depends only on the one before.
    std::vector<Node> level;
    Node cur = fresh(true);
    std::size_t keyBytes = 0, prevTrail = 0;
    std::uint32_t maxRec = 1;
    for (const Item& it : sorted) {
        std::string key = it.key;
        key.resize(len, pad);
        std::size_t t = Trail(key, pad);
        std::size_t d =
            cur.Empty() ? 0
                        : Dup(cur.Key(cur.Count() - 1), key, std::min(len - t, len - prevTrail));
        std::uint32_t rec = std::max(maxRec, it.recno);
        LeafLayout l = LayoutFor(rec, keyLength);
        if (!cur.Empty() &&
            (cur.Count() + 1) * static_cast<std::size_t>(l.bytes) + keyBytes + len - d - t >
                kLeafSpace) {
            level.push_back(std::move(cur));
            cur = fresh(true);
            keyBytes = 0;
            d = 0;
            rec = std::max<std::uint32_t>(1, it.recno);
        }
        cur.Insert(cur.Count(), key, it.recno, 0);
        keyBytes += len - d - t;
        maxRec = rec;
        prevTrail = t;
    }
    level.push_back(std::move(cur));
    std::size_t cap = kInteriorSpace / (len + 8);
    for (;;) {
        for (Node& n : level) {
            n.offset = base + static_cast<std::uint32_t>(image.size());
            image.append(kPage, '\0');
        }
        for (std::size_t i = 0; i < level.size(); ++i) {
            level[i].left = i > 0 ? level[i - 1].offset : kNone;
            level[i].right = i + 1 < level.size() ? level[i + 1].offset : kNone;
            level[i].root = level.size() == 1;
            image.replace(level[i].offset - base, kPage, EncodeNode(level[i], pad));
        }
        if (level.size() == 1)
            return level[0].offset;
        std::vector<Node> up;
        for (std::size_t i = 0; i < level.size(); i += cap) {
            Node p = fresh(false);
            for (std::size_t k = i; k < std::min(level.size(), i + cap); ++k) {
                const Node& c = level[k];
                p.Insert(p.Count(), c.Key(c.Count() - 1), c.recnos.back(), c.offset);
            }
            up.push_back(std::move(p));
        }
        level = std::move(up);
    }
}

void RelocateTree(std::string& image, const std::function<std::uint32_t(std::uint32_t)>& where,
                  int keyLength) {
    const auto len = static_cast<std::size_t>(keyLength);
    auto move = [&](std::uint32_t v) { return v == kNone ? v : where(v); };
    for (std::size_t at = 0; at + kPage <= image.size(); at += kPage) {
        PutLe(image, at + 4, move(LoadLe(image, at + 4, 4)), 4);
        PutLe(image, at + 8, move(LoadLe(image, at + 8, 4)), 4);
        if (LoadLe(image, at, 2) & kAttrLeaf)
            continue;
        const std::size_t count = LoadLe(image, at + 2, 2);
        for (std::size_t i = 0, e = at + 12 + len + 4; i < count; ++i, e += len + 8)
            PutBe32(image, e, move(LoadBe32(image, e)));
    }
}

void MoveTree(std::string& image, std::uint32_t from, std::uint32_t to, int keyLength) {
    RelocateTree(
        image, [&](std::uint32_t v) { return v - from + to; }, keyLength);
}

} // namespace detail

std::uint64_t PageVisits() {
    return detail::pageVisits;
}

} // namespace xbase::cdx
