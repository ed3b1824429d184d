#include "platform/basic/interp_p.h"

#include "platform/basic/builtins_p.h"
#include "platform/basic/error.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <pthread.h>
#include <stdexcept>
#include <utility>

namespace basic {

using namespace ast;

// ---- Err: the last run-time error that On Error Resume Next passed over.

class Interp::ErrObject : public Object {
public:
    int number = 0;
    std::string description, source;

    void Set(const RunError& e) {
        number = e.Number();
        description = e.what();
        source = "Basic runtime error";
    }
    void Clear() {
        number = 0;
        description.clear();
        source.clear();
    }

    Value Invoke(const std::string& name0, InvokeKind kind, std::vector<Value>& args) override {
        std::string name = Lower(name0);
        bool put = kind == InvokeKind::Put || kind == InvokeKind::PutRef;
        if (name.empty() || name == "number") {
            if (put) {
                number = ToLong(args.at(args.size() - 1));
                return {};
            }
            return Value::Long(number);
        }
        if (name == "description" || name == "source") {
            std::string& field = name == "source" ? source : description;
            if (put) {
                field = ToStr(args.at(args.size() - 1));
                return {};
            }
            return Value::Str(field);
        }
        if (name == "clear" && !put) {
            Clear();
            return {};
        }
        if (name == "raise" && !put) {
            if (args.empty() || args.size() > 5)
                Raise(errWrongArgs, "Err.Raise");
            int n = ToLong(args[0]);
            std::string text =
                args.size() > 2 && args[2].type != VType::Empty ? ToStr(args[2]) : ErrorText(n);
            throw RunError(n, text);
        }
        Raise(errNoMember, "Err." + name0);
    }
};

namespace {

// The lowest address of this thread's stack; 0 when unknown. Asked once
// per thread: for the main thread the answer comes from /proc.
std::uintptr_t ThreadStackLow() {
    thread_local std::uintptr_t low = [] {
        std::uintptr_t result = 0;
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            void* addr = nullptr;
            std::size_t size = 0;
            if (pthread_attr_getstack(&attr, &addr, &size) == 0)
                result = reinterpret_cast<std::uintptr_t>(addr);
            pthread_attr_destroy(&attr);
        }
        return result;
    }();
    return low;
}

} // namespace

Interp::Interp(const TBasicLimits& limits, const Host& host) : limits_(limits), host_(host) {}

Interp::~Interp() {
    // Objects may hold each other through the globals; break the cycles.
    for (auto& [name, var] : globals_.vars)
        var->v = Value();
}

void Interp::Begin() {
    globals_.vars.clear();
    frames_.assign(1, &globals_);
    err_ = std::make_shared<ErrObject>();
    auto errVar = std::make_shared<Var>();
    errVar->v = Value::Obj(err_);
    errVar->isConst = true;
    globals_.vars["err"] = errVar;
    if (host_.named) {
        for (const auto& [name, obj] : *host_.named) {
            auto v = std::make_shared<Var>();
            v->v = Value::Obj(obj);
            globals_.vars[Lower(name)] = v;
        }
    }
    statements_ = 0;
    callDepth_ = 0;
    int probe = 0;
    stackBase_ = reinterpret_cast<std::uintptr_t>(&probe);
    // Never more than the thread has left, whatever the settings say.
    stackBudget_ = limits_.MaxStackBytes;
    std::uintptr_t low = ThreadStackLow();
    if (low && low < stackBase_) {
        std::uintptr_t left = stackBase_ - low;
        constexpr std::uintptr_t margin = 256 * 1024;
        stackBudget_ = std::min<std::uintptr_t>(stackBudget_, left > margin ? left - margin : 0);
    }
}

void Interp::Rethrow(const RunError& e, int fallbackLine) {
    int line = e.Line() ? e.Line() : fallbackLine;
    throw EScriptError(line, e.Number(), e.what());
}

void Interp::Run(const Program& program) {
    program_ = &program;
    Begin();
    try {
        ExecBlock(program.main);
        auto main = program.procs.find("main");
        if (main != program.procs.end()) {
            std::vector<ExprP> none;
            CallProc(*main->second, none);
        }
    } catch (const RunError& e) {
        if (!printLine_.empty())
            Log(std::exchange(printLine_, {}));
        Rethrow(e, 0);
    } catch (const std::bad_alloc&) {
        throw EScriptError(0, errOutOfMemory, ErrorText(errOutOfMemory));
    } catch (const std::length_error&) {
        throw EScriptError(0, errOutOfMemory, ErrorText(errOutOfMemory));
    }
    if (!printLine_.empty())
        Log(std::exchange(printLine_, {}));
}

Value Interp::Evaluate(const Expr& expr) {
    static const Program empty;
    program_ = &empty;
    Begin();
    try {
        return Eval(expr);
    } catch (const RunError& e) {
        Rethrow(e, expr.line);
    } catch (const std::bad_alloc&) {
        throw EScriptError(expr.line, errOutOfMemory, ErrorText(errOutOfMemory));
    }
}

// ---- limits

void Interp::Tick() {
    ++statements_;
    if (limits_.MaxStatements && statements_ > limits_.MaxStatements)
        throw FatalError(errRunaway, ErrorText(errRunaway));
    if (limits_.DoEventsInterval && statements_ % limits_.DoEventsInterval == 0) {
        if (host_.doEvents)
            host_.doEvents();
        if (host_.stopRequested && *host_.stopRequested)
            throw FatalError(errStopped, ErrorText(errStopped));
    }
}

void Interp::CheckStack() const {
    int probe = 0;
    auto here = reinterpret_cast<std::uintptr_t>(&probe);
    std::uintptr_t used = stackBase_ > here ? stackBase_ - here : here - stackBase_;
    if (used > stackBudget_ || callDepth_ > limits_.MaxCallDepth)
        throw FatalError(errOutOfStack, ErrorText(errOutOfStack));
}

void Interp::CheckString(std::size_t length) const {
    if (length > limits_.MaxStringLength)
        throw FatalError(errOutOfMemory, ErrorText(errOutOfMemory));
}

void Interp::CheckArray(std::size_t length) const {
    if (length > limits_.MaxArrayLength)
        throw FatalError(errOutOfMemory, ErrorText(errOutOfMemory));
}

Value Interp::CopyOf(const Value& v) const {
    return v.Copy(limits_.MaxArrayLength, static_cast<int>(limits_.MaxNesting));
}

void Interp::Log(const std::string& line) {
    if (host_.log)
        host_.log(line);
}

std::shared_ptr<Object> Interp::CreateObject(const std::string& progId) {
    std::shared_ptr<Object> obj = host_.createObject ? host_.createObject(progId) : nullptr;
    if (!obj)
        Raise(errCantCreate, progId);
    return obj;
}

// The classic generator: x = (x * 1140671485 + 12820163) mod 2^24.
float Interp::NextRandom(double arg) {
    if (arg < 0) {
        float f = static_cast<float>(arg);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        rndSeed_ = (bits + (bits >> 24)) & 0xFFFFFF;
    }
    if (arg != 0) {
        rndSeed_ = (rndSeed_ * 1140671485u + 12820163u) & 0xFFFFFF;
        rndLast_ = static_cast<float>(rndSeed_) / 16777216.0f;
    }
    return rndLast_;
}

void Interp::Randomize(double seed) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &seed, sizeof bits);
    rndSeed_ = static_cast<std::uint32_t>((bits >> 24) ^ bits) & 0xFFFFFF;
}

// ---- variables

Interp::Var* Interp::Find(const std::string& name) {
    Frame& f = *frames_.back();
    auto it = f.vars.find(name);
    if (it != f.vars.end())
        return it->second.get();
    if (&f != &globals_) {
        it = globals_.vars.find(name);
        if (it != globals_.vars.end())
            return it->second.get();
    }
    return nullptr;
}

Interp::Var& Interp::FindOrCreate(const Expr& e) {
    if (Var* v = Find(e.name))
        return *v;
    if (program_->optionExplicit)
        Raise(errUndefined, e.raw);
    auto v = std::make_shared<Var>();
    Var& ref = *v;
    frames_.back()->vars.emplace(e.name, std::move(v));
    return ref;
}

// ---- statements

Interp::Flow Interp::ExecBlock(const Block& block) {
    for (const StmtP& s : block) {
        Flow f = Exec(*s);
        if (f != Flow::Normal)
            return f;
    }
    return Flow::Normal;
}

Interp::Flow Interp::Exec(const Stmt& s) {
    Tick();
    try {
        return ExecInner(s);
    } catch (RunError& e) {
        if (!e.Line())
            e.SetLine(s.line);
        if (frames_.back()->resumeNext && !dynamic_cast<FatalError*>(&e)) {
            err_->Set(e);
            return Flow::Normal;
        }
        throw;
    }
}

Interp::Flow Interp::ExecInner(const Stmt& s) {
    switch (s.kind) {
    case SK::Dim:
        ExecDim(s);
        return Flow::Normal;
    case SK::ReDim:
        ExecReDim(s);
        return Flow::Normal;
    case SK::Const:
        for (const DimItem& item : s.dims) {
            Frame& f = *frames_.back();
            if (f.vars.count(item.name) && f.vars[item.name]->isConst)
                Raise(errIllegalAssign, item.raw);
            auto v = std::make_shared<Var>();
            v->v = CopyOf(Eval(*item.bound));
            v->isConst = true;
            f.vars[item.name] = std::move(v);
        }
        return Flow::Normal;
    case SK::Assign:
        ExecAssign(s, false);
        return Flow::Normal;
    case SK::Set:
        ExecAssign(s, true);
        return Flow::Normal;
    case SK::Call:
        ExecCall(s);
        return Flow::Normal;
    case SK::If:
        for (const auto& [cond, body] : s.branches)
            if (Condition(*cond))
                return ExecBlock(body);
        if (s.hasElse)
            return ExecBlock(s.elseBody);
        return Flow::Normal;
    case SK::Select:
        return ExecSelect(s);
    case SK::For:
        return ExecFor(s);
    case SK::ForEach:
        return ExecForEach(s);
    case SK::Do:
        return ExecDo(s);
    case SK::While:
        while (Condition(*s.a)) {
            Flow f = ExecBlock(s.body);
            if (f != Flow::Normal)
                return f;
            Tick();
        }
        return Flow::Normal;
    case SK::Exit:
        return s.exit == ExitKind::For  ? Flow::ExitFor
               : s.exit == ExitKind::Do ? Flow::ExitDo
                                        : Flow::ExitProc;
    case SK::OnError:
        frames_.back()->resumeNext = s.flag;
        err_->Clear();
        return Flow::Normal;
    case SK::Print:
        ExecPrint(s);
        return Flow::Normal;
    }
    return Flow::Normal;
}

bool Interp::Condition(const Expr& e) {
    Value v = Eval(e);
    if (v.type == VType::Null)
        return false;
    return ToBool(v);
}

void Interp::ExecDim(const Stmt& s) {
    Frame& f = *frames_.back();
    for (const DimItem& item : s.dims) {
        // Dim declares: running it again (in a loop) keeps the value.
        if (f.vars.count(item.name))
            continue;
        auto v = std::make_shared<Var>();
        if (item.isArray) {
            if (item.bound) {
                std::int32_t ub = ToLong(Eval(*item.bound));
                if (ub < -1)
                    Raise(errSubscript, item.raw);
                CheckArray(static_cast<std::size_t>(ub) + 1);
                v->v = Value::Array(static_cast<std::size_t>(ub + 1));
                v->v.arr->fixed = true;
            } else {
                v->v = Value::Array(0);
            }
        }
        f.vars.emplace(item.name, std::move(v));
    }
}

void Interp::ExecReDim(const Stmt& s) {
    for (const DimItem& item : s.dims) {
        std::int32_t ub = ToLong(Eval(*item.bound));
        if (ub < -1)
            Raise(errSubscript, item.raw);
        CheckArray(static_cast<std::size_t>(ub) + 1);
        Var* var = Find(item.name);
        if (!var) {
            // ReDim of an undeclared name declares it, even under Option Explicit.
            auto v = std::make_shared<Var>();
            var = v.get();
            frames_.back()->vars.emplace(item.name, std::move(v));
        }
        if (var->isConst)
            Raise(errIllegalAssign, item.raw);
        if (var->v.type == VType::Array && var->v.arr->fixed)
            Raise(errFixedArray, item.raw);
        if (s.flag && var->v.type == VType::Array) {
            var->v.arr->items.resize(static_cast<std::size_t>(ub + 1));
        } else {
            var->v = Value::Array(static_cast<std::size_t>(ub + 1));
        }
    }
}

void Interp::ExecAssign(const Stmt& s, bool isSet) {
    Value v = Eval(*s.b);
    if (isSet) {
        if (v.type != VType::Object)
            Raise(errObjectRequired);
    } else if (v.type == VType::Object) {
        v = Scalar(v);
    } else {
        v = CopyOf(v);
    }
    if (v.type == VType::String)
        CheckString(v.s.size());
    const Expr& t = *s.a;
    InvokeKind put = isSet ? InvokeKind::PutRef : InvokeKind::Put;
    switch (t.kind) {
    case EK::Var: {
        Var& var = FindOrCreate(t);
        if (var.isConst)
            Raise(errIllegalAssign, t.raw);
        var.v = std::move(v);
        return;
    }
    case EK::Member: {
        Value obj = Eval(*t.a);
        if (obj.type != VType::Object)
            Raise(errObjectRequired, t.name);
        if (!obj.obj)
            Raise(errObjectNotSet);
        std::vector<Value> args{std::move(v)};
        obj.obj->Invoke(t.name, put, args);
        return;
    }
    case EK::Call: {
        std::vector<Value> args = EvalArgs(t.args);
        const Expr& callee = *t.a;
        if (callee.kind == EK::Member) {
            Value obj = Eval(*callee.a);
            if (obj.type != VType::Object)
                Raise(errObjectRequired, callee.name);
            if (!obj.obj)
                Raise(errObjectNotSet);
            args.push_back(std::move(v));
            obj.obj->Invoke(callee.name, put, args);
            return;
        }
        if (callee.kind == EK::Var) {
            Var* var = Find(callee.name);
            if (!var && program_->optionExplicit)
                Raise(errUndefined, callee.raw);
            if (var && var->v.type == VType::Array) {
                Element(var->v, args, callee.raw) = std::move(v);
                return;
            }
            if (var && var->v.type == VType::Object && var->v.obj) {
                args.push_back(std::move(v));
                var->v.obj->Invoke("", put, args);
                return;
            }
            Raise(errTypeMismatch, callee.raw);
        }
        Raise(errIllegalAssign);
    }
    default:
        Raise(errIllegalAssign);
    }
}

void Interp::ExecCall(const Stmt& s) {
    const Expr& callee = *s.a;
    if (callee.kind == EK::Member) {
        Value obj = Eval(*callee.a);
        if (obj.type != VType::Object)
            Raise(errObjectRequired, callee.name);
        if (!obj.obj)
            Raise(errObjectNotSet);
        std::vector<Value> args = EvalArgs(s.args);
        obj.obj->Invoke(callee.name, InvokeKind::Method, args);
        return;
    }
    if (callee.kind == EK::Var) {
        (void)CallBuiltinOrProc(callee, s.args, true);
        return;
    }
    // a(1)(2) as a statement: evaluate for its effects.
    std::vector<Value> args = EvalArgs(s.args);
    Value target = Eval(callee);
    (void)Index(target, args, "");
}

Interp::Flow Interp::ExecFor(const Stmt& s) {
    Value from = Scalar(Eval(*s.a)), to = Scalar(Eval(*s.b));
    Value step = s.c ? Scalar(Eval(*s.c)) : Value::Long(1);
    Expr ref;
    ref.kind = EK::Var;
    ref.name = s.name;
    ref.raw = s.raw;
    bool integral = from.type == VType::Long && to.type == VType::Long && step.type == VType::Long;
    double limit = ToDouble(to), inc = ToDouble(step);
    {
        Var& var = FindOrCreate(ref);
        if (var.isConst)
            Raise(errIllegalAssign, s.raw);
        var.v = integral ? from : Value::Dbl(ToDouble(from));
    }
    for (;;) {
        // The body may change the variable; read it every turn.
        Var& var = FindOrCreate(ref);
        double cur = ToDouble(var.v);
        if (inc >= 0 ? cur > limit : cur < limit)
            break;
        Flow f = ExecBlock(s.body);
        if (f == Flow::ExitFor)
            break;
        if (f != Flow::Normal)
            return f;
        Tick();
        Var& after = FindOrCreate(ref);
        if (integral && after.v.type == VType::Long)
            after.v = Value::Long(static_cast<std::int64_t>(after.v.l) + step.l);
        else
            after.v = Value::Dbl(ToDouble(after.v) + inc);
    }
    return Flow::Normal;
}

Interp::Flow Interp::ExecForEach(const Stmt& s) {
    Value coll = Eval(*s.a);
    if (coll.type != VType::Array)
        Raise(coll.type == VType::Object ? errNoMember : errTypeMismatch, s.raw);
    std::vector<Value> items = coll.arr->items; // the loop sees the array as it was
    Expr ref;
    ref.kind = EK::Var;
    ref.name = s.name;
    ref.raw = s.raw;
    for (Value& item : items) {
        Var& var = FindOrCreate(ref);
        if (var.isConst)
            Raise(errIllegalAssign, s.raw);
        var.v = std::move(item);
        Flow f = ExecBlock(s.body);
        if (f == Flow::ExitFor)
            break;
        if (f != Flow::Normal)
            return f;
        Tick();
    }
    return Flow::Normal;
}

Interp::Flow Interp::ExecDo(const Stmt& s) {
    for (;;) {
        if (s.flag && s.a && Condition(*s.a) == s.until)
            break;
        Flow f = ExecBlock(s.body);
        if (f == Flow::ExitDo)
            break;
        if (f != Flow::Normal)
            return f;
        if (!s.flag && s.a && Condition(*s.a) == s.until)
            break;
        Tick();
    }
    return Flow::Normal;
}

Interp::Flow Interp::ExecSelect(const Stmt& s) {
    Value subject = Eval(*s.a);
    auto holds = [](const Value& v) { return v.type != VType::Null && ToBool(v); };
    for (const CaseClause& clause : s.cases) {
        for (const CaseTest& test : clause.tests) {
            bool match = false;
            if (test.kind == CaseTest::Match) {
                match = holds(Binary(BinOp::Eq, subject, Eval(*test.a)));
            } else if (test.kind == CaseTest::Range) {
                match = holds(Binary(BinOp::Ge, subject, Eval(*test.a))) &&
                        holds(Binary(BinOp::Le, subject, Eval(*test.b)));
            } else {
                match = holds(Binary(test.op, subject, Eval(*test.a)));
            }
            if (match)
                return ExecBlock(clause.body);
        }
    }
    if (s.hasElse)
        return ExecBlock(s.elseBody);
    return Flow::Normal;
}

void Interp::ExecPrint(const Stmt& s) {
    bool newline = true;
    for (const PrintItem& item : s.items) {
        if (item.expr) {
            Value v = Eval(*item.expr);
            if (v.type == VType::Object)
                v = Scalar(v);
            if (v.type == VType::Null) {
                printLine_ += "Null";
            } else if (v.type == VType::Long || v.type == VType::Double) {
                // Numbers keep a place for the sign and a blank after them.
                std::string n = ToStr(v);
                printLine_ += (n[0] == '-' ? "" : " ") + n + " ";
            } else {
                printLine_ += ToStr(v);
            }
            CheckString(printLine_.size());
        }
        if (item.sep == ',')
            printLine_.append(14 - printLine_.size() % 14, ' ');
        newline = item.sep == 0;
    }
    if (newline)
        Log(std::exchange(printLine_, {}));
}

// ---- expressions

Value Interp::Eval(const Expr& e) {
    switch (e.kind) {
    case EK::Lit:
        return e.lit;
    case EK::Var:
        return EvalVar(e);
    case EK::Paren:
        return Eval(*e.a);
    case EK::Neg:
        return Negate(Eval(*e.a));
    case EK::Not:
        return Not(Eval(*e.a));
    case EK::Binary: {
        CheckStack();
        Value a = Eval(*e.a);
        Value b = Eval(*e.b);
        Value r = Binary(e.op, a, b);
        if (r.type == VType::String)
            CheckString(r.s.size());
        return r;
    }
    case EK::Member: {
        Value obj = Eval(*e.a);
        if (obj.type != VType::Object)
            Raise(errObjectRequired, e.name);
        if (!obj.obj)
            Raise(errObjectNotSet);
        std::vector<Value> none;
        return obj.obj->Invoke(e.name, InvokeKind::Get, none);
    }
    case EK::Call:
        CheckStack();
        return EvalCall(e, InvokeKind::Get);
    }
    return {};
}

Value Interp::EvalVar(const Expr& e) {
    if (Var* v = Find(e.name))
        return v->v;
    std::vector<ExprP> none;
    return CallBuiltinOrProc(e, none, false);
}

std::vector<Value> Interp::EvalArgs(const std::vector<ExprP>& args) {
    std::vector<Value> out;
    out.reserve(args.size());
    for (const ExprP& a : args) {
        if (!a) {
            Value missing;
            out.push_back(missing);
        } else {
            out.push_back(Eval(*a));
        }
    }
    return out;
}

Value& Interp::Element(Value& array, std::vector<Value>& args, const std::string& name) {
    if (args.size() != 1)
        Raise(errSubscript, name);
    std::int32_t i = ToLong(args[0]);
    if (i < 0 || static_cast<std::size_t>(i) >= array.arr->items.size())
        Raise(errSubscript, name);
    return array.arr->items[static_cast<std::size_t>(i)];
}

Value Interp::Index(const Value& target, std::vector<Value>& args, const std::string& name) {
    if (target.type == VType::Array) {
        Value copy = target;
        return Element(copy, args, name);
    }
    if (target.type == VType::Object) {
        if (!target.obj)
            Raise(errObjectNotSet);
        return target.obj->Invoke("", InvokeKind::Get, args);
    }
    if (args.empty())
        return target;
    Raise(errTypeMismatch, name);
}

Value Interp::EvalCall(const Expr& e, InvokeKind kind) {
    const Expr& callee = *e.a;
    if (callee.kind == EK::Member) {
        Value obj = Eval(*callee.a);
        if (obj.type != VType::Object)
            Raise(errObjectRequired, callee.name);
        if (!obj.obj)
            Raise(errObjectNotSet);
        std::vector<Value> args = EvalArgs(e.args);
        return obj.obj->Invoke(callee.name, kind, args);
    }
    if (callee.kind == EK::Var) {
        // Inside Function f, "f" is the result variable but "f(x)" calls f.
        Var* v = Find(callee.name);
        if (v && (v->v.type == VType::Array || v->v.type == VType::Object ||
                  (!program_->procs.count(callee.name) && !FindBuiltin(callee.name)))) {
            std::vector<Value> args = EvalArgs(e.args);
            return Index(v->v, args, callee.raw);
        }
        return CallBuiltinOrProc(callee, e.args, false);
    }
    Value target = Eval(callee);
    std::vector<Value> args = EvalArgs(e.args);
    return Index(target, args, "");
}

Value Interp::CallBuiltinOrProc(const Expr& callee, const std::vector<ExprP>& args,
                                bool statement) {
    auto proc = program_->procs.find(callee.name);
    if (proc != program_->procs.end())
        return CallProc(*proc->second, args);
    if (const Builtin* b = FindBuiltin(callee.name)) {
        int n = static_cast<int>(args.size());
        if (n < b->minArgs || n > b->maxArgs)
            Raise(errWrongArgs, callee.raw);
        std::vector<Value> values = EvalArgs(args);
        return b->fn(*this, values);
    }
    if (statement) {
        if (Var* v = Find(callee.name)) {
            std::vector<Value> values = EvalArgs(args);
            return Index(v->v, values, callee.raw);
        }
        Raise(errNotDefined, callee.raw);
    }
    if (!args.empty())
        Raise(errNotDefined, callee.raw);
    if (program_->optionExplicit)
        Raise(errUndefined, callee.raw);
    return {};
}

Value Interp::CallProc(const Proc& proc, const std::vector<ExprP>& args) {
    if (args.size() > proc.params.size())
        Raise(errWrongArgs, proc.raw);
    Frame f;
    f.proc = &proc;
    for (std::size_t i = 0; i < proc.params.size(); ++i) {
        const Param& p = proc.params[i];
        const Expr* a = i < args.size() ? args[i].get() : nullptr;
        if (!a) {
            if (!p.optional)
                Raise(errWrongArgs, proc.raw);
            auto v = std::make_shared<Var>();
            if (p.def)
                v->v = Eval(*p.def);
            f.vars[p.name] = std::move(v);
            continue;
        }
        if (p.byRef && a->kind == EK::Var) {
            // By reference: the parameter is the caller's variable itself.
            Frame& caller = *frames_.back();
            VarP shared;
            auto it = caller.vars.find(a->name);
            if (it != caller.vars.end()) {
                shared = it->second;
            } else if (&caller != &globals_) {
                auto g = globals_.vars.find(a->name);
                if (g != globals_.vars.end())
                    shared = g->second;
            }
            if (shared && !shared->isConst) {
                f.vars[p.name] = shared;
                continue;
            }
            if (!shared && !program_->procs.count(a->name) && !FindBuiltin(a->name) &&
                !program_->optionExplicit) {
                // An unknown name becomes a new variable of the caller.
                auto v = std::make_shared<Var>();
                caller.vars[a->name] = v;
                f.vars[p.name] = v;
                continue;
            }
        }
        auto v = std::make_shared<Var>();
        v->v = CopyOf(Eval(*a));
        f.vars[p.name] = std::move(v);
    }
    if (proc.isFunction && !f.vars.count(proc.name))
        f.vars[proc.name] = std::make_shared<Var>();
    ++callDepth_;
    frames_.push_back(&f);
    struct Pop {
        Interp& in;
        ~Pop() {
            in.frames_.pop_back();
            --in.callDepth_;
        }
    } pop{*this};
    CheckStack();
    ExecBlock(proc.body);
    if (!proc.isFunction)
        return {};
    return std::move(f.vars[proc.name]->v);
}

} // namespace basic
