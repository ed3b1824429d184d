#include "platform/basic/parser_p.h"

#include "platform/basic/error.h"
#include "platform/basic/lexer_p.h"

#include <algorithm>
#include <initializer_list>

namespace basic::parse {

using namespace ast;
using lex::Tok;
using lex::Token;

namespace {

// Names the language keeps for itself; they cannot name a variable.
bool IsReserved(const std::string& w) {
    static const char* const words[] = {
        "and",      "byref",  "byval",  "call",   "case",     "const", "dim",      "do",
        "each",     "else",   "elseif", "empty",  "end",      "exit",  "false",    "for",
        "function", "if",     "in",     "is",     "loop",     "mod",   "next",     "not",
        "nothing",  "null",   "on",     "option", "optional", "or",    "preserve", "print",
        "private",  "public", "redim",  "select", "set",      "step",  "sub",      "then",
        "to",       "true",   "until",  "wend",   "while",    "xor"};
    return std::find_if(std::begin(words), std::end(words),
                        [&](const char* k) { return w == k; }) != std::end(words);
}

struct Constant {
    const char* name;
    const char* text;
};

// Built-in constants become literals.
bool BuiltinConstant(const std::string& name, Value& out) {
    static const Constant strings[] = {
        {"vbcrlf", "\r\n"},    {"vbcr", "\r"},       {"vblf", "\n"},    {"vbtab", "\t"},
        {"vbnewline", "\r\n"}, {"vbnullstring", ""}, {"vbnullchar", ""}};
    for (const Constant& c : strings) {
        if (name == c.name) {
            out = Value::Str(name == "vbnullchar" ? std::string(1, '\0') : std::string(c.text));
            return true;
        }
    }
    static const std::pair<const char*, int> numbers[] = {{"vbok", 1},
                                                          {"vbcancel", 2},
                                                          {"vbabort", 3},
                                                          {"vbretry", 4},
                                                          {"vbignore", 5},
                                                          {"vbyes", 6},
                                                          {"vbno", 7},
                                                          {"vbokonly", 0},
                                                          {"vbokcancel", 1},
                                                          {"vbabortretryignore", 2},
                                                          {"vbyesnocancel", 3},
                                                          {"vbyesno", 4},
                                                          {"vbretrycancel", 5},
                                                          {"vbcritical", 16},
                                                          {"vbquestion", 32},
                                                          {"vbexclamation", 48},
                                                          {"vbinformation", 64},
                                                          {"vbdefaultbutton1", 0},
                                                          {"vbdefaultbutton2", 256},
                                                          {"vbdefaultbutton3", 512},
                                                          {"vbbinarycompare", 0},
                                                          {"vbtextcompare", 1},
                                                          {"vbobjecterror", -2147221504}};
    for (const auto& [n, v] : numbers) {
        if (name == n) {
            out = Value::Long(v);
            return true;
        }
    }
    return false;
}

class Parser {
public:
    Parser(const std::string& src, const TBasicLimits& limits)
        : t_(lex::Lex(src)), limits_(limits) {}

    std::unique_ptr<ast::Program> ParseProgram() {
        prog_ = std::make_unique<ast::Program>();
        ParseBlock(prog_->main, {}, "", true);
        if (Peek().kind != Tok::Eof)
            Fail(1024, "Expected statement");
        return std::move(prog_);
    }

    ExprP ParseOnlyExpression() {
        while (Peek().kind == Tok::Eol && Peek().text == "\n" && Peek(1).kind != Tok::Eof)
            ++p_;
        ExprP e = ParseExpr();
        while (Peek().kind == Tok::Eol)
            ++p_;
        if (Peek().kind != Tok::Eof)
            Fail(1025, "Expected end of statement");
        return e;
    }

private:
    // ---- tokens

    const Token& Peek(std::size_t k = 0) const {
        std::size_t i = std::min(p_ + k, t_.size() - 1);
        return t_[i];
    }
    const Token& Next() {
        const Token& t = t_[p_];
        if (p_ + 1 < t_.size())
            ++p_;
        return t;
    }
    bool IsKw(const char* kw, std::size_t k = 0) const {
        const Token& t = Peek(k);
        return t.kind == Tok::Ident && t.text == kw;
    }
    bool IsOp(const char* op, std::size_t k = 0) const {
        const Token& t = Peek(k);
        return t.kind == Tok::Op && t.text == op;
    }
    bool AcceptKw(const char* kw) {
        if (!IsKw(kw))
            return false;
        Next();
        return true;
    }
    bool AcceptOp(const char* op) {
        if (!IsOp(op))
            return false;
        Next();
        return true;
    }
    void ExpectKw(const char* kw, int number, const char* text) {
        if (!AcceptKw(kw))
            Fail(number, text);
    }
    void ExpectOp(const char* op, int number, const char* text) {
        if (!AcceptOp(op))
            Fail(number, text);
    }
    bool AtStmtEnd() const { return Peek().kind == Tok::Eol || Peek().kind == Tok::Eof; }
    // A one-line If ends its Then part at "Else".
    bool AtStmtEndOrElse() const { return AtStmtEnd() || (singleLineIf_ > 0 && IsKw("else")); }
    void EndStatement() {
        if (!AtStmtEndOrElse())
            Fail(1025, "Expected end of statement");
    }

    [[noreturn]] void Fail(int number, const std::string& text) const {
        throw EScriptError(Peek().line, number, text);
    }

    std::pair<std::string, std::string> ExpectName() {
        const Token& t = Peek();
        if (t.kind != Tok::Ident || IsReserved(t.text))
            Fail(1010, "Expected identifier");
        Next();
        return {t.text, t.raw};
    }

    struct Nest {
        Nest(Parser& p) : p_(p) {
            if (++p_.nesting_ > p_.limits_.MaxNesting)
                p_.Fail(1002, "Syntax error: nesting too deep");
        }
        ~Nest() { --p_.nesting_; }
        Parser& p_;
    };

    // ---- blocks

    // Statements until a line that starts with one of `ends` (not consumed).
    // `ends` entries are one keyword ("next") or "end x" for End X.
    void ParseBlock(Block& out, std::initializer_list<const char*> ends, const char* expected,
                    bool moduleLevel = false) {
        Nest guard(*this);
        for (;;) {
            while (Peek().kind == Tok::Eol)
                Next();
            if (Peek().kind == Tok::Eof) {
                if (ends.size() != 0)
                    Fail(ExpectedNumber(expected), std::string("Expected '") + expected + "'");
                return;
            }
            for (const char* e : ends) {
                std::string w(e);
                std::size_t sp = w.find(' ');
                if (sp == std::string::npos
                        ? IsKw(e)
                        : IsKw(w.substr(0, sp).c_str()) && IsKw(w.substr(sp + 1).c_str(), 1))
                    return;
            }
            ParseStatement(out, moduleLevel);
        }
    }

    static int ExpectedNumber(const std::string& what) {
        if (what == "Next")
            return 1020;
        if (what == "Loop")
            return 1019;
        if (what == "Wend")
            return 1018;
        return 1014; // Expected 'End'
    }

    void ParseStatement(Block& out, bool moduleLevel) {
        Nest guard(*this); // one-line Ifs nest without blocks
        const Token& t = Peek();
        int line = t.line;
        if (t.kind != Tok::Ident) {
            Fail(1024, "Expected statement");
        }
        const std::string& w = t.text;
        auto stmt = std::make_unique<Stmt>();
        stmt->line = line;
        if (w == "public" || w == "private") {
            Next();
            if (IsKw("sub") || IsKw("function") || IsKw("const")) {
                ParseStatement(out, moduleLevel);
                return;
            }
            ParseDim(*stmt, SK::Dim);
        } else if (w == "dim") {
            Next();
            ParseDim(*stmt, SK::Dim);
        } else if (w == "redim") {
            Next();
            stmt->flag = AcceptKw("preserve");
            ParseDim(*stmt, SK::ReDim);
        } else if (w == "const") {
            Next();
            ParseConst(*stmt);
        } else if (w == "set") {
            Next();
            stmt->kind = SK::Set;
            stmt->a = ParsePostfix();
            if (stmt->a->kind != EK::Var && stmt->a->kind != EK::Member &&
                stmt->a->kind != EK::Call)
                Fail(1010, "Expected identifier");
            ExpectOp("=", 1011, "Expected '='");
            stmt->b = ParseExpr();
        } else if (w == "if") {
            Next();
            ParseIf(*stmt);
            out.push_back(std::move(stmt));
            return; // ends itself
        } else if (w == "select") {
            Next();
            ParseSelect(*stmt);
        } else if (w == "for") {
            Next();
            ParseFor(*stmt);
        } else if (w == "do") {
            Next();
            ParseDo(*stmt);
        } else if (w == "while") {
            Next();
            stmt->kind = SK::While;
            stmt->a = ParseExpr();
            EndStatement();
            ParseBlock(stmt->body, {"wend"}, "Wend");
            Next();
        } else if (w == "exit") {
            Next();
            stmt->kind = SK::Exit;
            if (AcceptKw("sub"))
                stmt->exit = ExitKind::Sub;
            else if (AcceptKw("function"))
                stmt->exit = ExitKind::Function;
            else if (AcceptKw("for"))
                stmt->exit = ExitKind::For;
            else if (AcceptKw("do"))
                stmt->exit = ExitKind::Do;
            else
                Fail(1002, "Syntax error");
            CheckExit(stmt->exit);
        } else if (w == "on") {
            Next();
            ExpectKw("error", 1002, "Syntax error");
            stmt->kind = SK::OnError;
            if (AcceptKw("resume")) {
                ExpectKw("next", 1002, "Syntax error");
                stmt->flag = true;
            } else if (AcceptKw("goto")) {
                if (Peek().kind != Tok::Number || Peek().text != "0")
                    Fail(1002, "Syntax error");
                Next();
            } else {
                Fail(1002, "Syntax error");
            }
        } else if (w == "call") {
            Next();
            ParseCall(*stmt, true);
        } else if (w == "sub" || w == "function") {
            if (!moduleLevel || inProc_)
                Fail(1002, "Syntax error");
            Next();
            ParseProc(w == "function");
            return;
        } else if (w == "option") {
            Next();
            ExpectKw("explicit", 1002, "Syntax error");
            prog_->optionExplicit = true;
            EndStatement();
            return;
        } else if (w == "print") {
            Next();
            ParsePrint(*stmt);
        } else if (w == "debug" && IsOp(".", 1) && Peek(2).kind == Tok::Ident &&
                   Peek(2).text == "print") {
            p_ += 3;
            ParsePrint(*stmt);
        } else if (IsReserved(w)) {
            Fail(1024, "Expected statement");
        } else {
            ParseCall(*stmt, false);
        }
        EndStatement();
        out.push_back(std::move(stmt));
    }

    void CheckExit(ExitKind k) {
        bool ok = k == ExitKind::Sub        ? procKind_ == 1
                  : k == ExitKind::Function ? procKind_ == 2
                  : k == ExitKind::For      ? forDepth_ > 0
                                            : doDepth_ > 0;
        if (!ok)
            Fail(1002, "Syntax error: 'Exit' outside its block");
    }

    void ParseDim(Stmt& s, SK kind) {
        s.kind = kind;
        do {
            DimItem item;
            std::tie(item.name, item.raw) = ExpectName();
            if (AcceptOp("(")) {
                item.isArray = true;
                if (!IsOp(")"))
                    item.bound = ParseExpr();
                if (IsOp(","))
                    Fail(1002, "Syntax error: arrays have one dimension only");
                ExpectOp(")", 1006, "Expected ')'");
            } else if (kind == SK::ReDim) {
                Fail(1005, "Expected '('");
            }
            if (kind == SK::ReDim && !item.bound)
                Fail(1023, "Expected expression");
            s.dims.push_back(std::move(item));
        } while (AcceptOp(","));
    }

    void ParseConst(Stmt& s) {
        s.kind = SK::Const;
        do {
            DimItem item;
            std::tie(item.name, item.raw) = ExpectName();
            ExpectOp("=", 1011, "Expected '='");
            item.bound = ParseExpr();
            s.dims.push_back(std::move(item));
        } while (AcceptOp(","));
    }

    void ParseCall(Stmt& s, bool explicitCall) {
        ExprP target = ParsePostfix();
        if (!explicitCall && IsOp("=")) {
            Next();
            if (target->kind != EK::Var && target->kind != EK::Member && target->kind != EK::Call)
                Fail(1002, "Syntax error");
            s.kind = SK::Assign;
            s.a = std::move(target);
            s.b = ParseExpr();
            return;
        }
        s.kind = SK::Call;
        if (target->kind != EK::Var && target->kind != EK::Member && target->kind != EK::Call)
            Fail(1002, "Syntax error");
        if (AtStmtEndOrElse()) {
            if (target->kind == EK::Call) {
                s.a = std::move(target->a);
                s.args = std::move(target->args);
            } else {
                s.a = std::move(target);
            }
            return;
        }
        if (explicitCall)
            Fail(1025, "Expected end of statement");
        if (target->kind == EK::Call && target->spacedParen && target->args.size() == 1 &&
            target->args[0]) {
            // "foo (a) + 1, b": the bracket belongs to the first argument.
            auto first = std::make_unique<Expr>();
            first->kind = EK::Paren;
            first->line = target->line;
            first->depth = target->args[0]->depth + 1;
            first->a = std::move(target->args[0]);
            s.a = std::move(target->a);
            s.args.push_back(ParseBinaryRest(std::move(first), 1));
            while (AcceptOp(","))
                s.args.push_back(ParseArg());
            return;
        }
        s.a = std::move(target);
        s.args.push_back(ParseArg());
        while (AcceptOp(","))
            s.args.push_back(ParseArg());
    }

    ExprP ParseArg() {
        if (IsOp(",") || IsOp(")") || AtStmtEndOrElse())
            return nullptr;
        return ParseExpr();
    }

    void ParsePrint(Stmt& s) {
        s.kind = SK::Print;
        while (!AtStmtEndOrElse()) {
            PrintItem item;
            if (!IsOp(";") && !IsOp(","))
                item.expr = ParseExpr();
            if (IsOp(";") || IsOp(",")) {
                item.sep = Next().text[0];
            } else if (!AtStmtEndOrElse()) {
                Fail(1025, "Expected end of statement");
            }
            s.items.push_back(std::move(item));
        }
    }

    void ParseIf(Stmt& s) {
        s.kind = SK::If;
        ExprP cond = ParseExpr();
        ExpectKw("then", 1017, "Expected 'Then'");
        if (!(Peek().kind == Tok::Eol && Peek().text == "\n")) {
            // One-line If: statements up to the end of the line.
            Block then;
            ++singleLineIf_;
            ParseLineStatements(then);
            s.branches.emplace_back(std::move(cond), std::move(then));
            if (AcceptKw("else")) {
                s.hasElse = true;
                ParseLineStatements(s.elseBody);
            }
            --singleLineIf_;
            if (!(Peek().kind == Tok::Eol || Peek().kind == Tok::Eof))
                Fail(1025, "Expected end of statement");
            return;
        }
        Block then;
        ParseBlock(then, {"elseif", "else", "end if"}, "End");
        s.branches.emplace_back(std::move(cond), std::move(then));
        for (;;) {
            if (AcceptKw("elseif")) {
                ExprP c = ParseExpr();
                ExpectKw("then", 1017, "Expected 'Then'");
                Block b;
                ParseBlock(b, {"elseif", "else", "end if"}, "End");
                s.branches.emplace_back(std::move(c), std::move(b));
            } else if (AcceptKw("else")) {
                s.hasElse = true;
                ParseBlock(s.elseBody, {"end if"}, "End");
            } else {
                break;
            }
        }
        ExpectKw("end", 1014, "Expected 'End'");
        ExpectKw("if", 1012, "Expected 'If'");
        EndStatement();
    }

    // Statements of a one-line If, separated by ":", up to "Else" or the line end.
    void ParseLineStatements(Block& out) {
        for (;;) {
            while (Peek().kind == Tok::Eol && Peek().text == ":")
                Next();
            if (AtStmtEnd() || IsKw("else"))
                return;
            ParseStatement(out, false);
        }
    }

    void ParseSelect(Stmt& s) {
        s.kind = SK::Select;
        ExpectKw("case", 1021, "Expected 'Case'");
        s.a = ParseExpr();
        EndStatement();
        while (Peek().kind == Tok::Eol)
            Next();
        for (;;) {
            if (IsKw("end") && IsKw("select", 1))
                break;
            ExpectKw("case", 1021, "Expected 'Case'");
            if (AcceptKw("else")) {
                s.hasElse = true;
                ParseBlock(s.elseBody, {"end select"}, "End");
                break;
            }
            CaseClause clause;
            do {
                CaseTest test;
                if (AcceptKw("is")) {
                    test.kind = CaseTest::Is;
                    static const std::pair<const char*, BinOp> ops[] = {
                        {"=", BinOp::Eq}, {"<>", BinOp::Ne}, {"<", BinOp::Lt},
                        {">", BinOp::Gt}, {"<=", BinOp::Le}, {">=", BinOp::Ge}};
                    bool found = false;
                    for (const auto& [text, op] : ops) {
                        if (AcceptOp(text)) {
                            test.op = op;
                            found = true;
                            break;
                        }
                    }
                    if (!found)
                        Fail(1002, "Syntax error");
                    test.a = ParseExpr(5 + 1);
                } else {
                    test.a = ParseExpr();
                    if (AcceptKw("to")) {
                        test.kind = CaseTest::Range;
                        test.b = ParseExpr();
                    }
                }
                clause.tests.push_back(std::move(test));
            } while (AcceptOp(","));
            EndStatement();
            ParseBlock(clause.body, {"case", "end select"}, "End");
            s.cases.push_back(std::move(clause));
        }
        ExpectKw("end", 1014, "Expected 'End'");
        ExpectKw("select", 1022, "Expected 'Select'");
    }

    void ParseFor(Stmt& s) {
        if (AcceptKw("each")) {
            s.kind = SK::ForEach;
            std::tie(s.name, s.raw) = ExpectName();
            ExpectKw("in", 1002, "Syntax error: expected 'In'");
            s.a = ParseExpr();
        } else {
            s.kind = SK::For;
            std::tie(s.name, s.raw) = ExpectName();
            ExpectOp("=", 1011, "Expected '='");
            s.a = ParseExpr();
            ExpectKw("to", 1013, "Expected 'To'");
            s.b = ParseExpr();
            if (AcceptKw("step"))
                s.c = ParseExpr();
        }
        EndStatement();
        ++forDepth_;
        ParseBlock(s.body, {"next"}, "Next");
        --forDepth_;
        Next();
        if (Peek().kind == Tok::Ident && !IsKw("else")) {
            auto [name, raw] = ExpectName();
            if (name != s.name)
                Fail(1002, "Syntax error: 'Next " + raw + "' does not match 'For " + s.raw + "'");
        }
    }

    void ParseDo(Stmt& s) {
        s.kind = SK::Do;
        if (IsKw("while") || IsKw("until")) {
            s.flag = true;
            s.until = Next().text == "until";
            s.a = ParseExpr();
        }
        EndStatement();
        ++doDepth_;
        ParseBlock(s.body, {"loop"}, "Loop");
        --doDepth_;
        Next();
        if (IsKw("while") || IsKw("until")) {
            if (s.a)
                Fail(1025, "Expected end of statement");
            s.until = Next().text == "until";
            s.a = ParseExpr();
        }
    }

    void ParseProc(bool isFunction) {
        auto proc = std::make_unique<Proc>();
        proc->line = Peek().line;
        proc->isFunction = isFunction;
        std::tie(proc->name, proc->raw) = ExpectName();
        if (prog_->procs.count(proc->name))
            Fail(1041, "Name redefined");
        if (AcceptOp("(")) {
            while (!IsOp(")")) {
                Param par;
                par.optional = AcceptKw("optional");
                if (AcceptKw("byval"))
                    par.byRef = false;
                else
                    AcceptKw("byref");
                par.name = ExpectName().first;
                if (AcceptOp("("))
                    ExpectOp(")", 1006, "Expected ')'");
                if (par.optional && AcceptOp("="))
                    par.def = ParseExpr();
                proc->params.push_back(std::move(par));
                if (!AcceptOp(","))
                    break;
            }
            ExpectOp(")", 1006, "Expected ')'");
        }
        EndStatement();
        inProc_ = true;
        procKind_ = isFunction ? 2 : 1;
        int saveFor = forDepth_, saveDo = doDepth_;
        forDepth_ = doDepth_ = 0;
        const char* end = isFunction ? "end function" : "end sub";
        ParseBlock(proc->body, {end}, "End");
        forDepth_ = saveFor;
        doDepth_ = saveDo;
        inProc_ = false;
        procKind_ = 0;
        Next();
        Next();
        EndStatement();
        std::string name = proc->name;
        prog_->procs.emplace(name, std::move(proc));
    }

    // ---- expressions
    // Binding, loosest first: Xor 1, Or 2, And 3, Not 4, comparisons 5, & 6,
    // + - 7, Mod 8, \ 9, * / 10, unary minus 11, ^ 12.

    int BinaryLevel(BinOp& op) const {
        const Token& t = Peek();
        if (t.kind == Tok::Ident) {
            if (t.text == "xor")
                return op = BinOp::Xor, 1;
            if (t.text == "or")
                return op = BinOp::Or, 2;
            if (t.text == "and")
                return op = BinOp::And, 3;
            if (t.text == "is")
                return op = BinOp::Is, 5;
            if (t.text == "mod")
                return op = BinOp::Mod, 8;
            return 0;
        }
        if (t.kind != Tok::Op)
            return 0;
        static const std::pair<const char*, std::pair<BinOp, int>> ops[] = {
            {"=", {BinOp::Eq, 5}},      {"<>", {BinOp::Ne, 5}},  {"<", {BinOp::Lt, 5}},
            {">", {BinOp::Gt, 5}},      {"<=", {BinOp::Le, 5}},  {">=", {BinOp::Ge, 5}},
            {"&", {BinOp::Cat, 6}},     {"+", {BinOp::Add, 7}},  {"-", {BinOp::Sub, 7}},
            {"\\", {BinOp::IntDiv, 9}}, {"*", {BinOp::Mul, 10}}, {"/", {BinOp::Div, 10}},
            {"^", {BinOp::Pow, 12}}};
        for (const auto& [text, v] : ops) {
            if (t.text == text) {
                op = v.first;
                return v.second;
            }
        }
        return 0;
    }

    ExprP Make(EK kind, int line, ExprP a = nullptr, ExprP b = nullptr) {
        auto e = std::make_unique<Expr>();
        e->kind = kind;
        e->line = line;
        int d = 0;
        if (a)
            d = a->depth;
        if (b)
            d = std::max(d, b->depth);
        e->depth = d + 1;
        if (e->depth > static_cast<int>(limits_.MaxNesting) * 4)
            Fail(1002, "Syntax error: expression too complex");
        e->a = std::move(a);
        e->b = std::move(b);
        return e;
    }

    ExprP ParseExpr(int minLevel = 1) {
        Nest guard(*this);
        ExprP lhs = ParseUnary();
        return ParseBinaryRest(std::move(lhs), minLevel);
    }

    ExprP ParseBinaryRest(ExprP lhs, int minLevel) {
        for (;;) {
            BinOp op{};
            int level = BinaryLevel(op);
            if (level == 0 || level < minLevel)
                return lhs;
            int line = Next().line;
            ExprP rhs = ParseExpr(level + 1);
            ExprP e = Make(EK::Binary, line, std::move(lhs), std::move(rhs));
            e->op = op;
            lhs = std::move(e);
        }
    }

    ExprP ParseUnary() {
        int line = Peek().line;
        if (AcceptKw("not"))
            return Make(EK::Not, line, ParseExpr(5));
        if (AcceptOp("-"))
            return Make(EK::Neg, line, ParseExpr(11));
        if (AcceptOp("+"))
            return ParseExpr(11);
        return ParsePostfix();
    }

    ExprP ParsePrimary() {
        const Token& t = Peek();
        int line = t.line;
        switch (t.kind) {
        case Tok::Number:
        case Tok::Date: {
            ExprP e = Make(EK::Lit, line);
            e->lit = Next().num;
            return e;
        }
        case Tok::String: {
            ExprP e = Make(EK::Lit, line);
            e->lit = Value::Str(Next().text);
            return e;
        }
        case Tok::Op:
            if (t.text == "(") {
                Next();
                ExprP inner = ParseExpr();
                ExpectOp(")", 1006, "Expected ')'");
                return Make(EK::Paren, line, std::move(inner));
            }
            Fail(1023, "Expected expression");
        case Tok::Ident: {
            const std::string& w = t.text;
            ExprP e = Make(EK::Lit, line);
            if (w == "true" || w == "false") {
                e->lit = Value::Bool(w == "true");
            } else if (w == "empty") {
                e->lit = Value();
            } else if (w == "null") {
                e->lit = Value::Null();
            } else if (w == "nothing") {
                e->lit = Value::Nothing();
            } else if (IsReserved(w)) {
                Fail(1023, "Expected expression");
            } else if (BuiltinConstant(w, e->lit)) {
            } else {
                e->kind = EK::Var;
                e->name = w;
                e->raw = t.raw;
            }
            Next();
            return e;
        }
        default:
            Fail(1023, "Expected expression");
        }
    }

    ExprP ParsePostfix() {
        Nest guard(*this);
        ExprP e = ParsePrimary();
        for (;;) {
            if (IsOp("(") && (e->kind == EK::Var || e->kind == EK::Member || e->kind == EK::Call)) {
                bool spaced = Peek().spaceBefore;
                int line = Next().line;
                ExprP call = Make(EK::Call, line, std::move(e));
                call->spacedParen = spaced;
                if (!IsOp(")")) {
                    do {
                        call->args.push_back(ParseArg());
                    } while (AcceptOp(","));
                }
                ExpectOp(")", 1006, "Expected ')'");
                for (const ExprP& arg : call->args)
                    if (arg)
                        call->depth = std::max(call->depth, arg->depth + 1);
                e = std::move(call);
            } else if (IsOp(".") && !Peek().spaceBefore) {
                int line = Next().line;
                if (Peek().kind != Tok::Ident)
                    Fail(1010, "Expected identifier");
                ExprP m = Make(EK::Member, line, std::move(e));
                m->name = Next().raw;
                e = std::move(m);
            } else {
                return e;
            }
        }
    }

    std::vector<Token> t_;
    std::size_t p_ = 0;
    const TBasicLimits& limits_;
    std::unique_ptr<ast::Program> prog_;
    unsigned nesting_ = 0;
    int singleLineIf_ = 0;
    bool inProc_ = false;
    int procKind_ = 0; // 1 Sub, 2 Function
    int forDepth_ = 0;
    int doDepth_ = 0;
};

} // namespace

std::unique_ptr<ast::Program> Program(const std::string& source, const TBasicLimits& limits) {
    return Parser(source, limits).ParseProgram();
}

ExprP Expression(const std::string& source, const TBasicLimits& limits) {
    return Parser(source, limits).ParseOnlyExpression();
}

} // namespace basic::parse
