#pragma once
// Internal: the compiled expression tree shared by the parser and evaluator.
#include "platform/xbase/expr/expr.h"

#include <memory>
#include <vector>

namespace xbase::expr {

enum class Op {
    Literal,
    Field,
    Negate,
    Not,
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    Pow,
    Eq,      // "=": prefix compare unless exact
    ExactEq, // "=="
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
    Contains, // "$"
    And,
    Or,
    Call,
};

enum class Func {
    Upper,
    Lower,
    Trim,
    Ltrim,
    Alltrim,
    Str,
    Val,
    Substr,
    Left,
    Right,
    Dtos,
    Dtoc,
    Ctod,
    Date,
    Deleted,
    Recno,
    Iif,
    Empty,
    Len,
    Space,
    Padr,
    Padl,
    Padc,
    At,
    Replicate,
    Abs,
    Int,
    Round,
    Max,
    Min,
    Year,
    Month,
    Day,
    Chr,
    Asc,
    Between,
    Inlist,
    Strtran,
    Ttod,
};

class Node {
public:
    Op op = Op::Literal;
    Type type = Type::Logical;
    int length = 0; // longest character result; numeric display width
    int decimals = 0;
    int height = 1; // of the subtree, kept below a limit so evaluation cannot exhaust the stack
    std::size_t pos = 0;
    Value literal;
    int field = -1;
    char fieldType = 'C';
    int fieldDecimals = 0;
    Func func = Func::Upper;
    CodePage codePage = CodePage::Ascii; // of UPPER() and LOWER(): the table's
    std::vector<std::unique_ptr<Node>> kids;
};

// Evaluation of one node (eval.cpp).
Value EvalNode(const Node& n, const Context& ctx);
// The value of a field's raw bytes.
Value FieldValue(const Node& n, const Context& ctx);

} // namespace xbase::expr
