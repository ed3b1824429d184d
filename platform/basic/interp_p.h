#pragma once
// The tree-walking interpreter: runs a parsed program or evaluates one
// expression against the host's named objects, within the host's limits.
#include "platform/basic/ast_p.h"
#include "platform/basic/limits.h"
#include "platform/basic/object.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace basic {

// What the interpreter needs from the engine that hosts it.
struct Host {
    std::function<void(const std::string&)> log;
    std::function<void()> doEvents;
    std::function<std::shared_ptr<Object>(const std::string& progId)> createObject;
    const bool* stopRequested = nullptr;
    const std::vector<std::pair<std::string, std::shared_ptr<Object>>>* named = nullptr;
};

class Interp {
public:
    Interp(const TBasicLimits& limits, const Host& host);
    ~Interp();
    Interp(const Interp&) = delete;
    Interp& operator=(const Interp&) = delete;

    // Module-level code, then Main when the program defines it. Throws EScriptError.
    void Run(const ast::Program& program);
    // Throws EScriptError.
    Value Evaluate(const ast::Expr& expr);

    // ---- for the built-in functions
    void Log(const std::string& line);
    std::shared_ptr<Object> CreateObject(const std::string& progId);
    void CheckString(std::size_t length) const;
    void CheckArray(std::size_t length) const;
    [[nodiscard]] Value CopyOf(const Value& v) const;
    float NextRandom(double arg);
    void Randomize(double seed);

private:
    struct Var {
        Value v;
        bool isConst = false;
    };
    using VarP = std::shared_ptr<Var>;
    struct Frame {
        std::unordered_map<std::string, VarP> vars;
        const ast::Proc* proc = nullptr;
        bool resumeNext = false;
    };
    enum class Flow { Normal, ExitFor, ExitDo, ExitProc };
    class ErrObject;

    void Begin();
    [[noreturn]] void Rethrow(const RunError& e, int fallbackLine);

    void Tick();
    void CheckStack() const;
    Var* Find(const std::string& name);
    Var& FindOrCreate(const ast::Expr& varExpr);

    Flow ExecBlock(const ast::Block& block);
    Flow Exec(const ast::Stmt& s);
    Flow ExecInner(const ast::Stmt& s);
    void ExecDim(const ast::Stmt& s);
    void ExecReDim(const ast::Stmt& s);
    void ExecAssign(const ast::Stmt& s, bool isSet);
    void ExecCall(const ast::Stmt& s);
    Flow ExecFor(const ast::Stmt& s);
    Flow ExecForEach(const ast::Stmt& s);
    Flow ExecDo(const ast::Stmt& s);
    Flow ExecSelect(const ast::Stmt& s);
    void ExecPrint(const ast::Stmt& s);
    bool Condition(const ast::Expr& e);

    Value Eval(const ast::Expr& e);
    Value EvalVar(const ast::Expr& e);
    Value EvalCall(const ast::Expr& e, InvokeKind kind);
    std::vector<Value> EvalArgs(const std::vector<ast::ExprP>& args);
    Value Index(const Value& target, std::vector<Value>& args, const std::string& name);
    Value& Element(Value& array, std::vector<Value>& args, const std::string& name);
    Value CallProc(const ast::Proc& proc, const std::vector<ast::ExprP>& args);
    Value CallBuiltinOrProc(const ast::Expr& callee, const std::vector<ast::ExprP>& args,
                            bool statement);

    const TBasicLimits& limits_;
    const Host& host_;
    const ast::Program* program_ = nullptr;
    Frame globals_;
    std::vector<Frame*> frames_;
    std::shared_ptr<ErrObject> err_;
    std::uint64_t statements_ = 0;
    std::uint32_t callDepth_ = 0;
    std::uintptr_t stackBase_ = 0;
    std::uintptr_t stackBudget_ = 0;
    std::string printLine_;
    std::uint32_t rndSeed_ = 0x50000;
    float rndLast_ = 0;
};

} // namespace basic
