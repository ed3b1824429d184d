#pragma once
// The mail retriever without its windows: the pass over the accounts, each
// due account's schedule and POP3 session with its restrictions, and the
// log. The program's window drives it from a 5-second timer; tests run it
// headless.
//
//   tick:    timer off -> (retrieval on) ProcessMail -> timer on, also after a failure
//   pass:    per account row: due? -> AdvanceDateTime -> RetrieveMesages
//   session: disconnect -> log in -> list (LIST, TOP) -> restrictions ->
//            no fetch for what is stored (Pending, In, received) ->
//            ProcessMarked (check, RETR, check, DELE) -> QUIT, also after a
//            failure (but not over a dial-up link that dropped)
//
// A listed message is known by its key, its size and its whole header
// block. What the store holds of it decides: the very message (it is not
// fetched again, and deleted as the restrictions say), another message
// under its key (it is fetched and stored under a name of its own), or a
// copy that cannot be told from it or shown to be whole (it stays on the
// server, and the log says why when the restrictions would delete it).
#include "data/dataset.h"
#include "data/xbtable.h"
#include "mail/agras.h"
#include "mail/msmsg.h"
#include "mail/mspop3.h"
#include "platform/win/logbook.h"
#include "processor/receivedrows.h"
#include "retriever/backgroundwriter.h"
#include "retriever/storednames.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace retriever {

// What the store holds of a listed message, weakest first: nothing under
// its key, another message under its key, a copy that may be this message
// (why says why it cannot be told), this very message.
enum class THeld { Nothing, Other, Unsure, Same };
struct TStored {
    THeld held = THeld::Nothing;
    std::string why;
    // The key itself is another message's (not only a file name alike).
    bool keyTaken = false;
};
// The stronger of two findings.
[[nodiscard]] TStored Stronger(const TStored& a, const TStored& b);
// The account's received rows that name a file holding a message of fileKey.
using TRowsNaming = std::function<std::vector<quelta::TReceivedRow>(const std::string& file,
                                                                    const std::string& fileKey)>;

class TMailRetriever {
public:
    TMailRetriever();
    ~TMailRetriever();
    TMailRetriever(const TMailRetriever&) = delete;
    TMailRetriever& operator=(const TMailRetriever&) = delete;

    // Used as given (they end with a separator); paths are built by appending.
    void SetFolders(const std::string& messages, const std::string& agents,
                    const std::string& database);
    [[nodiscard]] const std::string& MessagesFolder() const { return messagesFolder_; }
    [[nodiscard]] const std::string& AgentsFolder() const { return agentsFolder_; }
    [[nodiscard]] const std::string& DataBaseFolder() const { return dataBaseFolder_; }
    // Creates the messages and agents folders with missing parents.
    void ForceFolders() const;
    // Where mailproc.log lives.
    void SetProgramFolder(const std::string& folder);
    // A dial-up entry other than "None" is dialled when a session opens.
    void SetRasService(const std::string& service);

    // SysProp(1009, 0) on the partners, then opens received, accounts,
    // groups, restrictions and pending (the organisations table stays shut).
    void OpenTables();
    void CloseTables();

    [[nodiscard]] bool ProcessingOn() const { return processingOn_; }
    void SetProcessingOn(bool on) { processingOn_ = on; }
    [[nodiscard]] int ScanPasses() const { return scanPasses_; }
    [[nodiscard]] const std::string& CurrentNodeId() const { return currentNodeId_; }

    // One timer tick: the timer is off for the pass and on again afterwards;
    // a failure reaches AppException.
    void TimerProcessTimer();
    // One pass over the accounts in natural order; a failure ends it.
    void ProcessMail();
    // The current account: last run := now, next run := now + FREQVAL minutes.
    void AdvanceDateTime();
    // The POP3 session of the current account.
    void RetrieveMesages();

    // Newest line first; the status text is the bare text.
    void SendtoLog(const std::string& text) { log_.Log(text); }
    void AppException(const std::string& message) { log_.Error(message); }
    [[nodiscard]] const std::deque<std::string>& LogLines() const { return log_.Lines(); }
    void ClearLog() { log_.Clear(); }
    // mailproc.log in the program folder; a missing one is created.
    void LoadLog() { log_.Load(programFolder_ + "mailproc.log"); }
    // A log that cannot be written is no reason to stop retrieving.
    void SaveLog() const { log_.Save(programFolder_ + "mailproc.log"); }

    [[nodiscard]] TmsRemotePOP& POP() { return pop_; }
    [[nodiscard]] data::TTable& Accounts() { return accounts_; }

    // What the window shows.
    std::function<void(const std::string& line, const std::string& text)> OnLog;
    std::function<void(const std::string&)> OnCurrentNode, OnCurrentAction;
    std::function<void(int max, int position)> OnProgress;
    std::function<void(int passes)> OnPassDone;
    std::function<void(bool enabled)> OnTimerEnabled;

private:
    struct Account {
        std::string id, node;
    };
    void Pump();
    void ShowNode(const std::string& text);
    void ShowAction(const std::string& text);
    // Due when the next run has come, or cannot be read (logged).
    bool Due();
    // Ends the session: QUIT and close, whatever the connection's state.
    void EndSession() noexcept;
    // log: a match is logged ("Rule ... activated").
    void ApplyRestrictions(int index, bool log);
    void SaveFetched(int index, std::istream& contents);
    // What this account's received rows hold of a listed message.
    [[nodiscard]] TStored ReceivedRows(const TmsHeaders& headers, const std::string& key,
                                       const quelta::TMessageIdentity& identity);
    [[nodiscard]] TRowsNaming Naming();
    // index: the message kept on the server as the log says, its delete mark cleared.
    void KeepOnServer(int index, const std::string& why);
    // Waits for the files still being written; a failure is only reported
    // when the session has none of its own.
    void FinishWrites(bool report);

    std::string messagesFolder_, agentsFolder_, dataBaseFolder_, programFolder_;
    data::TXbEnvHold env_; // before the tables: they never show a deleted row
    data::TTable accounts_, orgs_, groups_, received_, rules_, pending_;
    data::TXbTable accountsXb_, orgsXb_, groupsXb_, receivedXb_, rulesXb_, pendingXb_;
    data::TDataSource accountsSource_;
    data::TDataSource partnerSources_[6];
    quelta::TReceivedRows rows_;
    TmsRemotePOP pop_;
    TStoredNames stored_; // the current session's Pending and In files
    TBackgroundWriter writer_;
    std::map<int, std::string> written_; // the session's fetched messages -> their files
    std::unique_ptr<TagRas> ras_;

    win::TLogBook log_;
    bool processingOn_ = false;
    int scanPasses_ = 0;
    std::string currentNodeId_;
    Account account_;
};

// Where a listed message is, or is to be, stored: the first of its
// numbered file names that is free in Pending and In, and what the files
// under those names hold of it. What a file held when it arrived counts: a
// pending file as it lies (with no mark of the processor beside it) or as
// the mark says; a filed one, which an agent may have changed, as its
// received row says. A file of an earlier version is the message when its
// header lines are its own, and cannot be told from it when they differ
// only where the composer writes anew.
struct TStoreSlot {
    std::string name;
    TStored stored;
};
// names: the session's Pending and In files; size: LIST's figure; naming:
// what the account's received rows say a filed file held when it arrived.
[[nodiscard]] TStoreSlot LocateStored(const TStoredNames& names, const std::string& pendingFolder,
                                      const std::string& inFolder, const TmsHeaders& listed,
                                      long size, const std::string& key, const TRowsNaming& naming);

} // namespace retriever
