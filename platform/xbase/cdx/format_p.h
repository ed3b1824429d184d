#pragma once
// Internal: page I/O and the on-disk layout of CDX headers and nodes.
#include "platform/xbase/cdx/cdx.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace xbase::cdx::detail {

constexpr std::uint32_t kPage = 512;
constexpr std::uint32_t kHeaderSize = 1024;
constexpr std::uint32_t kNone = 0xFFFFFFFFU;
constexpr int kMaxKeyLength = 240;
constexpr int kNameLength = 10; // keys of the tag directory

// Tag header, 1024 bytes (the tag directory at offset 0 has the same form):
//
// | offset | size | meaning                                                   |
// |--------|------|-----------------------------------------------------------|
// | 0      | 4    | root node (little-endian file offset)                     |
// | 4      | 4    | first free node, 0 or -1 for none                         |
// | 8      | 4    | change counter (raised on every change)                   |
// | 12     | 2    | key length                                                |
// | 14     | 1    | options: 1 unique, 8 FOR clause, 32 compact, 64 compound, |
// |        |      | 128 the tag directory                                     |
// | 15     | 1    | signature, 1                                              |
// | 16     | 486  | reserved, zero                                            |
// | 502    | 2    | 0 ascending, 1 descending                                 |
// | 504    | 2    | both expressions' length: key, NUL, FOR expression         |
// | 506    | 2    | FOR expression pool length                                |
// | 508    | 2    | reserved                                                  |
// | 510    | 2    | key expression pool length                                |
// | 512    | 512  | key expression, NUL, FOR expression, NUL                  |
enum : std::uint8_t {
    kOptUnique = 1,
    kOptFor = 8,
    kOptCompact = 32,
    kOptCompound = 64,
    kOptDirectory = 128,
};

struct Header {
    std::uint32_t root = 0;
    std::uint32_t freeList = 0;
    std::uint32_t counter = 0;
    int keyLength = 0;
    std::uint8_t options = 0;
    bool descending = false;
    std::string keyExpr;
    std::string forExpr;
};

// Node, 512 bytes:
//
// | offset | size | meaning                                               |
// |--------|------|-------------------------------------------------------|
// | 0      | 2    | attributes: 1 root, 2 leaf (0 an interior node)       |
// | 2      | 2    | number of keys                                        |
// | 4      | 4    | left sibling, -1 for none                             |
// | 8      | 4    | right sibling, -1 for none                            |
//
// Interior node, from offset 12: per key the key bytes (key length), the
// record number and the child node (4 bytes each, big-endian); the key and
// record are those of the last entry under the child.
//
// Leaf node, from offset 12:
//
// | offset | size | meaning                                               |
// |--------|------|-------------------------------------------------------|
// | 12     | 2    | free bytes in the node                                |
// | 14     | 4    | record number mask                                    |
// | 18     | 1    | duplicate count mask                                  |
// | 19     | 1    | trailing count mask                                   |
// | 20     | 1    | bits of the record number                             |
// | 21     | 1    | bits of the duplicate count                           |
// | 22     | 1    | bits of the trailing count                            |
// | 23     | 1    | bytes per entry (record, duplicate and trailing count) |
// | 24     | 488  | entries from the front, little-endian bit fields:     |
// |        |      | record number, then duplicate count, then trailing    |
// |        |      | count; key bytes from the end of the node backwards,  |
// |        |      | each key without the bytes it shares with the key     |
// |        |      | before it (duplicate count) and without its trailing  |
// |        |      | pad bytes (trailing count; blanks for character keys, |
// |        |      | NUL bytes for the others)                             |
constexpr std::uint16_t kAttrRoot = 1;
constexpr std::uint16_t kAttrLeaf = 2;
constexpr std::uint32_t kLeafData = 24;
constexpr std::uint32_t kLeafSpace = kPage - kLeafData; // 488
constexpr std::uint32_t kInteriorSpace = kPage - 12;    // 500

// An entry as the bulk builder takes it.
struct Item {
    std::string key;
    std::uint32_t recno = 0;
};

// A decoded node: keys side by side (each of the key length), with their
// record numbers and, in interior nodes, their children.
struct Node {
    std::uint32_t offset = 0;
    bool leaf = true;
    bool root = false;
    std::uint32_t left = kNone;
    std::uint32_t right = kNone;
    std::size_t len = 0;
    std::string keys;
    std::vector<std::uint32_t> recnos;
    std::vector<std::uint32_t> children;

    [[nodiscard]] std::size_t Count() const { return recnos.size(); }
    [[nodiscard]] bool Empty() const { return recnos.empty(); }
    [[nodiscard]] std::string_view Key(std::size_t i) const {
        return std::string_view(keys).substr(i * len, len);
    }
    void Insert(std::size_t i, std::string_view key, std::uint32_t recno, std::uint32_t child);
    void Erase(std::size_t i);
    void Set(std::size_t i, std::string_view key, std::uint32_t recno);
    // Keeps the entries before i; returns those from i on.
    Node SplitOff(std::size_t i);
};

// The file under the index: bounded reads, writes, growth.
class PageFile {
public:
    PageFile(int fd, const std::string& path, bool writable)
        : fd_(fd), path_(path), writable_(writable) {}

    [[nodiscard]] std::uint64_t Size() const;
    // Reads len bytes; a range past the end is corrupt (where names it).
    [[nodiscard]] std::string Read(std::uint32_t offset, std::uint32_t len, const char* what) const;
    // The same without a copy where a kept page holds the range, else read
    // into scratch; valid until the next read or write of this file.
    [[nodiscard]] std::string_view View(std::uint32_t offset, std::uint32_t len, const char* what,
                                        std::string& scratch) const;
    void Write(std::uint32_t offset, std::string_view data) const;
    // Offset of len new bytes at the end of the file (a page boundary).
    [[nodiscard]] std::uint32_t Grow(std::uint32_t len) const;
    void Truncate(std::uint64_t size) const;
    [[noreturn]] void Corrupt(std::uint64_t offset, const std::string& what) const;
    void RequireWritable() const;
    [[nodiscard]] const std::string& Path() const { return path_; }
    // While on, pages stay in memory and changes reach the file at Flush
    // (and when caching ends).
    void SetCaching(bool on);
    void Flush() const;
    // While on (and caching is off), pages read stay in memory and writes go
    // to the file at once and into the pages kept; the owner drops them
    // when the file may have changed under it.
    void SetKeepReads(bool on);
    void DropKept() const {
        kept_.clear();
        ++generation_;
    }
    // Whether pages stay what this object last saw between calls (kept or
    // cached; the owner drops them when others may have changed the file),
    // and a number that moves whenever they may have changed.
    [[nodiscard]] bool Stable() const { return keep_ || caching_; }
    // Called before a change that writes more than one node of a tree (a
    // split, a node freed, a root handed down): a stop half-way through
    // such a change can leave more than one entry out of place.
    void SetStructuralHook(std::function<void()> hook) { structural_ = std::move(hook); }
    void BeforeStructural() const {
        if (structural_)
            structural_();
    }
    [[nodiscard]] std::uint64_t Generation() const { return generation_; }

private:
    struct Cached {
        std::string data;
        bool dirty = false;
    };
    Cached& PageAt(std::uint32_t page, const char* what) const;
    std::string ReadDirect(std::uint32_t offset, std::uint32_t len, const char* what) const;
    // A whole page kept (read now when missing); null when the file holds no
    // whole page there.
    const std::string* KeptPage(std::uint32_t page) const;
    void WriteDirect(std::uint32_t offset, std::string_view data) const;
    std::uint64_t DiskSize() const;

    int fd_;
    std::string path_;
    bool writable_;
    bool caching_ = false;
    mutable std::uint64_t size_ = 0;     // while caching: the size with pages not yet written
    mutable std::uint64_t diskSize_ = 0; // while caching: the size on disk
    mutable std::unordered_map<std::uint32_t, Cached> cache_;
    bool keep_ = false;
    mutable std::unordered_map<std::uint32_t, std::string> kept_;
    mutable std::uint64_t generation_ = 0;
    std::function<void()> structural_;
};

[[nodiscard]] Header DecodeHeader(const PageFile& f, std::uint32_t offset);
[[nodiscard]] std::string EncodeHeader(const Header& h);

// pad: the byte of the trailing-count compression.
[[nodiscard]] Node DecodeNode(const PageFile& f, std::uint32_t offset, int keyLength, char pad);
// Entries of a leaf page one by one, each key rebuilt from the one before.
class LeafReader {
public:
    // Checks the page's layout fields; throws CorruptError.
    LeafReader(const PageFile& f, std::uint32_t offset, std::string_view page, std::size_t len,
               char pad);
    [[nodiscard]] std::size_t Count() const { return count_; }
    // Moves to the next entry; false after the last.
    bool Next();
    [[nodiscard]] std::string_view Key() const { return key_; }
    [[nodiscard]] std::uint32_t Recno() const { return recno_; }

private:
    const PageFile& f_;
    std::uint32_t offset_;
    std::string_view page_;
    std::size_t len_;
    char pad_;
    std::size_t count_ = 0, i_ = 0, keyPos_ = 0, infoEnd_ = 0;
    int recBits_ = 0, dupBits_ = 0, trailBits_ = 0, bytes_ = 0;
    std::string key_;
    std::uint32_t recno_ = 0;
};

// Empty when the entries do not fit in one page.
[[nodiscard]] std::string EncodeNode(const Node& n, char pad);
// Whether entries [from, to) fit in one page.
[[nodiscard]] bool Fits(const Node& n, std::size_t from, std::size_t to, char pad);

inline std::uint32_t LoadLe(std::string_view b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<std::uint32_t>(
                 static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]))
             << (8 * i);
    return v;
}

inline std::uint32_t LoadBe32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

inline int CompareKey(std::string_view key, std::uint32_t recno, std::string_view other,
                      std::uint32_t otherRecno) {
    int c = key.compare(other);
    if (c != 0)
        return c < 0 ? -1 : 1;
    return recno < otherRecno ? -1 : recno > otherRecno ? 1 : 0;
}

// Where the last step of a walk ended: the leaf (decoded when the next
// step needs it), valid while the file's generation holds.
struct LeafCursor {
    std::uint64_t generation = ~0ULL;
    std::uint32_t leafAt = kNone;
    bool decoded = false;
    std::size_t at = 0; // the entry the last step returned, when decoded
    Node leaf;
};

// One tag's B-tree (or the tag directory's), read afresh on every call.
class Tree {
public:
    Tree(const PageFile& f, std::uint32_t header, int keyLength, char pad, bool unique)
        : f_(f), header_(header), keyLength_(keyLength), pad_(pad), unique_(unique) {}

    // leafAt, when given, gets the leaf of the entry found.
    [[nodiscard]] std::optional<Entry> LowerBound(std::string_view key, std::uint32_t recno,
                                                  std::uint32_t* leafAt = nullptr) const;
    // The entry after from; a walk's steps stay in the cursor's leaf while
    // the pages are stable.
    [[nodiscard]] std::optional<Entry> After(const Entry& from, LeafCursor& cursor) const;
    // Points the cursor at the leaf LowerBound found.
    void Aim(LeafCursor& cursor, std::uint32_t leafAt) const;
    void Hold(LeafCursor& cursor, Node&& leaf, std::size_t i) const;
    [[nodiscard]] std::optional<std::size_t> InLeaf(const Entry& from, LeafCursor& cursor) const;
    // The entry before from; steps stay in the cursor's leaf (and go on to
    // its left sibling) while the pages are stable, as After does.
    [[nodiscard]] std::optional<Entry> Before(const Entry& from, LeafCursor& cursor) const;
    // The last entry before (key, recno), by a descent from the root; the
    // cursor, when given, is left on the leaf of the entry found.
    [[nodiscard]] std::optional<Entry> Before(std::string_view key, std::uint32_t recno,
                                              LeafCursor* cursor = nullptr) const;
    [[nodiscard]] std::optional<Entry> Last(LeafCursor* cursor = nullptr) const;
    bool Insert(const std::string& key, std::uint32_t recno);
    bool Remove(const std::string& key, std::uint32_t recno);
    // Puts a tree that BuildTree laid out from offset 0 (root at root) in
    // the place of the tag's tree, where other processes may read: into
    // the tag's free pages first, then past the end; the header then turns
    // to it in one write, and the old tree's pages become free pages. A
    // stop at any moment leaves the old tree or the new one, and at worst
    // pages that no list holds.
    void Replace(std::string image, std::uint32_t root);
    // Every entry by the leaf chain, checking order and links.
    void Walk(const std::function<bool(const Entry&)>& visit, bool check) const;

private:
    struct Step {
        Node node;
        std::size_t index = 0;
    };
    Header ReadHeader() const;
    std::vector<Step> Descend(const Header& h, std::string_view key, std::uint32_t recno) const;
    Node ReadNode(std::uint32_t offset) const;
    void WriteNode(const Node& n) const;
    std::uint32_t Allocate(Header& h) const;
    void Release(Header& h, std::uint32_t offset) const;
    // Up to n pages taken off the free list (h.freeList is what is left).
    std::vector<std::uint32_t> TakeFree(Header& h, std::size_t n) const;
    // Every node of the tree at root.
    std::vector<std::uint32_t> NodePages(std::uint32_t root) const;
    void SetSibling(std::uint32_t node, bool left, std::uint32_t value) const;
    void Store(Header& h, std::vector<Step>& path, std::size_t level) const;
    void Unlink(Header& h, std::vector<Step>& path, std::size_t level) const;
    void Collapse(Header& h) const;
    void WriteHeader(Header& h) const;

    const PageFile& f_;
    std::uint32_t header_;
    int keyLength_;
    char pad_;
    bool unique_;
};

// Builds a tree of sorted items into a file image (pages appended to
// image, whose first byte lies at file offset base); returns the root.
std::uint32_t BuildTree(std::string& image, std::uint32_t base, const std::vector<Item>& sorted,
                        int keyLength, char pad);
// Moves a tree image that BuildTree laid out from file offset from so that
// it lies from to: the siblings of every node and the children of every
// interior one.
void MoveTree(std::string& image, std::uint32_t from, std::uint32_t to, int keyLength);
// The same for pages put anywhere: where(offset in a tree laid out from 0)
// is the page's place in the file.
void RelocateTree(std::string& image, const std::function<std::uint32_t(std::uint32_t)>& where,
                  int keyLength);

// A freed page: the next free page (little-endian, 0 for none) and a mark.
// Only pages carrying the mark are reused: a list another program left in
// a form of its own is dropped instead (its pages stay unused), so a live
// page is never taken for a free one.
//
// | offset | size | meaning                        |
// |--------|------|--------------------------------|
// | 0      | 4    | next free page, 0 for none     |
// | 4      | 8    | "QFREEPG" and a NUL            |
constexpr std::string_view kFreeMark("QFREEPG\0", 8);

} // namespace xbase::cdx::detail
