#pragma once
// The tree-walking interpreter: runs a parsed program or evaluates one
// expression against the host's named objects, within the host's limits.
#include "platform/basic/ast_p.h"
#include "platform/basic/builtins_p.h"
#include "platform/basic/limits.h"
#include "platform/basic/object.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
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
        std::uint32_t refs = 0; // frames holding it (one thread only: no atomics)
    };
    // A frame's hold on a variable; a parameter passed by reference is held
    // by the caller's frame and the callee's.
    class VarP {
    public:
        VarP() noexcept : v_(nullptr) {}
        explicit VarP(Var* v) : v_(v) { Hold(); }
        VarP(const VarP& o) : v_(o.v_) { Hold(); }
        VarP(VarP&& o) noexcept : v_(std::exchange(o.v_, nullptr)) {}
        VarP& operator=(VarP o) noexcept {
            std::swap(v_, o.v_);
            return *this;
        }
        ~VarP() {
            if (v_ && --v_->refs == 0)
                delete v_;
        }
        [[nodiscard]] Var* get() const { return v_; }
        Var* operator->() const { return v_; }
        Var& operator*() const { return *v_; }
        explicit operator bool() const { return v_ != nullptr; }

    private:
        void Hold() {
            if (v_)
                ++v_->refs;
        }
        Var* v_ = nullptr;
    };
    static VarP NewVar() { return VarP(new Var); }
    // A frame's variables by lower-case name: a few in place (a procedure
    // has few), more in a list with a hash index once it grows. Adds() moves
    // whenever a name is added or rebound, so look-ups kept in the tree can
    // tell they still hold.
    class VarTable {
    public:
        using Entry = std::pair<std::string, VarP>;
        [[nodiscard]] VarP* Find(const std::string& name);
        // Its position, or -1; and the entry at a position (null past the end).
        [[nodiscard]] int IndexOf(const std::string& name);
        [[nodiscard]] Entry* At(int index);
        void Set(const std::string& name, VarP var);
        // Set for a name known to be missing; returns its position.
        int Add(const std::string& name, VarP var);
        void Clear();
        // Lets go of every variable but keeps the room (and the names'
        // storage) for the next call's frame.
        void Release();
        [[nodiscard]] std::uint32_t Adds() const { return adds_; }
        template <class F> void ForEach(F&& f) {
            for (std::size_t i = 0; i < std::min(count_, kInPlace); ++i)
                f(inPlace_[i]);
            for (Entry& e : more_)
                f(e);
        }

    private:
        static constexpr std::size_t kInPlace = 4;
        std::array<Entry, kInPlace> inPlace_;
        std::size_t count_ = 0;
        std::vector<Entry> more_; // past the first kInPlace
        std::unique_ptr<std::unordered_map<std::string, std::size_t>> index_; // once long
        std::uint32_t adds_ = 0;
    };
    struct Frame {
        Frame();
        VarTable vars;
        std::uint64_t id; // never the same twice in the process
        const ast::Proc* proc = nullptr;
        bool resumeNext = false;
    };
    enum class Flow { Normal, ExitFor, ExitDo, ExitProc };
    class ErrObject;

    void Begin();
    [[noreturn]] void Rethrow(const RunError& e, int fallbackLine);

    void Tick() {
        ++statements_;
        // A countdown rather than a division per statement.
        if ((limits_.MaxStatements && statements_ > limits_.MaxStatements) ||
            (limits_.DoEventsInterval &&
             (--untilEvents_ == 0 || untilEvents_ > limits_.DoEventsInterval)))
            CheckLimits();
    }
    void CheckLimits();
    void CheckStack() const;
    Var* Find(const std::string& name);
    // The same for a name in the tree, kept in its node between look-ups.
    Var* Find(const ast::Expr& varExpr) {
        const Frame& f = *frames_.back();
        const ast::NameCache& c = varExpr.cache;
        if (c.frame == f.id && c.frameAdds == f.vars.Adds() && c.globalAdds == globals_.vars.Adds())
            return static_cast<Var*>(c.var);
        return FindAgain(varExpr);
    }
    Var* FindAgain(const ast::Expr& varExpr);
    Var& FindOrCreate(const ast::Expr& varExpr);
    // The procedure and the built-in a name stands for (either may be null).
    void Resolve(const ast::Expr& name) {
        if (name.resolvedFor != program_)
            ResolveAgain(name);
    }
    void ResolveAgain(const ast::Expr& name);
    [[nodiscard]] bool Pure(const ast::Expr& e) {
        return e.pureFor == program_ ? e.pure : PureAgain(e);
    }
    [[nodiscard]] bool PureAgain(const ast::Expr& e);
    // Whole-number arithmetic of a tree marked whole, without variants:
    // false as soon as a value is no Long or a step leaves 32 bits (the
    // general way, run then, gives the Double or the error).
    bool WholeNumber(const ast::Expr& e, std::int64_t& out);
    // The same, with literals and variables (most operands) read inline.
    bool WholeOperand(const ast::Expr& e, std::int64_t& out) {
        if (e.kind == ast::EK::Lit) {
            out = e.lit.l;
            return true;
        }
        if (e.kind == ast::EK::Var) {
            const Var* v = Find(e);
            if (!v || v->v.type != VType::Long)
                return false;
            out = v->v.l;
            return true;
        }
        return WholeNumber(e, out);
    }
    // An operand: the literal or variable itself where nothing evaluated
    // later can change it (stable), else its value in temp.
    const Value& Operand(const ast::Expr& e, ValueSlot& temp, bool stable);
    // "s = s & x": appended in place; false when the general way must run.
    bool AppendInPlace(const ast::Stmt& s);
    // Arrays are copied on assignment; every other value moves.
    [[nodiscard]] Value Owned(Value&& v) const;

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
    Value CallBuiltin(const Builtin& b, const std::vector<ast::ExprP>& args);

    const TBasicLimits& limits_;
    const Host& host_;
    const ast::Program* program_ = nullptr;
    Frame globals_;
    // The frames of calls, kept for the next call at the same depth;
    // callFrames_[0, framesTaken_) are in use.
    std::vector<std::unique_ptr<Frame>> callFrames_;
    std::size_t framesTaken_ = 0;
    std::vector<Frame*> frames_;
    std::shared_ptr<ErrObject> err_;
    std::uint64_t statements_ = 0;
    std::uint64_t untilEvents_ = 0; // statements left before the next do-events
    std::uint32_t callDepth_ = 0;
    std::uintptr_t stackBase_ = 0;
    std::uintptr_t stackBudget_ = 0;
    std::string printLine_;
    // Argument lists of built-in calls, kept for the next call at each depth.
    std::vector<std::vector<Value>> argLists_;
    std::size_t argDepth_ = 0;
    std::uint32_t rndSeed_ = 0x50000;
    float rndLast_ = 0;
};

} // namespace basic
