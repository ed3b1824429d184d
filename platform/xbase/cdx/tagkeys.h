#pragma once
// A tag's key and FOR expressions compiled against a table, turning records
// into key bytes.
//
// A key over nullable fields is built as Visual FoxPro builds it: one more
// byte, in front, 0x80 for a value and 0x00 for null (so nulls sort first),
// then the value's key bytes; a null key's value bytes are pad bytes. A tag
// read from a file is taken to have that byte when its key names a nullable
// field and its key length is one more than the expression's.
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
    // expression (one more for the null flag of a key over nullable fields).
    // Throws expr::ExprError; CdxError for a bad name or length.
    [[nodiscard]] static TagDef Define(const std::string& name, const std::string& keyExpr,
                                       const std::string& forExpr, bool unique, bool descending,
                                       const expr::Schema& schema);

    // The record's key bytes, or nullopt when the FOR condition rejects it.
    [[nodiscard]] std::optional<std::string> KeyFor(const expr::Context& record) const;
    // Seek bytes for a search text typed by a user or the table layer (a
    // value: led by the null flag's 0x80 when the keys have one).
    [[nodiscard]] std::string SearchKey(std::string_view text,
                                        const expr::Settings& settings) const;
    // The value's key type and length, without the null flag.
    [[nodiscard]] const expr::KeyInfo& Key() const { return key_; }
    // Whether keys are led by a null flag.
    [[nodiscard]] bool NullFlagged() const { return nullFlagged_; }

private:
    expr::Expression keyExpr_;
    expr::Expression forExpr_;
    expr::KeyInfo key_;
    bool nullFlagged_ = false;
};

// The leading byte of a key over nullable fields.
inline constexpr char kKeyNotNull = '\x80';
inline constexpr char kKeyNull = '\0';

// KeyTypeOf for Bag::Open: the key type of an expression over the schema,
// 'C' when it does not compile. The schema must outlive the bag.
[[nodiscard]] KeyTypeOf KeyTypesFrom(const expr::Schema& schema);

} // namespace xbase::cdx
