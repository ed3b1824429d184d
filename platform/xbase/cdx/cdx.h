#pragma once
// FoxPro compound index files (.CDX): one file, many tags, each tag a B-tree
// of 512-byte pages. Keys are passed as bytes already encoded for sorting
// (see expr::KeyBytes and TagKeys in tagkeys.h); entries are ordered by key
// bytes, then by record number.
//
// Unless caching is switched on (Bag::SetCaching, Bag::KeepPages), nothing
// is kept between calls: every operation reads the pages it needs, so a
// caller that holds the file lock sees other processes' changes. The caller
// does the locking.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xbase::cdx {

namespace detail {
class PageFile;
struct Item;
struct LeafCursor;
} // namespace detail

class CdxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The operating system refused a read or write.
class IoError : public CdxError {
public:
    using CdxError::CdxError;
};

// The file's contents are inconsistent; Offset() is where that was found.
class CorruptError : public CdxError {
public:
    CorruptError(const std::string& path, std::uint64_t offset, const std::string& what);
    [[nodiscard]] std::uint64_t Offset() const { return offset_; }

private:
    std::uint64_t offset_;
};

struct Entry {
    std::string key;
    std::uint32_t recno = 0;
    friend bool operator==(const Entry&, const Entry&) = default;
};

// A tag as created or as read from its header.
struct TagDef {
    std::string name;    // up to 10 characters, stored in upper case
    std::string keyExpr; // xBase key expression
    std::string forExpr; // FOR condition, empty for none
    bool unique = false;
    bool descending = false;
    int keyLength = 0;  // 1..240
    char keyType = 'C'; // 'C' pads keys with blanks; other types with NUL bytes
};

struct SeekResult {
    std::optional<Entry> entry; // first entry at or after the search key
    bool found = false;         // that entry's key begins with the search key
};

class Bag;

// Index pages looked at by this process so far, kept ones included: the work
// a seek or a walk does, which tests bound.
[[nodiscard]] std::uint64_t PageVisits();

class Tag {
public:
    ~Tag();
    Tag(const Tag&) = delete;
    Tag& operator=(const Tag&) = delete;

    [[nodiscard]] const TagDef& Def() const { return def_; }
    [[nodiscard]] const std::string& Name() const { return def_.name; }

    // Walks in index order (the caller reverses them for a descending tag).
    [[nodiscard]] std::optional<Entry> First() const;
    [[nodiscard]] std::optional<Entry> Last() const;
    // The entry after / before a position; the position need not exist.
    [[nodiscard]] std::optional<Entry> Next(const Entry& from) const;
    [[nodiscard]] std::optional<Entry> Prior(const Entry& from) const;

    // The first entry whose key, cut to the length of the search key, is at
    // or after it. A search key longer than the key length is cut.
    [[nodiscard]] SeekResult Seek(std::string_view search) const;
    // The last entry whose key, cut to the length of the search key, is at
    // or before it (the end of a range), found by one descent.
    [[nodiscard]] std::optional<Entry> SeekLast(std::string_view search) const;
    // Whether the tag holds exactly this key for this record.
    [[nodiscard]] bool Contains(std::string_view key, std::uint32_t recno) const;
    // The entry of a record, by walking the whole tag (when its key is unknown).
    [[nodiscard]] std::optional<Entry> FindRecord(std::uint32_t recno) const;

    // Keys shorter than the key length are padded, longer ones cut.
    // A unique tag keeps the first entry of a key: Insert then returns false
    // and adds nothing. Remove returns false when the entry is not there.
    bool Insert(std::string_view key, std::uint32_t recno);
    bool Remove(std::string_view key, std::uint32_t recno);

    // All entries in order (for tests and checks).
    [[nodiscard]] std::vector<Entry> All() const;
    // Walks the whole tree and its sibling links; throws CorruptError.
    void Check() const;

private:
    friend class Bag;
    Tag(Bag& bag, TagDef def, std::uint32_t header);
    [[nodiscard]] std::string Normal(std::string_view key) const;
    Bag& bag_;
    TagDef def_;
    std::uint32_t header_;
    std::unique_ptr<detail::LeafCursor> cursor_; // where the last walk step ended
};

enum class OpenMode { ReadOnly, ReadWrite };

// Key type of a tag read from a file (the file does not record it): decides
// the pad byte of the trailing-byte compression. The engine answers from the
// key expression (KeyTypesFrom in tagkeys.h); without one keys count as 'C'.
using KeyTypeOf = std::function<char(const std::string& keyExpr)>;

// The records to index: for each record from 1 to the count, fill one key
// per tag (in Tags() order), or nullopt when the FOR condition leaves the
// record out, and say whether the record is live (not marked deleted): a
// unique tag keeps a live record's entry where it can.
using KeySource = std::function<void(std::uint32_t recno,
                                     std::vector<std::optional<std::string>>& keys, bool& live)>;

class Bag {
public:
    ~Bag();
    Bag(const Bag&) = delete;
    Bag& operator=(const Bag&) = delete;

    [[nodiscard]] static std::unique_ptr<Bag> Open(const std::string& path, OpenMode mode,
                                                   KeyTypeOf keyTypeOf = {});
    // A new bag without tags; an existing file is replaced.
    [[nodiscard]] static std::unique_ptr<Bag> Create(const std::string& path);

    [[nodiscard]] const std::string& Path() const { return path_; }
    // The file descriptor, for the caller's locks.
    [[nodiscard]] int Handle() const { return fd_; }

    // Tags in creation order (the order numbers of the table).
    [[nodiscard]] const std::vector<std::unique_ptr<Tag>>& Tags() const { return tags_; }
    // Case-insensitive; nullptr when absent.
    [[nodiscard]] Tag* FindTag(std::string_view name) const;

    // Adds an empty tag (a tag of the same name is replaced); fill it with
    // Insert or Rebuild.
    Tag& CreateTag(const TagDef& def);
    // Adds a tag built from the records (a tag of the same name is replaced
    // and goes last), writing the whole index anew: the file turns from the
    // old index to the new one in one write, so a stop at any moment leaves
    // every tag whole. keys fills the keys of the tags in their new order.
    Tag& BuildTag(const TagDef& def, std::uint32_t recordCount, const KeySource& keys);
    // False when there is no such tag; its Tag pointer is invalid afterwards
    // (its pages stay unused until the next Rebuild).
    bool DeleteTag(std::string_view name);
    // Rewrites the whole file: directory and every tag, from the records;
    // Tag pointers stay valid. The file holds a whole index at every moment
    // (the old one until one header write turns to the new).
    void Rebuild(std::uint32_t recordCount, const KeySource& keys);
    // Builds every tag's tree anew from the records, where other processes
    // may read the file: each tree goes into free pages or past the end and
    // the tag's header then points at it, so a reader (or a kill) meets the
    // old tree or the new one, never half of one. The old tree's pages
    // become free pages, which the next tree built takes.
    void RebuildTrees(std::uint32_t recordCount, const KeySource& keys);
    // Keeps index pages in memory between calls and writes changed ones at
    // Flush. Only while no other process reads or changes the file: an
    // exclusive open, or while the caller holds its lock. Turning it off
    // (the default) flushes and drops the pages kept; so does closing, where
    // a failure can no longer be reported (call Flush first).
    void SetCaching(bool on);
    void Flush();
    // Keeps the pages read in memory, writing changes through at once: for
    // a shared open whose caller drops them (DropPages) whenever another
    // process may have changed the file, e.g. when a change counter moved.
    void KeepPages(bool on);
    void DropPages();
    // Called before a change that writes more than one node of a tree (see
    // PageFile::SetStructuralHook): the caller marks that more than the
    // entries being changed may need repair after a stop.
    void OnStructuralChange(std::function<void()> hook);

    // Reads the tag directory again (after another process changed it);
    // Tag pointers taken before are invalid afterwards.
    void Reload();

private:
    friend class Tag;
    Bag(std::string path, int fd, bool writable, KeyTypeOf keyTypeOf);
    void LoadDirectory();
    // Per tag, its entries of the records in key order.
    [[nodiscard]] std::vector<std::vector<detail::Item>>
    SortedItems(const std::vector<TagDef>& defs, std::uint32_t recordCount,
                const KeySource& keys) const;
    // Writes the whole index anew with these tags, built from the records.
    void Rewrite(const std::vector<TagDef>& defs, std::uint32_t recordCount, const KeySource& keys);

    std::string path_;
    int fd_ = -1;
    std::unique_ptr<detail::PageFile> file_;
    KeyTypeOf keyTypeOf_;
    std::vector<std::unique_ptr<Tag>> tags_;
};

} // namespace xbase::cdx
