#pragma once
// The library registered with regsvr in a registry of the test's own, and
// helpers to call its objects early- and late-bound.
#include "automation/quelta_tlb.h"

#include <QCoreApplication>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace qt {

inline const std::string kBin = QUELTA_BIN_DIR;
inline const std::string kLibrary = kBin + "/libQuelta.so";

// Runs a program with args; its exit code, its output kept in *out.
inline int Run(std::vector<std::string> args, std::string* out = nullptr) {
    char tmpl[] = "/tmp/quelta_run.XXXXXX";
    int fd = mkstemp(tmpl);
    close(fd);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, tmpl, O_WRONLY | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&fa);
    if (out) {
        std::ifstream in(tmpl);
        out->assign(std::istreambuf_iterator<char>(in), {});
    }
    std::remove(tmpl);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline int Regsvr(std::vector<std::string> args) {
    args.insert(args.begin(), kBin + "/regsvr");
    return Run(std::move(args));
}

inline void EnsureApp() {
    static int argc = 1;
    static char name[] = "automation_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives for the whole run
}

class QueltaTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        char tmpl[] = "/tmp/quelta_tests.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        setenv("QUELTA_WINDIR", dir_.c_str(), 1);
        ASSERT_EQ(Regsvr({"/s", kLibrary}), 0);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }
    void TearDown() override {
        CoUninitialize();
        std::filesystem::remove_all(dir_);
    }

    template <class I> I* Create(const char16_t* progId, REFIID iid) {
        CLSID clsid;
        EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
        I* p = nullptr;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                   reinterpret_cast<void**>(&p)),
                  S_OK);
        return p;
    }
    IQueltaMessage* NewMessage() {
        return Create<IQueltaMessage>(u"Quelta.QueltaMessage", IID_IQueltaMessage);
    }
    IQueltaSMTP* NewSmtp() { return Create<IQueltaSMTP>(u"Quelta.QueltaSMTP", IID_IQueltaSMTP); }

    std::string dir_;
};

inline com::Variant V(std::string_view s) {
    return com::Variant(s);
}

inline std::string Text(const VARIANT& v) {
    std::string s;
    com::VariantToBytes(v, s);
    return s;
}

// The thread's error object's description and source, taken.
inline std::pair<std::string, std::string> TakeError() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK)
        return {"<none>", "<none>"};
    com::Bstr d, s;
    info->GetDescription(d.out());
    info->GetSource(s.out());
    info->Release();
    return {d.Bytes(), s.Bytes()};
}

// Late-bound calls by name, as a script makes them.
class Late {
public:
    explicit Late(IUnknown* obj) {
        obj->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d_));
    }
    ~Late() {
        com::ClearExcepInfo(excep);
        if (d_)
            d_->Release();
    }
    Late(const Late&) = delete;
    Late& operator=(const Late&) = delete;

    DISPID Id(const std::string& name) {
        std::u16string w = com::WideFromBytes(name);
        LPOLESTR names[] = {w.data()};
        DISPID id = DISPID_UNKNOWN;
        d_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        return id;
    }
    // Arguments in call order; the result in *result.
    HRESULT Call(const std::string& name, std::vector<com::Variant> args, com::Variant* result,
                 WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
        std::vector<VARIANT> rev(args.rbegin(), args.rend());
        DISPPARAMS p{rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
        com::ClearExcepInfo(excep);
        return d_->Invoke(Id(name), IID_NULL, 0, flags, &p, result ? result->out() : nullptr,
                          &excep, nullptr);
    }
    HRESULT Put(const std::string& name, com::Variant value) {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS p{&value, &named, 1, 1};
        com::ClearExcepInfo(excep);
        return d_->Invoke(Id(name), IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, &excep,
                          nullptr);
    }
    com::Variant Get(const std::string& name) {
        com::Variant r;
        EXPECT_EQ(Call(name, {}, &r, DISPATCH_PROPERTYGET), S_OK) << name;
        return r;
    }
    EXCEPINFO excep{};

private:
    IDispatch* d_ = nullptr;
};

} // namespace qt
