#include "platform/basic/interp_p.h"

#include "platform/basic/builtins_p.h"
#include "platform/basic/error.h"

#include <algorithm>
#include <atomic>
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

// ---- frames

namespace {

// Frame numbers: a block of 2^40 for each thread, then counted without
// atomics (a tree is only ever run by one thread).
std::atomic<std::uint64_t> g_frameBlocks{0};

std::uint64_t NextFrameId() {
    thread_local std::uint64_t next = (g_frameBlocks.fetch_add(1) << 40) + 1;
    return next++;
}

} // namespace

Interp::Frame::Frame() : id(NextFrameId()) {}

int Interp::VarTable::IndexOf(const std::string& name) {
    // Names are short: the length and the first letter settle most tests.
    const auto same = [&](const std::string& n) {
        return n.size() == name.size() && n[0] == name[0] && n == name;
    };
    for (std::size_t i = 0; i < std::min(count_, kInPlace); ++i)
        if (same(inPlace_[i].first))
            return static_cast<int>(i);
    if (index_) {
        auto it = index_->find(name);
        return it == index_->end() ? -1 : static_cast<int>(kInPlace + it->second);
    }
    for (std::size_t i = 0; i < more_.size(); ++i)
        if (same(more_[i].first))
            return static_cast<int>(kInPlace + i);
    return -1;
}

Interp::VarTable::Entry* Interp::VarTable::At(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= count_)
        return nullptr;
    const auto i = static_cast<std::size_t>(index);
    return i < kInPlace ? &inPlace_[i] : &more_[i - kInPlace];
}

Interp::VarP* Interp::VarTable::Find(const std::string& name) {
    Entry* e = At(IndexOf(name));
    return e ? &e->second : nullptr;
}

void Interp::VarTable::Set(const std::string& name, VarP var) {
    if (VarP* there = Find(name)) {
        ++adds_;
        *there = std::move(var);
        return;
    }
    Add(name, std::move(var));
}

int Interp::VarTable::Add(const std::string& name, VarP var) {
    ++adds_;
    if (count_ < kInPlace) {
        if (inPlace_[count_].first != name) // often the last call's name
            inPlace_[count_].first = name;
        inPlace_[count_].second = std::move(var);
        return static_cast<int>(count_++);
    }
    ++count_;
    more_.emplace_back(name, std::move(var));
    constexpr std::size_t kListed = 12;
    if (more_.size() > kListed) {
        if (!index_) {
            index_ = std::make_unique<std::unordered_map<std::string, std::size_t>>();
            for (std::size_t i = 0; i + 1 < more_.size(); ++i)
                index_->emplace(more_[i].first, i);
        }
        index_->emplace(name, more_.size() - 1);
    }
    return static_cast<int>(count_ - 1);
}

void Interp::VarTable::Release() {
    ++adds_;
    for (std::size_t i = 0; i < std::min(count_, kInPlace); ++i)
        inPlace_[i].second = VarP();
    count_ = 0;
    more_.clear();
    index_.reset();
}

void Interp::VarTable::Clear() {
    ++adds_;
    for (Entry& e : inPlace_)
        e = {};
    count_ = 0;
    more_.clear();
    index_.reset();
}

Interp::Interp(const TBasicLimits& limits, const Host& host) : limits_(limits), host_(host) {}

Interp::~Interp() {
    // Objects may hold each other through the globals; break the cycles.
    globals_.vars.ForEach([](VarTable::Entry& e) { e.second->v = Value(); });
}

void Interp::Begin() {
    globals_.vars.Clear();
    globals_.id = NextFrameId();
    frames_.assign(1, &globals_);
    err_ = std::make_shared<ErrObject>();
    auto errVar = NewVar();
    errVar->v = Value::Obj(err_);
    errVar->isConst = true;
    globals_.vars.Set("err", errVar);
    if (host_.named) {
        for (const auto& [name, obj] : *host_.named) {
            auto v = NewVar();
            v->v = Value::Obj(obj);
            globals_.vars.Set(Lower(name), v);
        }
    }
    statements_ = 0;
    untilEvents_ = limits_.DoEventsInterval;
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

void Interp::CheckLimits() {
    if (limits_.MaxStatements && statements_ > limits_.MaxStatements)
        throw FatalError(errRunaway, ErrorText(errRunaway));
    // Tick counted down already.
    if (limits_.DoEventsInterval &&
        (untilEvents_ == 0 || untilEvents_ > limits_.DoEventsInterval)) {
        untilEvents_ = limits_.DoEventsInterval;
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

Value Interp::Owned(Value&& v) const {
    return v.type == VType::Array ? CopyOf(v) : std::move(v);
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
    if (VarP* v = f.vars.Find(name))
        return v->get();
    if (&f != &globals_)
        if (VarP* v = globals_.vars.Find(name))
            return v->get();
    return nullptr;
}

Interp::Var* Interp::FindAgain(const Expr& e) {
    Frame& f = *frames_.back();
    NameCache& c = e.cache;
    c.frame = f.id;
    c.frameAdds = f.vars.Adds();
    c.globalAdds = globals_.vars.Adds();
    // A frame's own names come first, and each name is there once.
    if (f.proc && c.proc == f.proc)
        if (VarTable::Entry* at = f.vars.At(c.slot); at && at->first == e.name) {
            c.var = at->second.get();
            return static_cast<Var*>(c.var);
        }
    const int slot = &f == &globals_ ? -1 : f.vars.IndexOf(e.name);
    if (slot >= 0) {
        c.proc = f.proc;
        c.slot = slot;
        c.var = f.vars.At(slot)->second.get();
    } else {
        VarP* g = globals_.vars.Find(e.name);
        c.var = g ? g->get() : nullptr;
    }
    return static_cast<Var*>(c.var);
}

Interp::Var& Interp::FindOrCreate(const Expr& e) {
    if (Var* v = Find(e))
        return *v;
    if (program_->optionExplicit)
        Raise(errUndefined, e.raw);
    auto v = NewVar();
    Var& ref = *v;
    frames_.back()->vars.Set(e.name, std::move(v));
    return ref;
}

void Interp::ResolveAgain(const Expr& e) {
    auto it = program_->procs.find(e.name);
    e.proc = it == program_->procs.end() ? nullptr : it->second.get();
    e.builtin = FindBuiltin(e.name);
    e.resolvedFor = program_;
}

bool Interp::PureAgain(const Expr& e) {
    bool pure = false;
    switch (e.kind) {
    case EK::Lit:
        pure = true;
        break;
    case EK::Var:
        Resolve(e);
        pure = !e.proc;
        break;
    case EK::Paren:
    case EK::Neg:
    case EK::Not:
        pure = Pure(*e.a);
        break;
    case EK::Binary:
        pure = Pure(*e.a) && Pure(*e.b);
        break;
    case EK::Member:
        break;
    case EK::Call:
        if (e.a->kind == EK::Var) {
            Resolve(*e.a);
            pure = !e.a->proc;
            for (const ExprP& arg : e.args)
                pure = pure && (!arg || Pure(*arg));
        }
        break;
    }
    bool whole = false;
    switch (e.kind) {
    case EK::Lit:
        whole = e.lit.type == VType::Long;
        break;
    case EK::Var:
        whole = pure;
        break;
    case EK::Paren:
    case EK::Neg:
        whole = pure && e.a->whole;
        break;
    case EK::Binary:
        whole = pure && e.a->whole && e.b->whole &&
                (e.op == BinOp::Add || e.op == BinOp::Sub || e.op == BinOp::Mul ||
                 e.op == BinOp::IntDiv || e.op == BinOp::Mod);
        break;
    case EK::Call:
        whole = pure && e.a->kind == EK::Var && e.a->builtin && e.a->builtin->whole &&
                e.args.size() == 1 && e.args[0];
        break;
    default:
        break;
    }
    e.pure = pure;
    e.whole = whole;
    e.pureFor = program_;
    return pure;
}

namespace {

bool Compare(BinOp op, std::int64_t x, std::int64_t y) {
    switch (op) {
    case BinOp::Eq:
        return x == y;
    case BinOp::Ne:
        return x != y;
    case BinOp::Lt:
        return x < y;
    case BinOp::Gt:
        return x > y;
    case BinOp::Le:
        return x <= y;
    default:
        return x >= y;
    }
}

} // namespace

bool Interp::WholeNumber(const Expr& e, std::int64_t& out) {
    const auto fits = [](std::int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    switch (e.kind) {
    case EK::Lit:
        out = e.lit.l;
        return true;
    case EK::Var: {
        const Var* v = Find(e);
        if (!v || v->v.type != VType::Long)
            return false;
        out = v->v.l;
        return true;
    }
    case EK::Paren:
        return WholeNumber(*e.a, out);
    case EK::Neg:
        if (!WholeNumber(*e.a, out))
            return false;
        out = -out;
        return fits(out);
    case EK::Binary: {
        std::int64_t x = 0, y = 0;
        if (!WholeOperand(*e.a, x) || !WholeOperand(*e.b, y))
            return false;
        switch (e.op) {
        case BinOp::Add:
            out = x + y;
            break;
        case BinOp::Sub:
            out = x - y;
            break;
        case BinOp::Mul:
            out = x * y;
            break;
        case BinOp::IntDiv:
        case BinOp::Mod:
            if (y == 0)
                return false;
            out = e.op == BinOp::IntDiv ? x / y : x % y;
            break;
        default:
            return false;
        }
        return fits(out);
    }
    case EK::Call: {
        // A variable of the name that holds an array or object is indexed.
        if (const Var* v = Find(*e.a);
            v && (v->v.type == VType::Array || v->v.type == VType::Object))
            return false;
        ValueSlot temp;
        return e.a->builtin->whole(Operand(*e.args[0], temp, true), out);
    }
    default:
        return false;
    }
}

const Value& Interp::Operand(const Expr& e, ValueSlot& temp, bool stable) {
    if (e.kind == EK::Lit)
        return e.lit;
    if (stable && e.kind == EK::Var)
        if (Var* v = Find(e))
            return v->v;
    return temp.emplace(Eval(e));
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
            if (VarP* there = f.vars.Find(item.name); there && (*there)->isConst)
                Raise(errIllegalAssign, item.raw);
            auto v = NewVar();
            v->v = Owned(Eval(*item.bound));
            v->isConst = true;
            f.vars.Set(item.name, std::move(v));
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
        if (f.vars.Find(item.name))
            continue;
        auto v = NewVar();
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
        f.vars.Set(item.name, std::move(v));
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
            auto v = NewVar();
            var = v.get();
            frames_.back()->vars.Set(item.name, std::move(v));
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

bool Interp::AppendInPlace(const Stmt& s) {
    const Expr& t = *s.a;
    const Expr& e = *s.b;
    if (s.appendFor != program_) {
        s.append = t.kind == EK::Var && e.kind == EK::Binary && e.op == BinOp::Cat &&
                   e.a->kind == EK::Var && e.a->name == t.name && Pure(*e.b);
        s.appendFor = program_;
    }
    if (!s.append)
        return false;
    Var* var = Find(t);
    if (!var || var->isConst || var->v.type != VType::String)
        return false;
    ValueSlot temp;
    const Value& b = Operand(*e.b, temp, true);
    switch (b.type) {
    case VType::String:
    case VType::Empty:
    case VType::Boolean:
    case VType::Long:
    case VType::Double:
    case VType::Date:
        break;
    default:
        // Null, objects and arrays go the general way; b is pure, so
        // evaluating it again there changes nothing.
        return false;
    }
    const std::size_t before = var->v.s.size();
    if (b.type == VType::String) {
        CheckString(before + b.s.size());
        var->v.s += b.s;
    } else {
        const std::string text = ToStr(b);
        CheckString(before + text.size());
        var->v.s += text;
    }
    return true;
}

void Interp::ExecAssign(const Stmt& s, bool isSet) {
    if (!isSet && AppendInPlace(s))
        return;
    if (!isSet && s.a->kind == EK::Var && Pure(*s.b) && s.b->whole) {
        // A whole number into a variable that holds a number: no variant made.
        std::int64_t n = 0;
        Var* var = Find(*s.a);
        if (var && !var->isConst && (var->v.type == VType::Empty || var->v.IsNumericType()) &&
            WholeNumber(*s.b, n) && n >= INT32_MIN && n <= INT32_MAX) {
            var->v.type = VType::Long;
            var->v.l = static_cast<std::int32_t>(n);
            return;
        }
    }
    Value v = Eval(*s.b);
    if (isSet) {
        if (v.type != VType::Object)
            Raise(errObjectRequired);
    } else if (v.type == VType::Object) {
        v = Scalar(v);
    } else if (v.type == VType::Array) {
        v = Owned(std::move(v));
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
            Var* var = Find(callee);
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
        const std::int64_t next = static_cast<std::int64_t>(after.v.l) + step.l;
        if (integral && after.v.type == VType::Long && next >= INT32_MIN && next <= INT32_MAX)
            after.v.l = static_cast<std::int32_t>(next); // in place: the common turn
        else if (integral && after.v.type == VType::Long)
            after.v = Value::Long(next);
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
        // Trees are at most as deep as the parser allows; the stack is
        // checked every few levels of them (and at every call).
        if (e.depth % 8 == 0)
            CheckStack();
        if (Pure(e) && e.whole) {
            std::int64_t n = 0;
            if (WholeNumber(e, n))
                return Value::Long(n);
        }
        if (e.op >= BinOp::Eq && e.op <= BinOp::Ge && e.pure && e.a->whole && e.b->whole) {
            // Whole numbers compared, as Binary would compare their Longs.
            std::int64_t x = 0, y = 0;
            if (WholeOperand(*e.a, x) && WholeOperand(*e.b, y))
                return Value::Bool(Compare(e.op, x, y));
        }
        ValueSlot ta, tb;
        const Value& a = Operand(*e.a, ta, Pure(*e.b));
        const Value& b = Operand(*e.b, tb, true);
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
    if (Var* v = Find(e))
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
        Var* v = Find(callee);
        Resolve(callee);
        if (v && (v->v.type == VType::Array || v->v.type == VType::Object ||
                  (!callee.proc && !callee.builtin))) {
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
    Resolve(callee);
    if (callee.proc)
        return CallProc(*callee.proc, args);
    if (const Builtin* b = callee.builtin) {
        int n = static_cast<int>(args.size());
        if (n < b->minArgs || n > b->maxArgs)
            Raise(errWrongArgs, callee.raw);
        return CallBuiltin(*b, args);
    }
    if (statement) {
        if (Var* v = Find(callee)) {
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

// Arguments that are literals and variables are lent to the built-in (it
// only reads them) rather than copied: a long string passed to Len costs
// nothing. They go back to their variables whatever the built-in does.
Value Interp::CallBuiltin(const Builtin& b, const std::vector<ExprP>& args) {
    // One argument is read where it is: a variable or literal in place, any
    // other expression in a temporary. (Built-ins of more arguments may call
    // out to the host, which could change the variables.)
    if (b.maxArgs == 1 && args.size() == 1 && args[0]) {
        const Expr& a = *args[0];
        if (a.kind == EK::Binary && Pure(a) && a.whole) {
            std::int64_t n = 0;
            if (WholeNumber(a, n)) {
                const Value arg = Value::Long(n);
                return b.fn(*this, std::span<const Value>(&arg, 1));
            }
        }
        ValueSlot temp;
        const Value& arg = Operand(*args[0], temp, true);
        return b.fn(*this, std::span<const Value>(&arg, 1));
    }
    // The argument list of this depth is used again: no allocation per call.
    if (argLists_.size() <= argDepth_)
        argLists_.resize(argDepth_ + 1);
    std::vector<Value> values = std::move(argLists_[argDepth_]);
    struct Depth {
        Interp& in;
        std::vector<Value>& values;
        std::size_t at;
        ~Depth() {
            --in.argDepth_;
            values.clear();
            in.argLists_[at] = std::move(values);
        }
    } depth{*this, values, argDepth_++};
    bool lend = !args.empty() && args.size() <= 8;
    for (const ExprP& a : args)
        lend = lend && a && (a->kind == EK::Lit || (a->kind == EK::Var && Find(*a)));
    if (!lend) {
        values.reserve(args.size());
        for (const ExprP& a : args)
            values.push_back(a ? Eval(*a) : Value());
        return b.fn(*this, values);
    }
    values.resize(args.size());
    std::array<Var*, 8> lent{};
    struct GiveBack {
        std::vector<Value>& values;
        std::array<Var*, 8>& lent;
        ~GiveBack() {
            for (std::size_t i = 0; i < values.size(); ++i)
                if (lent[i])
                    lent[i]->v = std::move(values[i]);
        }
    } giveBack{values, lent};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const Expr& a = *args[i];
        if (a.kind == EK::Lit) {
            values[i] = a.lit;
            continue;
        }
        Var* var = Find(a);
        const auto end = lent.begin() + static_cast<std::ptrdiff_t>(i);
        if (const auto same = std::find(lent.begin(), end, var); same != end) {
            values[i] = values[static_cast<std::size_t>(same - lent.begin())]; // passed twice
            continue;
        }
        values[i] = std::move(var->v);
        lent[i] = var;
    }
    return b.fn(*this, values);
}

Value Interp::CallProc(const Proc& proc, const std::vector<ExprP>& args) {
    if (args.size() > proc.params.size())
        Raise(errWrongArgs, proc.raw);
    // A frame kept from an earlier call at this depth; the arguments'
    // calls take the next ones.
    if (callFrames_.size() <= framesTaken_)
        callFrames_.push_back(std::make_unique<Frame>());
    Frame& f = *callFrames_[framesTaken_++];
    struct Give {
        Interp& in;
        Frame& f;
        ~Give() {
            f.vars.Release();
            --in.framesTaken_;
        }
    } give{*this, f};
    f.id = NextFrameId();
    f.proc = &proc;
    f.resumeNext = false;
    for (std::size_t i = 0; i < proc.params.size(); ++i) {
        const Param& p = proc.params[i];
        const Expr* a = i < args.size() ? args[i].get() : nullptr;
        if (!a) {
            if (!p.optional)
                Raise(errWrongArgs, proc.raw);
            auto v = NewVar();
            if (p.def)
                v->v = Eval(*p.def);
            f.vars.Set(p.name, std::move(v));
            continue;
        }
        if (p.byRef && a->kind == EK::Var) {
            // By reference: the parameter is the caller's variable itself.
            // The caller's variable, or the global one (its look-up is kept).
            Frame& caller = *frames_.back();
            VarP shared;
            if (Var* there = Find(*a))
                shared = VarP(there);
            if (shared && !shared->isConst) {
                f.vars.Set(p.name, shared);
                continue;
            }
            Resolve(*a);
            if (!shared && !a->proc && !a->builtin && !program_->optionExplicit) {
                // An unknown name becomes a new variable of the caller.
                auto v = NewVar();
                caller.vars.Set(a->name, v);
                f.vars.Set(p.name, v);
                continue;
            }
        }
        auto v = NewVar();
        v->v = Owned(Eval(*a));
        f.vars.Set(p.name, std::move(v));
    }
    int result = -1; // where the function's result is
    if (proc.isFunction) {
        result = f.vars.IndexOf(proc.name);
        if (result < 0)
            result = f.vars.Add(proc.name, NewVar());
    }
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
    // Names are only added or rebound where they are: the entry is still there.
    return std::move(f.vars.At(result)->second->v);
}

} // namespace basic
