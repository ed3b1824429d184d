#pragma once
// The script's variant: one value of any of the dialect's kinds, with the
// conversions and operators the language applies to it.
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace basic {

class Object;
struct Value;

enum class VType { Empty, Null, Boolean, Long, Double, Date, String, Object, Array };

// A one-dimensional array, lower bound 0. Fixed arrays (Dim a(10)) refuse ReDim.
struct ArrayBox {
    std::vector<Value> items;
    bool fixed = false;
};

struct Value {
    VType type = VType::Empty;
    std::int32_t l = 0; // Boolean (-1/0) and Long
    double d = 0;       // Double and Date
    std::string s;
    std::shared_ptr<Object> obj; // null for Nothing
    std::shared_ptr<ArrayBox> arr;

    Value() = default;
    // Copies and moves touch only the parts that hold something: most values
    // are numbers, and even an empty string costs a call to copy.
    Value(const Value& o) : type(o.type), l(o.l), d(o.d) {
        if (!o.s.empty())
            s = o.s;
        if (o.obj)
            obj = o.obj;
        if (o.arr)
            arr = o.arr;
    }
    Value(Value&& o) noexcept : type(o.type), l(o.l), d(o.d) {
        if (!o.s.empty())
            s = std::move(o.s);
        if (o.obj)
            obj = std::move(o.obj);
        if (o.arr)
            arr = std::move(o.arr);
    }
    Value& operator=(const Value& o) {
        type = o.type;
        l = o.l;
        d = o.d;
        if (!s.empty() || !o.s.empty())
            s = o.s;
        if (obj || o.obj)
            obj = o.obj;
        if (arr || o.arr)
            arr = o.arr;
        return *this;
    }
    Value& operator=(Value&& o) noexcept {
        type = o.type;
        l = o.l;
        d = o.d;
        if (!s.empty() || !o.s.empty())
            s = std::move(o.s);
        if (obj || o.obj)
            obj = std::move(o.obj);
        if (arr || o.arr)
            arr = std::move(o.arr);
        return *this;
    }
    ~Value() = default;
    static Value Null();
    static Value Bool(bool b) {
        Value v;
        v.type = VType::Boolean;
        v.l = b ? -1 : 0;
        return v;
    }
    // A Double when it does not fit 32 bits.
    static Value Long(std::int64_t x) {
        if (x < INT32_MIN || x > INT32_MAX)
            return Dbl(static_cast<double>(x));
        Value v;
        v.type = VType::Long;
        v.l = static_cast<std::int32_t>(x);
        return v;
    }
    static Value Dbl(double v);
    static Value Date(double v);
    static Value Str(std::string v);
    static Value Obj(std::shared_ptr<Object> o);
    static Value Nothing() { return Obj(nullptr); }
    static Value Array(std::size_t count);

    [[nodiscard]] bool IsNumericType() const {
        return type == VType::Boolean || type == VType::Long || type == VType::Double ||
               type == VType::Date;
    }
    // Arrays have value semantics: assignment copies the elements. An array
    // holding more than `maxElements` values in all, or nested deeper than
    // `maxDepth`, raises Out of memory instead (arrays can hold themselves).
    [[nodiscard]] Value Copy(std::size_t maxElements, int maxDepth) const;
};

// Room for one value, made only when it is needed (a std::optional would
// clear all of it first, on every use).
class ValueSlot {
public:
    ValueSlot() noexcept {} // the room stays as it is until emplace
    ~ValueSlot() {
        if (used_)
            Get().~Value();
    }
    ValueSlot(const ValueSlot&) = delete;
    ValueSlot& operator=(const ValueSlot&) = delete;

    Value& emplace(Value&& v) {
        if (used_)
            return Get() = std::move(v);
        ::new (static_cast<void*>(room_)) Value(std::move(v));
        used_ = true;
        return Get();
    }

private:
    Value& Get() { return *std::launder(reinterpret_cast<Value*>(room_)); }
    alignas(Value) unsigned char room_[sizeof(Value)];
    bool used_ = false;
};

// A run-time error of the dialect: a number and its text.
class RunError : public std::runtime_error {
public:
    RunError(int number, const std::string& text) : std::runtime_error(text), number_(number) {}
    [[nodiscard]] int Number() const { return number_; }
    // Line of the statement that failed; 0 until the interpreter sets it.
    [[nodiscard]] int Line() const { return line_; }
    void SetLine(int line) { line_ = line; }

private:
    int number_;
    int line_ = 0;
};

// Errors that no On Error handler may swallow: limits reached, host stop.
class FatalError : public RunError {
public:
    using RunError::RunError;
};

// Standard texts by number ("Type mismatch" for 13 ...).
[[nodiscard]] std::string ErrorText(int number);
// Raises error `number` with its standard text, plus ": 'detail'" when given.
[[noreturn]] void Raise(int number, const std::string& detail = {});

enum ErrNo : int {
    errInvalidCall = 5,
    errOverflow = 6,
    errOutOfMemory = 7,
    errSubscript = 9,
    errFixedArray = 10,
    errDivByZero = 11,
    errTypeMismatch = 13,
    errOutOfStack = 28,
    errNotDefined = 35,
    errObjectNotSet = 91,
    errInvalidNull = 94,
    errObjectRequired = 424,
    errCantCreate = 429,
    errNoMember = 438,
    errWrongArgs = 450,
    errUndefined = 500,
    errIllegalAssign = 501,
    errRunaway = 1100,
    errStopped = 1101,
};

// Objects give their default member's value where a scalar is needed.
[[nodiscard]] Value Scalar(const Value& v);

[[nodiscard]] double ToDouble(const Value& v);
// Rounds half to even, as the dialect does; Overflow outside 32 bits.
[[nodiscard]] std::int32_t ToLong(const Value& v);
[[nodiscard]] bool ToBool(const Value& v);
[[nodiscard]] std::string ToStr(const Value& v);
[[nodiscard]] double ToDate(const Value& v);

// Text to number as the dialect reads it: blanks around, sign, decimals,
// exponent, &H and &O. False when the text is not a number.
bool ParseNumber(const std::string& text, double& out);
// Dates as "yyyy-mm-dd", "m/d/yyyy", with an optional "h:nn[:ss] [AM|PM]",
// or a time alone.
bool ParseDate(const std::string& text, double& out);
[[nodiscard]] std::string FormatNumber(double v);
[[nodiscard]] std::string FormatDate(double v);
[[nodiscard]] double RoundHalfEven(double v);

enum class BinOp {
    Pow,
    Mul,
    Div,
    IntDiv,
    Mod,
    Add,
    Sub,
    Cat,
    Eq,
    Ne,
    Lt,
    Gt,
    Le,
    Ge,
    Is,
    And,
    Or,
    Xor
};

[[nodiscard]] Value Binary(BinOp op, const Value& a, const Value& b);
[[nodiscard]] Value Negate(const Value& v);
[[nodiscard]] Value Not(const Value& v);
// -1, 0, 1; `textCompare` ignores case. Null when either side is Null.
[[nodiscard]] Value Compare(const Value& a, const Value& b, bool textCompare = false);
[[nodiscard]] bool SameObject(const Value& a, const Value& b);

[[nodiscard]] std::string Lower(std::string s);
[[nodiscard]] std::string Upper(std::string s);

} // namespace basic
