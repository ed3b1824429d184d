#pragma once
// xBase expressions for index keys, filters and scopes.
//
//   Expression e = Expression::Compile("UPPER(FROM) + DTOS(RECDATE)", schema);
//   Value v = e.Evaluate(record);          // many times, one record each
//   std::string key = KeyBytes(v, e.Key());
//
// A bare name is a field when the record has one of that name (DATE, FROM and
// GROUP are fields in our tables); a name followed by "(" is a function.
// Types are fixed at compile time, so a type mismatch is a compile error.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xbase::expr {

// A compile or evaluation failure; position is the 0-based offset in the
// expression text where it was detected.
class ExprError : public std::runtime_error {
public:
    ExprError(const std::string& message, std::size_t position);
    [[nodiscard]] std::size_t Position() const { return position_; }
    [[nodiscard]] const std::string& Reason() const { return reason_; }

private:
    std::size_t position_;
    std::string reason_;
};

enum class Type : char {
    Character = 'C',
    Numeric = 'N',
    Date = 'D',
    DateTime = 'T',
    Logical = 'L',
};

// One evaluated value. Dates are Julian day numbers (2000-01-01 = 2451545),
// 0 for a blank date; a date-time adds milliseconds since midnight.
struct Value {
    Type type = Type::Logical;
    std::string text;        // Character
    double number = 0;       // Numeric
    std::int32_t julian = 0; // Date, DateTime
    std::int32_t millis = 0; // DateTime
    bool logical = false;    // Logical

    static Value Char(std::string s);
    static Value Num(double n);
    static Value Date(std::int32_t julian);
    static Value Bool(bool b);
};

// How a record describes one field. Types are the DBF header letters:
// C N F D L M I B Y T (G, P, V, Q and others read as character bytes).
struct FieldInfo {
    std::string name; // upper case
    char type = 'C';
    int width = 0;
    int decimals = 0;
    bool nullable = false; // may hold null (Visual FoxPro)
};

enum class DateFormat {
    American, // mm/dd/yy
    Ansi,     // yy.mm.dd
    British,  // dd/mm/yy
    French,   // dd/mm/yy
    German,   // dd.mm.yy
    Italian,  // dd-mm-yy
    Spanish,  // dd-mm-yy
    Japan,    // yy/mm/dd
    Usa,      // mm-dd-yy
};

struct Settings {
    bool exact = false;   // SET EXACT: "=" compares whole strings
    bool century = false; // four-digit years in DTOC
    int epoch = 1900;     // first year of the window for two-digit years
    DateFormat dateFormat = DateFormat::American;
};

// The code page of a table's text, which UPPER() and LOWER() follow.
enum class CodePage : std::uint16_t {
    Ascii = 0, // ASCII letters only
    Cp437 = 437,
    Cp850 = 850,
    Cp1250 = 1250,
    Cp1252 = 1252,
};

// The code page a DBF header's code page mark (byte 29) names: FoxPro's
// 0x01 (437), 0x02 (850), 0x03 (1252) and 0xC8 (1250); any other mark, and
// none, is ASCII.
[[nodiscard]] CodePage CodePageOfMark(std::uint8_t mark);

// A letter's other case in the code page, or the byte itself. Letters whose
// other case lies outside the code page (ß, µ, à in 437) stay as they are.
[[nodiscard]] unsigned char UpperChar(unsigned char c, CodePage page);
[[nodiscard]] unsigned char LowerChar(unsigned char c, CodePage page);

// The field layout an expression compiles against.
class Schema {
public:
    virtual ~Schema() = default;
    // Index of the field of that name (given in upper case), or -1.
    [[nodiscard]] virtual int FieldIndex(std::string_view upperName) const = 0;
    [[nodiscard]] virtual FieldInfo FieldAt(int index) const = 0;
    // The code page of the text in the fields; ASCII by default.
    [[nodiscard]] virtual CodePage TextCodePage() const;
};

// One record to evaluate on; the engine implements it over its record buffer.
class Context : public Schema {
public:
    // The field's raw bytes in the record (width bytes).
    [[nodiscard]] virtual std::string_view FieldBytes(int index) const = 0;
    // Text of a memo field; empty by default.
    [[nodiscard]] virtual std::string MemoText(int index) const;
    // Whether a nullable field holds null; false by default. A null field's
    // bytes read as an empty value.
    [[nodiscard]] virtual bool IsNull(int index) const;
    [[nodiscard]] virtual std::uint32_t RecNo() const = 0;
    [[nodiscard]] virtual bool Deleted() const = 0;
    [[nodiscard]] virtual const Settings& GetSettings() const = 0;
    // DATE(): today's Julian day; the local date by default.
    [[nodiscard]] virtual std::int32_t Today() const;
};

// How a value is stored as an index key.
enum class KeyType : char {
    Character = 'C', // blank-padded bytes
    Numeric = 'N',   // 8-byte sortable double
    Date = 'D',      // 8-byte sortable double of the Julian day
    DateTime = 'T',  // 8-byte sortable double of day + fraction
    Logical = 'L',   // one byte "T" / "F"
    Integer = 'I',   // 4-byte sortable integer (a bare I field)
};

struct KeyInfo {
    KeyType type = KeyType::Character;
    int length = 0;
};

class Node;

class Expression {
public:
    Expression();
    ~Expression();
    Expression(Expression&&) noexcept;
    Expression& operator=(Expression&&) noexcept;

    // Throws ExprError with the position of the fault.
    [[nodiscard]] static Expression Compile(std::string_view text, const Schema& schema);

    // Throws ExprError for run-time faults (division by zero and the like).
    [[nodiscard]] Value Evaluate(const Context& record) const;

    [[nodiscard]] Type ResultType() const;
    // Longest character result (the key length of a character key).
    [[nodiscard]] int ResultLength() const;
    // Key type and length when this expression is an index key.
    [[nodiscard]] KeyInfo Key() const;
    [[nodiscard]] const std::string& Text() const { return text_; }
    [[nodiscard]] bool Empty() const { return root_ == nullptr; }
    // Whether the expression names a nullable field (its value can be null),
    // and whether one of those is null in the record (the value is then null).
    [[nodiscard]] bool Nullable() const { return !nullable_.empty(); }
    [[nodiscard]] bool IsNullIn(const Context& record) const;

private:
    std::string text_;
    std::unique_ptr<Node> root_;
    KeyInfo key_;
    std::vector<int> nullable_;
};

// Index key bytes of a value: character values cut or padded with blanks to
// the key length; numbers and dates as big-endian doubles whose bytes sort
// like the values (sign bit set for positives, all bits inverted for
// negatives); logicals as "T"/"F". The value's type must fit the key type.
[[nodiscard]] std::string KeyBytes(const Value& v, const KeyInfo& key);

// Key bytes for a search value given as text (a seek key): a character key
// takes the text as it is (cut to the key length, not padded); other key
// types convert the text (numbers as VAL, dates as "yyyymmdd" or in the
// date format of the settings).
[[nodiscard]] std::string SearchKeyBytes(std::string_view text, const KeyInfo& key,
                                         const Settings& settings);

// STR(n, len, dec): right-justified in len characters, the exact decimal
// text of the number as typed, rounded half away from zero; fewer decimals
// when it does not fit, asterisks when even the whole part does not.
[[nodiscard]] std::string Str(double n, int len = 10, int dec = 0);

// Julian day number of a calendar date, and back; 0 for an invalid date.
[[nodiscard]] std::int32_t JulianFromYmd(int year, int month, int day);
void YmdFromJulian(std::int32_t julian, int& year, int& month, int& day);

// Text forms of dates: DTOS ("yyyymmdd", 8 blanks for a blank date), DTOC and
// CTOD in the date format of the settings.
[[nodiscard]] std::string Dtos(std::int32_t julian);
[[nodiscard]] std::string Dtoc(std::int32_t julian, const Settings& settings);
[[nodiscard]] std::int32_t Ctod(std::string_view text, const Settings& settings);

} // namespace xbase::expr
