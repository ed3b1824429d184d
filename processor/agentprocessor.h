#pragma once
// The agent processor's pass without its windows: every pending message of
// every account runs through the account's attached agents, their actions
// are performed and recorded, and the message is filed into In with a
// received row. The program's windows drive it from a timer.
//
// A message's journey:  Pending/N.eml --agents--> (N.eml.run marks that its
// agents ran) --received row--> copied to In/ --> removed from Pending with
// its mark. A mark found at the next pass means: file it, never run the
// agents again.
#include "data/dataset.h"
#include "data/xbtable.h"
#include "mail/msmsg.h"
#include "mail/mssmtp.h"
#include "platform/basic/engine.h"
#include "platform/win/logbook.h"
#include "processor/agentfile.h"
#include "processor/receivedrows.h"

#include <deque>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct IQueltaMessage;
struct IQueltaSMTP;

namespace quelta {

class TAgentProcessor {
public:
    TAgentProcessor();
    ~TAgentProcessor();
    TAgentProcessor(const TAgentProcessor&) = delete;
    TAgentProcessor& operator=(const TAgentProcessor&) = delete;

    // Folders end with a separator; one given without gets it.
    void SetFolders(const std::string& messages, const std::string& agents,
                    const std::string& database);
    [[nodiscard]] const std::string& MessagesFolder() const { return messagesFolder_; }
    [[nodiscard]] const std::string& AgentsFolder() const { return agentsFolder_; }
    [[nodiscard]] const std::string& DataBaseFolder() const { return dataBaseFolder_; }
    // Where the log file and the launch action's temp folder live.
    void SetProgramFolder(const std::string& folder);
    [[nodiscard]] const std::string& ProgramFolder() const { return programFolder_; }

    // Opens received, accounts, pending, attached agents and actions.
    void OpenTables();
    void CloseTables();
    [[nodiscard]] bool TablesOpen() const;

    // The automation objects the processor keeps for its lifetime (owned
    // by the caller); scripts see them as "CurrentMessage." and
    // "QueltaSmtpServer.".
    void SetAutomationObjects(IQueltaMessage* message, IQueltaSMTP* smtp);
    void RegisterScriptObjects();
    [[nodiscard]] basic::TBasicEngine& ScriptEngine() { return script_; }
    [[nodiscard]] TmsSMTP& AgentSMTP() { return smtp_; }
    // Loads the socket layer for the mail components (creating them unloads
    // it); raises when the library is missing.
    void LoadSocketLayer() { smtp_.SetWinsockLoaded(true); }

    // One pass over all accounts.
    void AgentsMain();
    // Runs one MESSAGE agent; true when later agents are to skip the message.
    bool ProccessMESSAGEAgent(TmsMessage& message, const TAgentDefinition& agent,
                              const std::string& pendingPath);
    void AddAgentEntry(const std::string& messageKey, const std::string& text);

    // Level 0 always, level 9 only in debug mode; newest line first.
    void SendtoLog(const std::string& text, int level = 0);
    // The application-wide handler: beeps and logs " -- Error-" + message.
    void AppException(const std::string& message) { log_.Error(message); }
    [[nodiscard]] const std::deque<std::string>& LogLines() const { return log_.Lines(); }
    void ClearLog() { log_.Clear(); }
    // agentproc.log in the program folder; a missing file is created empty.
    void LoadLog() { log_.Load(programFolder_ + "agentproc.log"); }
    void SaveLog() const { log_.Save(programFolder_ + "agentproc.log"); }

    [[nodiscard]] bool DebugMode() const { return debugMode_; }
    void SetDebugMode(bool on) { debugMode_ = on; }
    [[nodiscard]] int ScanPasses() const { return scanPasses_; }
    [[nodiscard]] const std::vector<std::string>& TriggerResults() const { return triggered_; }
    // Longest delay the delay action accepts, in seconds.
    void SetMaxDelay(long seconds) { maxDelay_ = seconds; }

    // A close or shut-down asked for by an action, carried out by the
    // program once the current message is filed and the pass has ended.
    [[nodiscard]] bool CloseRequested() const { return closeRequested_; }
    [[nodiscard]] bool ShutdownRequested() const { return shutdownRequested_; }
    [[nodiscard]] unsigned ShutdownFlags() const { return shutdownFlags_; }

    // Pumps the program's message queue (after log lines, between messages).
    std::function<void()> OnPump;
    // A new log line: the pane shows it first, the status bar its text.
    std::function<void(const std::string& line, const std::string& text)> OnLog;
    // The pass count changed.
    std::function<void(int passes)> OnPassDone;

private:
    struct Account {
        std::string id, node, address, smtpAddress;
    };
    void Pump();
    void ProcessAccount(const Account& account);
    // False when the pass is to end (a close or shut-down was asked for).
    bool ProcessMessage(const Account& account, const std::string& pendingFolder,
                        const std::string& name);
    bool LoadMessage(const std::string& path);
    void RunAgents(const Account& account, const std::string& path, const std::string& key);
    // True when the current account has a received row of this message:
    // its key and identity, or for a row written before rows kept an
    // identity, its key and this file (name; none: such rows do not count).
    bool HasReceivedRow(const std::string& key, const TmsHeaders& headers,
                        const TMessageIdentity& identity, const std::string& name);
    bool MovetoReceived(const std::string& pendingFolder, const std::string& name,
                        const Account& account, bool appendRow);
    void RunActions(const TAgentDefinition& agent, TmsMessage& message,
                    const std::string& pendingPath, bool& stop);
    // Sends through the account's server; a failure and every change the
    // send had to make are logged, the changes also as rows.
    void Send(TmsMessage& message, const std::string& subject);
    // How many times in the last 24 hours the current account answered a
    // sender, as its action rows of that time say: automatic replies to
    // messages whose received row has this From value, and mail passed on
    // to this address. Counts up to kMaxAnswersPerDay; the rows are read on
    // the UNIQUE_ID tag from 24 hours ago, so the cost follows the day's
    // rows, not the table.
    int AnswersInLastDay(const std::string& fromValue, const std::string& address);
    // Why the sender of message (at address) may not be answered again
    // today, or "".
    std::string AnsweredTooOften(const TmsMessage& message, const std::string& address);
    // An automatic reply that is not sent: a row and a log line say why.
    void RefuseReply(const std::string& reason);

    std::string messagesFolder_, agentsFolder_, dataBaseFolder_, programFolder_;
    data::TXbEnvHold env_; // before the tables: they never show a deleted row
    data::TTable accounts_, agents_, pending_, received_, actions_;
    data::TXbTable accountsXb_, agentsXb_, pendingXb_, receivedXb_, actionsXb_;
    data::TDataSource accountsSource_;
    data::TDataSource partnerSources_[5];
    TReceivedRows rows_;
    // The action rows in key (time) order and the received rows by key, for
    // counting answers; opened when first needed.
    data::TTable actionsByTime_, answeredByKey_;
    data::TXbTable answeredByKeyXb_;
    data::TDataSource answeredByKeySource_;
    TmsMessage current_, outgoing_;
    TmsSMTP smtp_;
    basic::TBasicEngine script_;
    IQueltaMessage* messageObject_ = nullptr;
    IQueltaSMTP* smtpObject_ = nullptr;

    win::TLogBook log_;
    std::vector<std::string> triggered_;
    std::set<std::string> unloadable_; // reported once each
    bool debugMode_ = false;
    int scanPasses_ = 0;
    long maxDelay_ = 3600;
    bool closeRequested_ = false;
    bool shutdownRequested_ = false;
    unsigned shutdownFlags_ = 0;

    // The agent being run: its row key and the account it belongs to.
    std::string agentId_;
    const Account* account_ = nullptr;
    std::string messageKey_;
    TMessageIdentity identity_; // of the message as it arrived
    TmsMailAddress originalSender_;
};

} // namespace quelta
