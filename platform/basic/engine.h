#pragma once
// The Basic script engine the agent processor hosts: named objects, script
// files, expressions, and a do-events call-back that keeps the host
// responsive while a script runs.
#include "platform/basic/error.h"
#include "platform/basic/limits.h"
#include "platform/basic/object.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct IDispatch;

namespace basic {

class TBasicEngine {
public:
    TBasicEngine();
    ~TBasicEngine();
    TBasicEngine(const TBasicEngine&) = delete;
    TBasicEngine& operator=(const TBasicEngine&) = delete;

    // Makes `object` visible to scripts as `name`; a trailing "." is dropped
    // ("CurrentMessage." is seen as CurrentMessage). Adding a name again
    // replaces its object. Throws EScriptError for an empty name or object.
    void AddNamedObject(const std::string& name, std::shared_ptr<Object> object);
    // The same for a COM object, reached through its IDispatch.
    void AddNamedObject(const std::string& name, IDispatch* object);

    // Runs the file's module-level code, then its Main when it has one.
    // Every run starts from fresh variables; the named objects stay.
    // Throws EScriptError (syntax, run-time, limits, unreadable file).
    void RunFile(const std::string& path);
    void RunText(const std::string& source);

    // The expression's value as text in double quotes, one character at each
    // end, which the caller drops. Throws EScriptError.
    [[nodiscard]] std::string Evaluate(const std::string& expression);

    // Ends the running script with an error at its next do-events point;
    // meant for the do-events handler.
    void Stop() { stopRequested_ = true; }

    [[nodiscard]] TBasicLimits& Limits() { return limits_; }

    // Fired every Limits().DoEventsInterval statements while a script runs;
    // by default it pumps the program's queue (win::ProcessMessages).
    std::function<void()> OnDoEvents;
    // Print, Debug.Print and MsgBox lines.
    std::function<void(const std::string& line)> OnLog;
    // Creates the object for CreateObject(progId); null when it cannot. By
    // default through the COM registry (CreateComObject).
    std::function<std::shared_ptr<Object>(const std::string& progId)> OnCreateObject;

private:
    template <class F> auto WithInterp(F&& body);

    TBasicLimits limits_;
    std::vector<std::pair<std::string, std::shared_ptr<Object>>> named_;
    bool stopRequested_ = false;
    int running_ = 0;
};

} // namespace basic
