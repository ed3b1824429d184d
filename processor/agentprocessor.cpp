#include "processor/agentprocessor.h"

#include "automation/quelta_tlb.h"
#include "data/schema.h"
#include "mail/mssafefile.h"
#include "mail/msutils.h"
#include "platform/win/hooks.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"
#include "platform/win/wholefile.h"
#include "processor/store.h"
#include "processor/triggers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quelta {

namespace {

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

// The "*.eml" files of a folder, by name.
std::vector<std::string> PendingFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return names;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 4 && win::SameText(n.substr(n.size() - 4), ".eml"))
            names.push_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// The journal's state, written whole: a mark cut short by a kill must not
// read as "the agents have not run".
bool WriteRunMark(const std::string& pendingPath, const TRunMark& mark) {
    try {
        WriteFileWhole(RunMarkPath(pendingPath), RunMarkText(mark));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// What a kill leaves in a store folder: temporary files of writes cut
// short, and marks whose message was filed before the mark could go.
void RemoveLeftovers(const std::string& folder) {
    win::RemoveAbandonedParts(folder);
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return;
    std::vector<std::string> marks;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 8 && n.ends_with(".eml.run"))
            marks.push_back(n);
    }
    ::closedir(d);
    for (const std::string& m : marks)
        if (!win::FileExists(folder + m.substr(0, m.size() - 4)))
            ::unlink((folder + m).c_str());
}

} // namespace

TAgentProcessor::TAgentProcessor() {
    smtp_.SetDefaultPort(25);
    const struct {
        data::TTable* table;
        data::TXbTable* xb;
        const char* name;
    } tables[] = {{&accounts_, &accountsXb_, "NODES.DBF"},
                  {&agents_, &agentsXb_, "Agents.dbf"},
                  {&pending_, &pendingXb_, "PENDING.DBF"},
                  {&received_, &receivedXb_, "received.dbf"},
                  {&actions_, &actionsXb_, "ACTIONS.DBF"}};
    for (const auto& t : tables)
        t.table->SetTableName(t.name), t.table->SetTableType(data::TTableType::ttXBFOX);
    accountsSource_.SetDataSet(&accounts_);
    for (data::TTable* detail : {&agents_, &pending_, &received_}) {
        detail->SetIndexName("LINK_ID");
        detail->SetMasterSource(&accountsSource_);
        detail->SetMasterFields("UNIQUE_ID");
    }
    actions_.AfterInsert = [](data::TTable& t) {
        win::TDateTime now = win::Now();
        t.FieldByName("CREATEON").SetAsDateTime(static_cast<double>(static_cast<long>(now)));
        t.FieldByName("CREATEAT").SetAsString(data::TimeOfDayText(now));
    };
    script_.OnDoEvents = [this] { Pump(); };
    script_.OnLog = [this](const std::string& line) { SendtoLog(line, 0); };
    log_.OnLog = [this](const std::string& line, const std::string& text) {
        if (OnLog)
            OnLog(line, text);
    };
}

TAgentProcessor::~TAgentProcessor() {
    try {
        CloseTables();
    } catch (...) {
    }
}

void TAgentProcessor::SetFolders(const std::string& messages, const std::string& agents,
                                 const std::string& database) {
    messagesFolder_ = win::IncludeTrailingPathDelimiter(messages);
    agentsFolder_ = win::IncludeTrailingPathDelimiter(agents);
    dataBaseFolder_ = win::IncludeTrailingPathDelimiter(database);
}

void TAgentProcessor::SetProgramFolder(const std::string& folder) {
    programFolder_ = win::IncludeTrailingPathDelimiter(folder);
}

void TAgentProcessor::OpenTables() {
    data::TXbTable* partners[] = {&receivedXb_, &accountsXb_, &pendingXb_, &agentsXb_, &actionsXb_};
    data::TTable* tables[] = {&received_, &accounts_, &pending_, &agents_, &actions_};
    for (int i = 0; i < 5; ++i) {
        tables[i]->SetDatabaseName(win::ResolvePath(dataBaseFolder_));
        partners[i]->SetDataSource(nullptr);
    }
    // Details open after their master so their ranges follow it.
    data::OpenAtStartUp(accounts_);
    for (int i = 0; i < 5; ++i) {
        if (!tables[i]->Active())
            data::OpenAtStartUp(*tables[i]);
    }
    for (int i = 0; i < 5; ++i) {
        partnerSources_[i].SetDataSet(tables[i]);
        partners[i]->SetDataSource(&partnerSources_[i]);
    }
    for (data::TXbTable* p : partners)
        p->SysProp(1009, 0);
    rows_.SetDatabaseFolder(dataBaseFolder_);
}

void TAgentProcessor::CloseTables() {
    rows_.Close();
    for (data::TTable* t :
         {&received_, &accounts_, &pending_, &agents_, &actions_, &actionsByTime_, &answeredByKey_})
        if (t->Active())
            t->Close();
}

bool TAgentProcessor::TablesOpen() const {
    return accounts_.Active();
}

void TAgentProcessor::SetAutomationObjects(IQueltaMessage* message, IQueltaSMTP* smtp) {
    messageObject_ = message;
    smtpObject_ = smtp;
}

void TAgentProcessor::RegisterScriptObjects() {
    if (messageObject_)
        script_.AddNamedObject("CurrentMessage.", static_cast<IDispatch*>(messageObject_));
    if (smtpObject_)
        script_.AddNamedObject("QueltaSmtpServer.", static_cast<IDispatch*>(smtpObject_));
}

void TAgentProcessor::Pump() {
    if (OnPump)
        OnPump();
}

void TAgentProcessor::SendtoLog(const std::string& text, int level) {
    if (level == 0)
        log_.Log(text);
    else if (debugMode_)
        log_.Add("DEBUGMESSAGE -- " + text, text);
    Pump();
}

void TAgentProcessor::AddAgentEntry(const std::string& messageKey, const std::string& text) {
    actions_.Append();
    actions_.FieldByName("UNIQUE_ID")
        .SetAsString(data::UniqueId(win::Now(), text, data::kActionSuffix));
    actions_.FieldByName("MESSAGE_ID").SetAsString(data::StoredMessageKey(messageKey));
    actions_.FieldByName("NODE_ID").SetAsString(account_ ? account_->id : "");
    actions_.FieldByName("AGENT_ID").SetAsString(agentId_);
    actions_.FieldByName("ACTION").SetAsString(text);
    actions_.Post();
}

void TAgentProcessor::AgentsMain() {
    SendtoLog("MARK1", 9);
    SendtoLog("MARK2", 9);
    SendtoLog("MARK3", 9);
    struct PassEnd {
        TAgentProcessor& p;
        ~PassEnd() {
            p.current_.Clear();
            ++p.scanPasses_;
            if (p.OnPassDone)
                p.OnPassDone(p.scanPasses_);
        }
    } passEnd{*this};

    accounts_.Refresh();
    received_.Refresh();
    rows_.Forget();
    // Rows first, so a pass never walks a table that a close request shut.
    std::vector<Account> accounts;
    for (accounts_.First(); !accounts_.Eof(); accounts_.Next()) {
        Account a{TrimRight(accounts_.FieldByName("UNIQUE_ID").AsString()),
                  TrimRight(accounts_.FieldByName("NODE").AsString()),
                  TrimRight(accounts_.FieldByName("ADDRESS").AsString()),
                  TrimRight(accounts_.FieldByName("SMTPADDRES").AsString())};
        if (a.id.empty())
            break;
        accounts.push_back(a);
    }
    Pump();
    for (const Account& account : accounts) {
        if (!accounts_.Locate("UNIQUE_ID", account.id))
            continue;
        ProcessAccount(account);
        if (closeRequested_ || shutdownRequested_)
            break;
    }
}

void TAgentProcessor::ProcessAccount(const Account& account) {
    Pump();
    std::string folder = StoreFolderPath(messagesFolder_, account.id, TStoreFolder::Pending);
    RemoveLeftovers(folder);
    win::RemoveAbandonedParts(StoreFolderPath(messagesFolder_, account.id, TStoreFolder::In));
    for (const std::string& name : PendingFiles(folder)) {
        Pump();
        if (!ProcessMessage(account, folder, name))
            return;
    }
}

bool TAgentProcessor::LoadMessage(const std::string& path) {
    try {
        current_.Clear();
        current_.LoadFromFile(path);
        if (messageObject_) {
            com::Variant file(path);
            if (FAILED(messageObject_->LoadFromFile(file)))
                throw Exception("the message object cannot load it");
        }
        unloadable_.erase(path);
        return true;
    } catch (const std::exception&) {
        // Logged once; the file waits in Pending for a repair without
        // stopping the other messages.
        if (unloadable_.insert(path).second)
            SendtoLog("Unable to load for processing filename: " + path, 0);
        return false;
    }
}

bool TAgentProcessor::ProcessMessage(const Account& account, const std::string& folder,
                                     const std::string& name) {
    const std::string path = folder + name;
    if (!LoadMessage(path))
        return true;
    SendtoLog("Processing message " + name, 0);
    account_ = &account;
    // Key and identity of the message as it arrived, before an agent can
    // change the file; a mark keeps them for a pass that stopped midway.
    const TmsHeaders headers = StoredHeaders(path);
    TRunMark mark;
    const bool ran = ReadRunMark(path, mark);
    messageKey_ = mark.key.empty() ? HeaderKey(headers) : mark.key;
    struct stat st;
    identity_ = mark.identity.Known() ? mark.identity
                : ::stat(path.c_str(), &st) == 0
                    ? IdentityOf(headers, static_cast<long long>(st.st_size))
                    : TMessageIdentity{};
    bool rowWritten = mark.row;
    if (!ran) {
        // One message, one row and one run of the agents per account, even
        // when its file comes to Pending again.
        if (HasReceivedRow(messageKey_, headers, identity_, "")) {
            SendtoLog("Message " + name + " was received before: its agents do not run again", 0);
            rowWritten = true;
        } else {
            // Marked before the first agent: whatever fails from here on,
            // the agents never run on this message again.
            mark = {messageKey_, identity_, false};
            if (!WriteRunMark(path, mark)) {
                SendtoLog(" FAILED to mark " + path + " as in process", 0);
                return true;
            }
            try {
                RunAgents(account, path, messageKey_);
            } catch (...) {
                account_ = nullptr;
                throw;
            }
            if (!LoadMessage(path)) {
                account_ = nullptr;
                return true;
            }
            win::StopPoint("filing:agents-ran");
        }
    } else if (!rowWritten) {
        // A kill between the row and its mark leaves the row without the mark.
        rowWritten = HasReceivedRow(messageKey_, headers, identity_, name);
    }
    MovetoReceived(folder, name, account, !rowWritten);
    received_.Refresh();
    account_ = nullptr;
    Pump();
    return !(closeRequested_ || shutdownRequested_);
}

void TAgentProcessor::RunAgents(const Account& account, const std::string& path,
                                const std::string& key) {
    (void)key;
    bool stop = false;
    for (agents_.First(); !agents_.Eof(); agents_.Next()) {
        agentId_ = TrimRight(agents_.FieldByName("UNIQUE_ID").AsString());
        std::string agentName = TrimRight(agents_.FieldByName("AGENT").AsString());
        if (!LoadMessage(path))
            return;
        if (smtpObject_) {
            com::Variant server(account.smtpAddress);
            smtpObject_->put_Server(server);
        }
        SendtoLog(" - Processing Agent " + agentName, 0);
        TAgentDefinition agent = ReadAgentFile(AgentFilePath(agentsFolder_, agentName));
        if (stop)
            continue;
        if (agent.AgentType == "MESSAGE") {
            stop = ProccessMESSAGEAgent(current_, agent, path);
        } else if (agent.AgentType == "INTERVAL") {
            SendtoLog("INTERVAL AGENT PROCESS ACTIVATED Not implemented!", 0);
        } else if (agent.AgentType == "FUNCTION") {
            SendtoLog("FUNCTION AGENT PROCESS ACTIVATED Not implemented", 0);
        }
    }
    agentId_.clear();
}

bool TAgentProcessor::ProccessMESSAGEAgent(TmsMessage& message, const TAgentDefinition& agent,
                                           const std::string& pendingPath) {
    if (!AgentFires(agent, message, triggered_))
        return false;
    bool stop = false;
    RunActions(agent, message, pendingPath, stop);
    return stop;
}

bool TAgentProcessor::HasReceivedRow(const std::string& key, const TmsHeaders& headers,
                                     const TMessageIdentity& identity, const std::string& name) {
    const auto width = static_cast<std::size_t>(received_.FieldByName("FILENAME").Size());
    const std::string file = TrimRight(name.substr(0, width));
    const std::string account = account_ ? account_->id : "";
    auto ours = [&](const TReceivedRow& row) {
        return row.identity.Known() ? row.identity == identity : !file.empty() && row.file == file;
    };
    // The key as rows hold it, then as rows written before held it: a long
    // key's first 40 characters, a date key without its digest.
    std::vector<std::string> stored = {data::StoredMessageKey(key)};
    if (key.size() > data::kMessageKeyWidth)
        stored.push_back(data::CutMessageKey(key));
    if (headers.GetFieldValue("Message-ID").empty())
        stored.push_back(data::StoredMessageKey(DateKey(headers)));
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const bool older = i > 0; // rows of these keys kept no identity
        for (const TReceivedRow& row : rows_.Find(stored[i], account, ours))
            if (ours(row) && !(older && row.identity.Known()))
                return true;
    }
    return false;
}

bool TAgentProcessor::MovetoReceived(const std::string& folder, const std::string& name,
                                     const Account& account, bool appendRow) {
    const std::string path = folder + name;
    receivedXb_.SysProp(1007, 0);
    if (appendRow) {
        win::TDateTime date = 0;
        std::string rest;
        ParseMailDate(current_.Headers().GetFieldValue("Date"), date, rest);
        received_.Append();
        received_.FieldByName("MESSAGE_ID").SetAsString(data::StoredMessageKey(messageKey_));
        received_.FieldByName("LINK_ID").SetAsString(account.id);
        received_.FieldByName("SUBJECT").SetAsString(current_.Headers().GetFieldValue("Subject"));
        received_.FieldByName("FROM").SetAsString(current_.Headers().GetFieldValue("From"));
        received_.FieldByName("RECDATE").SetAsDateTime(
            static_cast<double>(static_cast<long>(date)));
        received_.FieldByName("FILENAME").SetAsString(name);
        received_.FieldByName("LASTUSER").SetAsString(identity_.headers);
        received_.FieldByName("STATUS").SetAsString(identity_.size);
        received_.Post();
        rows_.Added(account.id,
                    {TrimRight(received_.FieldByName("MESSAGE_ID").AsString()),
                     TrimRight(received_.FieldByName("FILENAME").AsString()), identity_});
        win::StopPoint("filing:row-posted");
        WriteRunMark(path, {messageKey_, identity_, true});
        win::StopPoint("filing:row-marked");
    }
    std::string target;
    bool copied = false;
    try {
        // Whole or not at all: a reader of In never sees half a message.
        target = ForceStoreFolder(messagesFolder_, account.id, TStoreFolder::In);
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (in && !in.bad()) {
            WriteFileWhole(target + name, text.view());
            copied = true;
        }
    } catch (const std::exception&) {
        copied = false;
    }
    if (!copied) {
        SendtoLog(
            " - FAILED to copy " + path + " to " + target + name + " in received items folder", 0);
        return false;
    }
    SendtoLog(
        " Successfully copied " + folder + " to " + target + name + " in received items folder", 0);
    win::StopPoint("filing:copied");
    if (::unlink(path.c_str()) != 0) {
        SendtoLog(" FAILED to delete " + path, 0);
        return false;
    }
    win::StopPoint("filing:pending-removed");
    ::unlink(RunMarkPath(path).c_str());
    return true;
}

} // namespace quelta
