#pragma once
// What the work areas need of expressions and indexes, in the engine's own
// terms. xbglue.cpp implements it over expr/ and cdx/; xbglue_none.cpp
// stands in (record order only) when those libraries are not built.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace xbase {

class WorkArea;

struct EvalResult {
    int type = 0;     // XB_EVAL_*
    std::string text; // character value, or the value as text
    double number = 0;
    bool logical = false;
};

class CompiledExpr {
public:
    virtual ~CompiledExpr() = default;
    [[nodiscard]] virtual int Type() const = 0;
    [[nodiscard]] virtual EvalResult Eval(WorkArea& area, const std::string& record,
                                          std::uint32_t recno) const = 0;
};

// Throws Error(XB_ERR_EXPRESSION) naming the place of the fault.
[[nodiscard]] std::unique_ptr<CompiledExpr> CompileExpr(WorkArea& area, const std::string& text);

struct IndexPos {
    std::string key;
    std::uint32_t recno = 0;
};

struct OrderInfo {
    std::string tag;
    std::string bagPath;
    std::string keyExpr;
    std::string forExpr;
    bool unique = false;
    bool descending = false;
};

// The index bags of one work area; orders are numbered 1.. across the bags
// in opening order. The caller holds the table's header lock around calls.
class IndexSet {
public:
    virtual ~IndexSet() = default;
    [[nodiscard]] virtual int Count() const = 0;
    [[nodiscard]] virtual OrderInfo Info(int order) const = 0;
    // Info(order).descending without building the rest.
    [[nodiscard]] virtual bool Descending(int order) const = 0;
    // Opens a bag; returns its first order (0 when it has no tags).
    virtual int OpenBag(const std::string& path, bool writable) = 0;
    virtual int CreateTag(const std::string& path, const std::string& name,
                          const std::string& keyExpr, const std::string& forExpr, bool unique,
                          bool descending) = 0;
    // Key of a record buffer; nullopt when the FOR condition leaves it out.
    virtual std::optional<std::string> KeyFor(int order, const std::string& record,
                                              std::uint32_t recno) = 0;
    virtual std::optional<IndexPos> First(int order) = 0;
    virtual std::optional<IndexPos> Last(int order) = 0;
    virtual std::optional<IndexPos> Next(int order, const IndexPos& from) = 0;
    virtual std::optional<IndexPos> Prior(int order, const IndexPos& from) = 0;
    virtual std::optional<IndexPos> Seek(int order, const std::string& bytes, bool& found) = 0;
    // The last entry whose key, cut to the length of bytes, is at or before them.
    virtual std::optional<IndexPos> SeekLast(int order, const std::string& bytes) = 0;
    // Seek bytes of a search text; exact pads a character key to its length.
    virtual std::string SearchKey(int order, const std::string& text, bool exact) = 0;
    virtual void Insert(int order, const std::string& key, std::uint32_t recno) = 0;
    // Whether the order holds this entry.
    virtual bool Contains(int order, const std::string& key, std::uint32_t recno) = 0;
    // For a unique order: the record whose entry holds the key, if any.
    virtual std::optional<std::uint32_t> Holder(int order, const std::string& key) = 0;
    [[nodiscard]] virtual bool Unique(int order) const = 0;
    // Removes the record's entry under key. When the tag holds none there
    // (its keys no longer match the table), the record's entry under any key
    // of a tag that is not unique goes instead; false when there is none.
    virtual bool Remove(int order, const std::string& key, std::uint32_t recno) = 0;
    // Whether the order's keys are led by a null flag (see cdx/tagkeys.h).
    [[nodiscard]] virtual bool NullFlagged(int order) const = 0;
    // Why an order cannot be used (its key does not compile against this
    // table), or "" when it can.
    [[nodiscard]] virtual std::string Unusable(int order) const = 0;
    // Rebuilds every bag from the table's records.
    virtual void RebuildAll() = 0;
    // Builds every tag's tree anew from the records, in a shared open too
    // (readers see the old tree or the new one).
    virtual void RepairAll() = 0;
    // Pages read stay in memory (now and in bags opened later) until
    // DropPages; the caller drops them whenever another user may have
    // changed an index.
    virtual void KeepPages(bool on) = 0;
    virtual void DropPages() = 0;
    // Called (in bags opened later too) before a change that writes more
    // than one node of a tree: a stop within it may leave other entries
    // than the changed one out of place.
    virtual void OnStructuralChange(std::function<void()> hook) = 0;
};

[[nodiscard]] std::unique_ptr<IndexSet> MakeIndexSet(WorkArea& area);

} // namespace xbase
