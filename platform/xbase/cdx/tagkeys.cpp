// Key and FOR expressions of a tag, compiled against a table.
#include "platform/xbase/cdx/tagkeys.h"

namespace xbase::cdx {

TagKeys::TagKeys(const TagDef& def, const expr::Schema& schema)
    : keyExpr_(expr::Expression::Compile(def.keyExpr, schema)) {
    if (!def.forExpr.empty())
        forExpr_ = expr::Expression::Compile(def.forExpr, schema);
    key_ = keyExpr_.Key();
    nullFlagged_ = keyExpr_.Nullable() && def.keyLength == key_.length + 1;
    key_.length = def.keyLength - (nullFlagged_ ? 1 : 0); // the file's length wins
}

TagDef TagKeys::Define(const std::string& name, const std::string& keyExpr,
                       const std::string& forExpr, bool unique, bool descending,
                       const expr::Schema& schema) {
    expr::Expression key = expr::Expression::Compile(keyExpr, schema);
    if (!forExpr.empty()) {
        expr::Expression cond = expr::Expression::Compile(forExpr, schema);
        if (cond.ResultType() != expr::Type::Logical)
            throw expr::ExprError("FOR condition is not logical", 0);
    }
    TagDef d;
    d.name = name;
    d.keyExpr = keyExpr;
    d.forExpr = forExpr;
    d.unique = unique;
    d.descending = descending;
    d.keyLength = key.Key().length + (key.Nullable() ? 1 : 0);
    d.keyType = static_cast<char>(key.Key().type);
    if (d.keyLength < 1 || d.keyLength > 240)
        throw CdxError("key \"" + keyExpr + "\" is " + std::to_string(d.keyLength) +
                       " bytes long; keys hold 1 to 240");
    return d;
}

std::optional<std::string> TagKeys::KeyFor(const expr::Context& record) const {
    if (!forExpr_.Empty() && !forExpr_.Evaluate(record).logical)
        return std::nullopt;
    if (!nullFlagged_)
        return expr::KeyBytes(keyExpr_.Evaluate(record), key_);
    if (keyExpr_.IsNullIn(record))
        return kKeyNull + std::string(static_cast<std::size_t>(key_.length),
                                      key_.type == expr::KeyType::Character ? ' ' : '\0');
    return kKeyNotNull + expr::KeyBytes(keyExpr_.Evaluate(record), key_);
}

std::string TagKeys::SearchKey(std::string_view text, const expr::Settings& settings) const {
    std::string value = expr::SearchKeyBytes(text, key_, settings);
    return nullFlagged_ ? kKeyNotNull + value : value;
}

KeyTypeOf KeyTypesFrom(const expr::Schema& schema) {
    return [&schema](const std::string& keyExpr) {
        try {
            return static_cast<char>(expr::Expression::Compile(keyExpr, schema).Key().type);
        } catch (const expr::ExprError&) {
            return 'C';
        }
    };
}

} // namespace xbase::cdx
