#pragma once
// A tag's key and FOR expressions compiled against a table, turning records
// into key bytes.
#include "platform/xbase/cdx/cdx.h"
#include "platform/xbase/expr/expr.h"

#include <optional>
#include <string>

namespace xbase::cdx {

class TagKeys {
public:
    // Compiles the tag's expressions; throws expr::ExprError.
    TagKeys(const TagDef& def, const expr::Schema& schema);

    // A tag definition for a new tag: key type and length from the key
    // expression. Throws expr::ExprError; CdxError for a bad name or length.
    [[nodiscard]] static TagDef Define(const std::string& name, const std::string& keyExpr,
                                       const std::string& forExpr, bool unique, bool descending,
                                       const expr::Schema& schema);

    // The record's key bytes, or nullopt when the FOR condition rejects it.
    [[nodiscard]] std::optional<std::string> KeyFor(const expr::Context& record) const;
    // Seek bytes for a search text typed by a user or the table layer.
    [[nodiscard]] std::string SearchKey(std::string_view text,
                                        const expr::Settings& settings) const;
    [[nodiscard]] const expr::KeyInfo& Key() const { return key_; }

private:
    expr::Expression keyExpr_;
    expr::Expression forExpr_;
    expr::KeyInfo key_;
};

// KeyTypeOf for Bag::Open: the key type of an expression over the schema,
// 'C' when it does not compile. The schema must outlive the bag.
[[nodiscard]] KeyTypeOf KeyTypesFrom(const expr::Schema& schema);

} // namespace xbase::cdx
