// Page I/O, and encoding and decoding of CDX headers and nodes.
#include "platform/xbase/cdx/format_p.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace xbase::cdx {

CorruptError::CorruptError(const std::string& path, std::uint64_t offset, const std::string& what)
    : CdxError("corrupt index " + path + ": " + what + " at offset " + std::to_string(offset)),
      offset_(offset) {}

namespace detail {

namespace {

std::uint32_t Le(std::string_view b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<std::uint32_t>(
                 static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]))
             << (8 * i);
    return v;
}

std::uint32_t Be32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

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

// Shared leading bytes with the key before; never reaching into either
// key's trailing pad bytes (readers rebuild the key before without them).
std::size_t DupCount(const std::string* prev, std::string_view key, std::size_t len,
                     std::size_t trail, char pad) {
    if (!prev)
        return 0;
    return Dup(*prev, key, std::min(len - trail, len - Trail(*prev, pad)));
}

// Key bytes a leaf entry takes after both compressions.
std::size_t Stored(const std::string* prev, const std::string& key, int keyLength, char pad) {
    std::size_t len = static_cast<std::size_t>(keyLength);
    std::size_t t = Trail(key, pad);
    return len - DupCount(prev, key, len, t, pad) - t;
}

} // namespace

std::uint64_t PageFile::Size() const {
    struct stat st {};
    if (fstat(fd_, &st) != 0)
        throw IoError("cannot read the size of " + path_ + ": " + std::strerror(errno));
    return static_cast<std::uint64_t>(st.st_size);
}

std::string PageFile::Read(std::uint32_t offset, std::uint32_t len, const char* what) const {
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
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0)
        throw IoError("cannot truncate " + path_ + ": " + std::strerror(errno));
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
    h.root = Le(b, 0, 4);
    h.freeList = Le(b, 4, 4);
    h.counter = Le(b, 8, 4);
    h.keyLength = static_cast<int>(Le(b, 12, 2));
    h.options = static_cast<std::uint8_t>(b[14]);
    h.descending = Le(b, 502, 2) != 0;
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
    PutLe(b, 504, keyPool, 2);
    PutLe(b, 506, forPool, 2);
    PutLe(b, 510, keyPool, 2);
    std::memcpy(b.data() + 512, h.keyExpr.data(), keyPool - 1);
    std::memcpy(b.data() + 512 + keyPool, h.forExpr.data(), forPool - 1);
    return b;
}

Node DecodeNode(const PageFile& f, std::uint32_t offset, int keyLength, char pad) {
    if (offset % kPage != 0 || offset < kHeaderSize)
        f.Corrupt(offset, "node pointer not on a page boundary");
    std::string b = f.Read(offset, kPage, "index node");
    Node n;
    n.offset = offset;
    std::uint32_t attr = Le(b, 0, 2);
    std::uint32_t count = Le(b, 2, 2);
    n.leaf = (attr & kAttrLeaf) != 0;
    n.root = (attr & kAttrRoot) != 0;
    n.left = Le(b, 4, 4);
    n.right = Le(b, 8, 4);
    auto len = static_cast<std::size_t>(keyLength);
    if (!n.leaf) {
        if (count == 0 || count * (len + 8) > kInteriorSpace)
            f.Corrupt(offset, "interior node with " + std::to_string(count) + " keys");
        n.items.reserve(count);
        for (std::size_t i = 0, at = 12; i < count; ++i, at += len + 8) {
            Item it;
            it.key = b.substr(at, len);
            it.recno = Be32(b, at + len);
            it.child = Be32(b, at + len + 4);
            n.items.push_back(std::move(it));
        }
        return n;
    }
    int recBits = static_cast<unsigned char>(b[20]);
    int dupBits = static_cast<unsigned char>(b[21]);
    int trailBits = static_cast<unsigned char>(b[22]);
    int bytes = static_cast<unsigned char>(b[23]);
    if (bytes < 1 || bytes > 8 || recBits < 1 || recBits > 32 || dupBits > 16 || trailBits > 16 ||
        recBits + dupBits + trailBits > bytes * 8)
        f.Corrupt(offset, "leaf node with bad bit widths");
    if (count * static_cast<std::uint32_t>(bytes) > kLeafSpace)
        f.Corrupt(offset, "leaf node with " + std::to_string(count) + " keys");
    std::uint64_t recMask = (1ULL << recBits) - 1;
    std::uint64_t dupMask = (1ULL << dupBits) - 1;
    std::uint64_t trailMask = (1ULL << trailBits) - 1;
    std::size_t keyPos = kPage;
    std::size_t infoEnd = kLeafData + count * static_cast<std::size_t>(bytes);
    n.items.reserve(count);
    std::string prev;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint64_t info = 0;
        std::size_t at = kLeafData + i * static_cast<std::size_t>(bytes);
        for (int k = 0; k < bytes; ++k)
            info |= static_cast<std::uint64_t>(
                        static_cast<unsigned char>(b[at + static_cast<std::size_t>(k)]))
                    << (8 * k);
        auto recno = static_cast<std::uint32_t>(info & recMask);
        auto dup = static_cast<std::size_t>((info >> recBits) & dupMask);
        auto trail = static_cast<std::size_t>((info >> (recBits + dupBits)) & trailMask);
        if (dup + trail > len || (i == 0 && dup != 0))
            f.Corrupt(offset, "leaf entry " + std::to_string(i) + " with bad counts");
        std::size_t stored = len - dup - trail;
        if (keyPos < infoEnd + stored)
            f.Corrupt(offset, "leaf keys overlap their entries");
        keyPos -= stored;
        Item it;
        it.key.reserve(len);
        it.key.assign(prev, 0, dup);
        it.key.append(b, keyPos, stored);
        it.key.append(trail, pad);
        it.recno = recno;
        prev = it.key;
        n.items.push_back(std::move(it));
    }
    return n;
}

bool Fits(const Node& n, std::size_t from, std::size_t to, int keyLength, char pad) {
    std::size_t count = to - from;
    if (!n.leaf)
        return count * (static_cast<std::size_t>(keyLength) + 8) <= kInteriorSpace;
    std::uint32_t maxRec = 1;
    std::size_t keys = 0;
    for (std::size_t i = from; i < to; ++i) {
        maxRec = std::max(maxRec, n.items[i].recno);
        keys += Stored(i > from ? &n.items[i - 1].key : nullptr, n.items[i].key, keyLength, pad);
    }
    LeafLayout l = LayoutFor(maxRec, keyLength);
    return count * static_cast<std::size_t>(l.bytes) + keys <= kLeafSpace;
}

std::string EncodeNode(const Node& n, int keyLength, char pad) {
    if (!Fits(n, 0, n.items.size(), keyLength, pad))
        return {};
    std::string b(kPage, '\0');
    PutLe(b, 0, (n.leaf ? kAttrLeaf : 0) | (n.root ? kAttrRoot : 0), 2);
    PutLe(b, 2, n.items.size(), 2);
    PutLe(b, 4, n.left, 4);
    PutLe(b, 8, n.right, 4);
    auto len = static_cast<std::size_t>(keyLength);
    if (!n.leaf) {
        std::size_t at = 12;
        for (const Item& it : n.items) {
            std::memcpy(b.data() + at, it.key.data(), std::min(len, it.key.size()));
            PutBe32(b, at + len, it.recno);
            PutBe32(b, at + len + 4, it.child);
            at += len + 8;
        }
        return b;
    }
    std::uint32_t maxRec = 1;
    for (const Item& it : n.items)
        maxRec = std::max(maxRec, it.recno);
    LeafLayout l = LayoutFor(maxRec, keyLength);
    std::size_t keyPos = kPage;
    const std::string* prev = nullptr;
    for (std::size_t i = 0; i < n.items.size(); ++i) {
        const std::string& key = n.items[i].key;
        std::size_t t = Trail(key, pad);
        std::size_t d = DupCount(prev, key, len, t, pad);
        std::size_t stored = len - d - t;
        keyPos -= stored;
        std::memcpy(b.data() + keyPos, key.data() + d, stored);
        std::uint64_t info = n.items[i].recno | (static_cast<std::uint64_t>(d) << l.recBits) |
                             (static_cast<std::uint64_t>(t) << (l.recBits + l.countBits));
        PutLe(b, kLeafData + i * static_cast<std::size_t>(l.bytes), info, l.bytes);
        prev = &key;
    }
    std::size_t used = n.items.size() * static_cast<std::size_t>(l.bytes) + (kPage - keyPos);
    PutLe(b, 12, kLeafSpace - used, 2);
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
    // Leaves: as many entries as fit, left to right.
    std::vector<Node> level;
    Node cur;
    cur.leaf = true;
    for (const Item& it : sorted) {
        cur.items.push_back(it);
        if (!Fits(cur, 0, cur.items.size(), keyLength, pad)) {
            cur.items.pop_back();
            level.push_back(std::move(cur));
            cur = Node{};
            cur.items.push_back(it);
        }
    }
    level.push_back(std::move(cur));
    auto cap = kInteriorSpace / (static_cast<std::size_t>(keyLength) + 8);
    for (;;) {
        for (Node& n : level) {
            n.offset = base + static_cast<std::uint32_t>(image.size());
            image.append(kPage, '\0');
        }
        for (std::size_t i = 0; i < level.size(); ++i) {
            level[i].left = i > 0 ? level[i - 1].offset : kNone;
            level[i].right = i + 1 < level.size() ? level[i + 1].offset : kNone;
            level[i].root = level.size() == 1;
            image.replace(level[i].offset - base, kPage, EncodeNode(level[i], keyLength, pad));
        }
        if (level.size() == 1)
            return level[0].offset;
        std::vector<Node> up;
        for (std::size_t i = 0; i < level.size(); i += cap) {
            Node p;
            p.leaf = false;
            for (std::size_t k = i; k < std::min(level.size(), i + cap); ++k) {
                Item last = level[k].items.back();
                last.child = level[k].offset;
                p.items.push_back(std::move(last));
            }
            up.push_back(std::move(p));
        }
        level = std::move(up);
    }
}

} // namespace detail
} // namespace xbase::cdx
