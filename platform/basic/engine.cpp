#include "platform/basic/engine.h"

#include "platform/basic/dispatch.h"
#include "platform/basic/interp_p.h"
#include "platform/basic/parser_p.h"
#include "platform/win/hooks.h"

#include <fstream>
#include <sstream>

namespace basic {

TBasicEngine::TBasicEngine()
    : OnDoEvents([] { win::ProcessMessages(); }), OnCreateObject(CreateComObject) {}
TBasicEngine::~TBasicEngine() = default;

void TBasicEngine::AddNamedObject(const std::string& name0, std::shared_ptr<Object> object) {
    std::string name = name0;
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    bool valid = !name.empty() && std::isalpha(static_cast<unsigned char>(name[0]));
    for (char c : name)
        valid = valid && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!valid || !object)
        throw EScriptError(0, errInvalidCall, ErrorText(errInvalidCall) + ": '" + name0 + "'");
    std::string key = Lower(name);
    for (auto& [n, o] : named_) {
        if (Lower(n) == key) {
            o = std::move(object);
            return;
        }
    }
    named_.emplace_back(name, std::move(object));
}

template <class F> auto TBasicEngine::WithInterp(F&& body) {
    if (running_ == 0)
        stopRequested_ = false;
    Host host;
    host.log = [this](const std::string& line) {
        if (OnLog)
            OnLog(line);
    };
    host.doEvents = [this] {
        if (OnDoEvents)
            OnDoEvents();
    };
    host.createObject = [this](const std::string& progId) -> std::shared_ptr<Object> {
        return OnCreateObject ? OnCreateObject(progId) : nullptr;
    };
    host.stopRequested = &stopRequested_;
    host.named = &named_;
    Interp in(limits_, host);
    ++running_;
    struct Done {
        int& n;
        ~Done() { --n; }
    } done{running_};
    return body(in);
}

void TBasicEngine::RunFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw EScriptError(0, 53, "File not found: '" + path + "'");
    std::ostringstream text;
    text << f.rdbuf();
    std::string source = text.str();
    if (source.compare(0, 3, "\xEF\xBB\xBF") == 0) // a UTF-8 mark from an editor
        source.erase(0, 3);
    RunText(source);
}

void TBasicEngine::RunText(const std::string& source) {
    std::unique_ptr<ast::Program> program = parse::Program(source, limits_);
    WithInterp([&](Interp& in) {
        in.Run(*program);
        return 0;
    });
}

std::string TBasicEngine::Evaluate(const std::string& expression) {
    ast::ExprP expr = parse::Expression(expression, limits_);
    Value v = WithInterp([&](Interp& in) { return in.Evaluate(*expr); });
    try {
        if (v.type == VType::Object)
            v = Scalar(v);
        return "\"" + ToStr(v) + "\"";
    } catch (const RunError& e) {
        throw EScriptError(expr->line, e.Number(), e.what());
    }
}

} // namespace basic
