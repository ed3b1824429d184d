// xBase expressions as tag headers, filters and scripts give them: the
// input holds the expression, then ("\n====\n") a seek text, then the bytes
// of the record it is evaluated on.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_util.h"
#include "platform/xbase/expr/expr.h"
#include "platform/xbase/expr/tests/test_record.h"

using namespace xbase::expr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto pieces = fuzz::Pieces(fuzz::Bytes(data, size), 3);
    struct Layout {
        const char* name;
        char type;
        int width, decimals;
    };
    static constexpr Layout kFields[] = {
        {"NAME", 'C', 20, 0},  {"QTY", 'N', 10, 2},   {"RATE", 'F', 12, 4}, {"WHEN", 'D', 8, 0},
        {"OK", 'L', 1, 0},     {"NOTES", 'M', 10, 0}, {"ID", 'I', 4, 0},    {"PRICE", 'Y', 8, 4},
        {"SIZE", 'B', 8, 2},   {"STAMP", 'T', 8, 0},  {"DATE", 'D', 8, 0},  {"FROM", 'C', 40, 0},
        {"SHORT", 'V', 10, 0}, {"RAW", 'Q', 6, 0},
    };
    testing::TestRecord record;
    std::string_view bytes = pieces[2];
    for (const Layout& f : kFields) {
        auto take = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(f.width));
        record.Add(f.name, f.type, f.width, std::string(bytes.substr(0, take)), f.decimals);
        bytes.remove_prefix(take);
    }
    record.memos[5] = std::string(bytes);
    try {
        Expression e = Expression::Compile(pieces[0], record);
        (void)e.ResultLength();
        KeyInfo key = e.Key();
        Value v = e.Evaluate(record);
        if (key.length > 0 && key.length <= 240) {
            std::string k = KeyBytes(v, key);
            (void)SearchKeyBytes(pieces[1], key, record.GetSettings());
            (void)k;
        }
        record.settings.exact = true;
        record.settings.century = true;
        record.settings.dateFormat = DateFormat::German;
        (void)e.Evaluate(record);
    } catch (const ExprError&) {
        // refused with the place of the fault, as a user would see it
    }
    return 0;
}
