#pragma once
// The parsed form of a script: statements and expressions as trees, with
// names already lower-cased so that look-ups ignore case.
#include "platform/basic/value.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace basic {
struct Builtin;
}

namespace basic::ast {

struct Proc;

// What the interpreter found for a name the last time, kept while the
// frames it looked in are the same and have gained no names.
struct NameCache {
    std::uint64_t frame = 0; // 0: nothing kept
    std::uint32_t frameAdds = 0, globalAdds = 0;
    void* var = nullptr; // null: no variable of that name
    // Where a procedure's frame held the name: the next call's frame adds
    // its names in the same order, so that entry is tried first there.
    const void* proc = nullptr;
    std::int32_t slot = -1;
};

enum class EK { Lit, Var, Member, Call, Paren, Neg, Not, Binary };

struct Expr;
using ExprP = std::unique_ptr<Expr>;

struct Expr {
    EK kind = EK::Lit;
    int line = 0;
    int depth = 1; // height of the tree, bounded by the parser
    Value lit;
    std::string name;        // Var: lower case; Member: as written
    std::string raw;         // Var: as written, for messages
    ExprP a, b;              // Member/Call/Paren/Neg/Not: a; Binary: a op b
    std::vector<ExprP> args; // Call; a null entry is an omitted argument
    BinOp op = BinOp::Add;
    bool spacedParen = false; // "foo (x)": the bracket follows a blank

    // Filled by the interpreter as it runs (never by the parser).
    mutable NameCache cache;
    mutable const void* resolvedFor = nullptr; // the program proc and builtin are of
    mutable const Proc* proc = nullptr;
    mutable const Builtin* builtin = nullptr;
    mutable const void* pureFor = nullptr;
    mutable bool pure = false;  // evaluating runs no procedure of the script
    mutable bool whole = false; // + - * \ Mod on literals and variables only
};

struct Stmt;
using StmtP = std::unique_ptr<Stmt>;
using Block = std::vector<StmtP>;

enum class SK {
    Dim,
    ReDim,
    Const,
    Assign,
    Set,
    Call,
    If,
    Select,
    For,
    ForEach,
    Do,
    While,
    Exit,
    OnError,
    Print,
};

enum class ExitKind { Sub, Function, For, Do };

struct DimItem {
    std::string name;
    std::string raw;
    bool isArray = false;
    ExprP bound; // null for a dynamic array "()"
};

struct CaseTest {
    enum Kind { Match, Range, Is } kind = Match;
    BinOp op = BinOp::Eq;
    ExprP a, b;
};

struct CaseClause {
    std::vector<CaseTest> tests;
    Block body;
};

struct PrintItem {
    ExprP expr;   // may be null ("Print ;")
    char sep = 0; // ';', ',' or 0 after the last item
};

struct Stmt {
    SK kind = SK::Call;
    int line = 0;
    std::vector<DimItem> dims; // Dim, ReDim, Const (bound = the constant's value)
    bool flag = false;         // ReDim Preserve; Do: test at top; OnError: resume next
    bool until = false;        // Do ... Until
    std::string name;          // For / For Each variable, lower case
    std::string raw;
    ExprP a, b, c, d;                              // Assign/Set: a = b; For: a To b Step c; Call: a
    std::vector<ExprP> args;                       // Call
    std::vector<std::pair<ExprP, Block>> branches; // If / ElseIf
    std::vector<CaseClause> cases;
    Block body, elseBody;
    bool hasElse = false;
    ExitKind exit = ExitKind::Sub;
    std::vector<PrintItem> items;

    // Filled by the interpreter: whether an assignment is "s = s & x" with x
    // pure, for the program it was checked for.
    mutable const void* appendFor = nullptr;
    mutable bool append = false;
};

struct Param {
    std::string name;
    bool byRef = true;
    bool optional = false;
    ExprP def;
};

struct Proc {
    std::string name, raw;
    bool isFunction = false;
    int line = 0;
    std::vector<Param> params;
    Block body;
};

struct Program {
    Block main;
    std::unordered_map<std::string, std::unique_ptr<Proc>> procs;
    bool optionExplicit = false;
};

} // namespace basic::ast
