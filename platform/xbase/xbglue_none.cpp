// Stand-in when the expression and index libraries are not built: tables
// work in record order; expressions and index files are refused.
#include "platform/xbase/xbarea.h"
#include "platform/xbase/xberror.h"
#include "platform/xbase/xbglue.h"

namespace xbase {

std::unique_ptr<CompiledExpr> CompileExpr(WorkArea&, const std::string& text) {
    throw Error(XB_ERR_NOTSUPPORTED, "Expressions are not available: " + text);
}

namespace {

class NoIndexes final : public IndexSet {
public:
    int Count() const override { return 0; }
    OrderInfo Info(int) const override { return {}; }
    bool Descending(int) const override { return false; }
    int OpenBag(const std::string&, bool) override { return 0; }
    int CreateTag(const std::string& path, const std::string&, const std::string&,
                  const std::string&, bool, bool) override {
        throw Error(XB_ERR_NOTSUPPORTED, "Index files are not available: " + path);
    }
    std::optional<std::string> KeyFor(int, const std::string&, std::uint32_t) override {
        return std::nullopt;
    }
    std::optional<IndexPos> First(int) override { return std::nullopt; }
    std::optional<IndexPos> Last(int) override { return std::nullopt; }
    std::optional<IndexPos> Next(int, const IndexPos&) override { return std::nullopt; }
    std::optional<IndexPos> Prior(int, const IndexPos&) override { return std::nullopt; }
    std::optional<IndexPos> Seek(int, const std::string&, bool& found) override {
        found = false;
        return std::nullopt;
    }
    std::optional<IndexPos> SeekLast(int, const std::string&) override { return std::nullopt; }
    std::string SearchKey(int, const std::string& text, bool) override { return text; }
    void Insert(int, const std::string&, std::uint32_t) override {}
    bool Contains(int, const std::string&, std::uint32_t) override { return false; }
    std::optional<std::uint32_t> Holder(int, const std::string&) override { return std::nullopt; }
    bool Unique(int) const override { return false; }
    bool Remove(int, const std::string&, std::uint32_t) override { return false; }
    bool NullFlagged(int) const override { return false; }
    std::string Unusable(int) const override { return ""; }
    void RebuildAll() override {}
    void RepairAll() override {}
    void KeepPages(bool) override {}
    void DropPages() override {}
    void OnStructuralChange(std::function<void()>) override {}
};

} // namespace

std::unique_ptr<IndexSet> MakeIndexSet(WorkArea&) {
    return std::make_unique<NoIndexes>();
}

} // namespace xbase
