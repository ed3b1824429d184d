// The four services the agent processor uses, with objects of the test's
// own behind the engine's object interface.
#include "platform/basic/tests/script_runner.h"
#include "platform/win/datetime.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

namespace {

using basic::InvokeKind;
using basic::TBasicEngine;
using basic::Value;
using basic::test::RunScript;

// A message-like object: Subject and Body properties, a Recipients list
// reached by methods, and a log of the calls made on it.
class FakeMessage : public basic::Object {
public:
    std::map<std::string, Value> props{{"subject", Value::Str("Hello")},
                                       {"body", Value::Str("line")}};
    std::vector<std::string> recipients;
    std::vector<std::string> calls;

    Value Invoke(const std::string& name, InvokeKind kind, std::vector<Value>& args) override {
        std::string n = basic::Lower(name);
        calls.push_back(n + "/" + std::to_string(static_cast<int>(kind)) + "/" +
                        std::to_string(args.size()));
        if (props.count(n)) {
            if (kind == InvokeKind::Put) {
                props[n] = args.back();
                return {};
            }
            return props[n];
        }
        if (n.empty() && kind == InvokeKind::Get) // default member: Subject
            return props["subject"];
        if (n == "addrecipient" && args.size() == 2) {
            recipients.push_back(basic::ToStr(args[0]) + " <" + basic::ToStr(args[1]) + ">");
            return {};
        }
        if (n == "recipientcount")
            return Value::Long(static_cast<std::int64_t>(recipients.size()));
        if (n == "getrecipient" && args.size() == 1) {
            std::int32_t i = basic::ToLong(args[0]);
            if (i < 0 || static_cast<std::size_t>(i) >= recipients.size())
                throw basic::RunError(9, "List index out of bounds (" + std::to_string(i) + ")");
            return Value::Str(recipients[static_cast<std::size_t>(i)]);
        }
        if (n == "self")
            return Value::Obj(self.lock());
        basic::Raise(basic::errNoMember, name);
    }
    std::weak_ptr<FakeMessage> self;
};

std::shared_ptr<FakeMessage> MakeMessage() {
    auto m = std::make_shared<FakeMessage>();
    m->self = m;
    return m;
}

TEST(NamedObjects, NameWithTrailingDotIsSeenWithoutIt) {
    TBasicEngine engine;
    auto msg = MakeMessage();
    engine.AddNamedObject("CurrentMessage.", msg);
    auto o = RunScript(
        engine, "Print CurrentMessage.Subject\n"
                "currentmessage.SUBJECT = \"Re: \" & CurrentMessage.Subject\n"
                "CurrentMessage.AddRecipient \"Ann\", \"ann@example.com\"\n"
                "Call CurrentMessage.AddRecipient(\"Bob\", \"bob@example.com\")\n"
                "x = CurrentMessage.AddRecipient(\"Cy\", \"cy@example.com\")\n"
                "Print CurrentMessage.RecipientCount & \" \" & CurrentMessage.GetRecipient(1)\n"
                "Print CurrentMessage\n");
    ASSERT_FALSE(o.failed) << o.line << ": " << o.text;
    EXPECT_EQ(o.output, "Hello\n3 Bob <bob@example.com>\nRe: Hello\n");
    EXPECT_EQ(basic::ToStr(msg->props["subject"]), "Re: Hello");
    // Statement calls are methods; property reads and calls in expressions are gets.
    ASSERT_GE(msg->calls.size(), 6u);
    EXPECT_EQ(msg->calls[2], "subject/2/1");
    EXPECT_EQ(msg->calls[3], "addrecipient/1/2");
    EXPECT_EQ(msg->calls[4], "addrecipient/1/2");
    EXPECT_EQ(msg->calls[5], "addrecipient/0/2");
}

TEST(NamedObjects, AddingANameAgainReplacesItsObject) {
    TBasicEngine engine;
    auto first = MakeMessage(), second = MakeMessage();
    second->props["subject"] = Value::Str("second");
    engine.AddNamedObject("CurrentMessage.", first);
    engine.AddNamedObject("CURRENTMESSAGE", second);
    auto o = RunScript(engine, "Print CurrentMessage.Subject\n");
    EXPECT_EQ(o.output, "second\n");
}

TEST(NamedObjects, BadNamesAndNullObjectsAreRefused) {
    TBasicEngine engine;
    EXPECT_THROW(engine.AddNamedObject(".", MakeMessage()), basic::EScriptError);
    EXPECT_THROW(engine.AddNamedObject("", MakeMessage()), basic::EScriptError);
    EXPECT_THROW(engine.AddNamedObject("a b", MakeMessage()), basic::EScriptError);
    EXPECT_THROW(engine.AddNamedObject("Ok", nullptr), basic::EScriptError);
}

TEST(Objects, ErrorsOfAnObjectCarryItsTextAndCanBeTrapped) {
    TBasicEngine engine;
    engine.AddNamedObject("CurrentMessage.", MakeMessage());
    auto o = RunScript(engine, "x = 1\nx = CurrentMessage.GetRecipient(5)\n");
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.line, 2);
    EXPECT_EQ(o.text, "List index out of bounds (5)");
    o = RunScript(engine, "On Error Resume Next\nCurrentMessage.NoSuchThing 1\n"
                          "Print Err.Number & \" \" & Err.Description\n");
    EXPECT_EQ(o.output, "438 Object doesn't support this property or method: 'NoSuchThing'\n");
}

TEST(Objects, SetNothingIsAndObjectVariables) {
    TBasicEngine engine;
    engine.AddNamedObject("CurrentMessage", MakeMessage());
    auto o = RunScript(engine, "Set m = CurrentMessage\n"
                               "Set n = m.Self\n"
                               "Print (m Is CurrentMessage) & (n Is m) & IsObject(m)\n"
                               "m.Subject = \"via m\"\n"
                               "Print CurrentMessage.Subject\n"
                               "Set m = Nothing\n"
                               "Print (m Is Nothing) & (CurrentMessage Is Nothing)\n"
                               "s = m.Subject\n");
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.output, "TrueTrueTrue\nvia m\nTrueFalse\n");
    EXPECT_EQ(o.line, 8);
    EXPECT_EQ(o.text, "Object variable not set");
}

TEST(Objects, CreateObjectGoesThroughTheHost) {
    TBasicEngine engine;
    std::vector<std::string> asked;
    engine.OnCreateObject = [&](const std::string& progId) -> std::shared_ptr<basic::Object> {
        asked.push_back(progId);
        return progId == "Quelta.QueltaMessage" ? MakeMessage() : nullptr;
    };
    auto o = RunScript(engine, "Set m = CreateObject(\"Quelta.QueltaMessage\")\n"
                               "Print m.Subject\n"
                               "Set s = CreateObject(\"Scripting.FileSystemObject\")\n");
    ASSERT_TRUE(o.failed);
    EXPECT_EQ(o.output, "Hello\n");
    EXPECT_EQ(o.line, 3);
    EXPECT_EQ(o.text, "ActiveX component can't create object: 'Scripting.FileSystemObject'");
    EXPECT_EQ(asked.size(), 2u);
}

// ---- evaluate

TEST(Evaluate, ResultComesInOneCharacterAtEachEnd) {
    TBasicEngine engine;
    auto msg = MakeMessage();
    engine.AddNamedObject("CurrentMessage.", msg);
    EXPECT_EQ(engine.Evaluate("1 + 2"), "\"3\"");
    EXPECT_EQ(engine.Evaluate("UCase(CurrentMessage.Subject) & \"!\""), "\"HELLO!\"");
    EXPECT_EQ(engine.Evaluate("\"\""), "\"\"");
    EXPECT_EQ(engine.Evaluate("CurrentMessage"), "\"Hello\"");
    EXPECT_EQ(engine.Evaluate("Len(\"a\"\"b\")"), "\"3\"");
    EXPECT_EQ(engine.Evaluate("2 > 1"), "\"True\"");
    // What the caller does with it: drop the first and last character.
    std::string v = engine.Evaluate("\"x\" & Chr(34)");
    EXPECT_EQ(v.substr(1, v.size() - 2), "x\"");
}

TEST(Evaluate, FailuresRaise) {
    TBasicEngine engine;
    for (const char* bad :
         {"", "1 +", "1 2", "x = ", "1 / 0", "Null", "NoSuchFunction(1)", "Print 1"}) {
        EXPECT_THROW((void)engine.Evaluate(bad), basic::EScriptError) << bad;
    }
}

// ---- run a file

class TempFile {
public:
    explicit TempFile(const std::string& content) {
        char name[] = "/tmp/basic_test_XXXXXX";
        int fd = mkstemp(name);
        close(fd);
        path_ = name;
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(RunFile, RunsModuleCodeThenMain) {
    TempFile f("\xEF\xBB\xBFPrint \"module\"\r\nSub Main\r\n  Print \"main \" & "
               "CurrentMessage.Subject\r\nEnd Sub\r\n");
    TBasicEngine engine;
    engine.AddNamedObject("CurrentMessage.", MakeMessage());
    std::string out;
    engine.OnLog = [&](const std::string& l) { out += l + "\n"; };
    engine.RunFile(f.path());
    EXPECT_EQ(out, "module\nmain Hello\n");
}

TEST(RunFile, EachRunStartsFromFreshVariables) {
    TempFile f("If IsEmpty(counter) Then counter = 0\ncounter = counter + 1\nPrint counter\n");
    TBasicEngine engine;
    std::string out;
    engine.OnLog = [&](const std::string& l) { out += l + "|"; };
    engine.RunFile(f.path());
    engine.RunFile(f.path());
    EXPECT_EQ(out, " 1 | 1 |");
}

TEST(RunFile, MissingFileAndErrorsRaise) {
    TBasicEngine engine;
    try {
        engine.RunFile("/nonexistent/script.bas");
        FAIL() << "no exception";
    } catch (const basic::EScriptError& e) {
        EXPECT_EQ(e.Text(), "File not found: '/nonexistent/script.bas'");
    }
    TempFile f("x = 1\n\nIf x Then y = 1 / 0\n");
    try {
        engine.RunFile(f.path());
        FAIL() << "no exception";
    } catch (const basic::EScriptError& e) {
        EXPECT_EQ(e.Line(), 3);
        EXPECT_STREQ(e.what(), "Line 3: Division by zero");
    }
}

TEST(RunFile, ScriptsCannotReachTheShell) {
    // There is no Shell, Run or Exec in the language, and CreateObject only
    // reaches what the host creates.
    TBasicEngine engine;
    for (const char* script : {"Shell \"touch /tmp/basic_shell_probe\"\n",
                               "Set o = CreateObject(\"WScript.Shell\")\n"
                               "o.Run \"touch /tmp/basic_shell_probe\"\n",
                               "Execute \"x = 1\"\n", "x = Eval(\"1\")\n"}) {
        auto o = RunScript(engine, script);
        EXPECT_TRUE(o.failed) << script;
    }
    EXPECT_NE(access("/tmp/basic_shell_probe", F_OK), 0);
}

} // namespace

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST(Features, OneScriptUsingEveryFeaturePrintsTheExpectedLog) {
    const std::string dir = QUELTA_SOURCE_DIR "/platform/basic/tests/scripts/";
    win::DateParts p;
    p.year = 2026;
    p.month = 12;
    p.day = 9;
    p.hour = 14;
    p.minute = 5;
    p.second = 7;
    win::TDateTime fixed = win::EncodeDateTime(p);
    win::SetClock([fixed] { return fixed; });
    TBasicEngine engine;
    auto msg = MakeMessage();
    engine.AddNamedObject("CurrentMessage.", msg);
    engine.OnCreateObject = [](const std::string& progId) -> std::shared_ptr<basic::Object> {
        return progId == "Quelta.QueltaMessage" ? MakeMessage() : nullptr;
    };
    std::string log;
    engine.OnLog = [&](const std::string& line) { log += line + "\n"; };
    try {
        engine.RunFile(dir + "features.bas");
    } catch (const basic::EScriptError& e) {
        ADD_FAILURE() << e.what();
    }
    win::SetClock({});
    EXPECT_EQ(log, ReadFile(dir + "features.out"));
    EXPECT_EQ(basic::ToStr(msg->props["subject"]), "Re: Hello");
    EXPECT_EQ(msg->recipients.size(), 4u);
}

} // namespace
