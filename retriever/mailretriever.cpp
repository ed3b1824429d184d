#include "retriever/mailretriever.h"

#include "data/schema.h"
#include "mail/msutils.h"
#include "platform/win/hooks.h"
#include "platform/win/paths.h"
#include "platform/win/profile.h"

#include <cmath>
#include <cstdio>

namespace retriever {

namespace {

// "h:mm" or "hh:mm" (seconds allowed); false for anything else.
bool ParseTimeOfDay(const std::string& text, int& minutes) {
    int h = 0, m = 0, s = 0;
    char tail = 0;
    const int got = std::sscanf(text.c_str(), "%d:%d:%d%c", &h, &m, &s, &tail);
    if (got < 2 || got > 3 || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59)
        return false;
    minutes = h * 60 + m;
    return true;
}

} // namespace

TMailRetriever::TMailRetriever() {
    const struct {
        data::TTable* table;
        const char* name;
    } tables[] = {{&accounts_, "NODES.DBF"},    {&orgs_, "ORGS.DBF"},   {&groups_, "GROUPS.DBF"},
                  {&received_, "received.dbf"}, {&rules_, "rules.dbf"}, {&pending_, "PENDING.DBF"}};
    for (const auto& t : tables) {
        t.table->SetTableName(t.name);
        t.table->SetTableType(data::TTableType::ttXBFOX);
    }
    received_.SetIndexName("MESSAGE_ID");
    accountsSource_.SetDataSet(&accounts_);
    for (data::TTable* detail : {&rules_, &pending_}) {
        detail->SetIndexName("LINK_ID");
        detail->SetMasterSource(&accountsSource_);
        detail->SetMasterFields("UNIQUE_ID");
    }

    pop_.SetDefaultPort(110);
    pop_.SetTimeOut(40);
    pop_.OnNextInfoUpdated = [this](TagSocket&, int index) {
        const std::string n = std::to_string(index + 1);
        const std::string count = std::to_string(pop_.MessageCount());
        SendtoLog("Downloading Header " + n + " of " + count + " -- " +
                  pop_.Info().Items(index).Headers().GetFieldValue("Subject"));
        ShowAction("Downloading Headers " + n + " of " + count);
        Pump();
    };
    pop_.OnRetrieving = [this](TagSocket&, int index) {
        const std::string text = "Retrieving  " + std::to_string(index + 1) + " of " +
                                 std::to_string(pop_.MessageCount());
        SendtoLog(text);
        ShowAction(text);
        if (OnProgress)
            OnProgress(pop_.MessageCount(), index + 1);
    };
    pop_.OnUserMessageSave = [this](TagSocket&, int index, std::istream& contents) {
        SaveFetched(index, contents);
    };
    log_.OnLog = [this](const std::string& line, const std::string& text) {
        if (OnLog)
            OnLog(line, text);
    };
    // A message is deleted on the server only once its file is on the disk,
    // and the session ends (QUIT) only once every file is.
    pop_.OnDeleting = [this](TagSocket&, int index) {
        if (const auto it = written_.find(index); it != written_.end())
            writer_.Wait(it->second);
    };
    pop_.OnDataTransfered = [this](TagSocket&) { FinishWrites(true); };
    // A refused DELE leaves the message on the server, stored; the user
    // learns why, and the session goes on with the next message.
    pop_.OnDeleted = [this](TagSocket&, int index) {
        if (pop_.GetReplyCode(pop_.Reply()) != 1)
            SendtoLog("Message " + std::to_string(index + 1) +
                      " was not deleted on the server: " + pop_.Reply());
    };
}

TMailRetriever::~TMailRetriever() {
    EndSession();
    try {
        CloseTables();
    } catch (...) {
    }
    pop_.SetRAS(nullptr);
}

void TMailRetriever::SetFolders(const std::string& messages, const std::string& agents,
                                const std::string& database) {
    messagesFolder_ = messages;
    agentsFolder_ = agents;
    dataBaseFolder_ = database;
}

void TMailRetriever::ForceFolders() const {
    win::ForceDirectories(win::ResolvePath(messagesFolder_));
    win::ForceDirectories(win::ResolvePath(agentsFolder_));
}

void TMailRetriever::SetProgramFolder(const std::string& folder) {
    programFolder_ = win::IncludeTrailingPathDelimiter(folder);
}

void TMailRetriever::SetRasService(const std::string& service) {
    if (win::SameText(service, "None") || service.empty()) {
        pop_.SetRAS(nullptr);
        ras_.reset();
        return;
    }
    if (!ras_)
        ras_ = std::make_unique<TagRas>();
    ras_->SetService(service);
    pop_.SetRAS(ras_.get());
}

void TMailRetriever::OpenTables() {
    data::TTable* tables[] = {&accounts_, &orgs_, &groups_, &received_, &rules_, &pending_};
    data::TXbTable* partners[] = {&accountsXb_, &orgsXb_,  &groupsXb_,
                                  &receivedXb_, &rulesXb_, &pendingXb_};
    for (int i = 0; i < 6; ++i) {
        partnerSources_[i].SetDataSet(tables[i]);
        partners[i]->SetDataSource(&partnerSources_[i]);
        partners[i]->SysProp(1009, 0);
        tables[i]->SetDatabaseName(win::ResolvePath(dataBaseFolder_));
    }
    // Details open after their master so their ranges follow it.
    for (data::TTable* t : {&received_, &accounts_, &groups_, &rules_, &pending_})
        data::OpenAtStartUp(*t);
    rows_.SetDatabaseFolder(dataBaseFolder_);
}

void TMailRetriever::CloseTables() {
    rows_.Close();
    for (data::TXbTable* p : {&accountsXb_, &orgsXb_, &groupsXb_, &receivedXb_, &rulesXb_})
        p->SysProp(1009, 0);
    for (data::TTable* t : {&accounts_, &orgs_, &groups_, &received_, &rules_, &pending_})
        if (t->Active())
            t->Close();
}

void TMailRetriever::Pump() {
    win::ProcessMessages();
}

void TMailRetriever::ShowNode(const std::string& text) {
    if (OnCurrentNode)
        OnCurrentNode(text);
}

void TMailRetriever::ShowAction(const std::string& text) {
    if (OnCurrentAction)
        OnCurrentAction(text);
}

// ---- pass ----

void TMailRetriever::TimerProcessTimer() {
    if (OnTimerEnabled)
        OnTimerEnabled(false);
    try {
        if (processingOn_)
            ProcessMail();
    } catch (const std::exception& e) {
        AppException(e.what());
    }
    if (OnTimerEnabled)
        OnTimerEnabled(true);
}

bool TMailRetriever::Due() {
    const std::string dateText = accounts_.FieldByName("NEXTDATE").AsString();
    const std::string timeText = Trim(accounts_.FieldByName("NEXTTIME").AsString());
    win::TDateTime due = 0;
    bool readable = false;
    try {
        int minutes = 0;
        if (!accounts_.FieldByName("NEXTDATE").IsNull() &&
            (timeText.empty() || ParseTimeOfDay(timeText, minutes))) {
            due = std::floor(accounts_.FieldByName("NEXTDATE").AsDateTime()) + minutes / 1440.0;
            readable = true;
        }
    } catch (const std::exception&) {
    }
    if (!readable) {
        // An unreadable schedule must not hold back this account or the ones after it.
        SendtoLog(account_.node + " -- next run \"" + dateText + " " + timeText +
                  "\" is not a date and time; retrieving now");
        return true;
    }
    // Whole minutes: the fields keep no seconds.
    return win::Now() + 1e-9 >= due;
}

void TMailRetriever::ProcessMail() {
    accounts_.First();
    while (!accounts_.Eof()) {
        currentNodeId_ = accounts_.FieldByName("UNIQUE_ID").AsString();
        account_ = {currentNodeId_, accounts_.FieldByName("NODE").AsString()};
        ShowNode(account_.node);
        ShowAction("Scanning... ");
        if (Due()) {
            ShowAction("Logging In");
            SendtoLog(account_.node + " -- retrieving mail");
            AdvanceDateTime();
            RetrieveMesages();
        }
        ShowNode("");
        ShowAction("");
        if (OnProgress)
            OnProgress(0, 0);
        accounts_.Next();
    }
    ++scanPasses_;
    if (OnPassDone)
        OnPassDone(scanPasses_);
    if (processingOn_ && OnTimerEnabled)
        OnTimerEnabled(true);
}

void TMailRetriever::AdvanceDateTime() {
    const win::TDateTime now = win::Now();
    const long freq = accounts_.FieldByName("FREQVAL").AsInteger();
    // In whole minutes, so 10:00 + 90 is 11:30 exactly and 23:50 + 15 the next day's 00:05.
    const win::DateParts p = win::DecodeDateTime(now);
    const long day = static_cast<long>(std::floor(now));
    const long long total = static_cast<long long>(day) * 1440 + p.hour * 60 + p.minute + freq;
    const long long nextDay = total >= 0 ? total / 1440 : (total - 1439) / 1440;
    const int nextMinute = static_cast<int>(total - nextDay * 1440);
    char nextTime[32];
    std::snprintf(nextTime, sizeof nextTime, "%02d:%02d", nextMinute / 60, nextMinute % 60);

    accounts_.Edit();
    accounts_.FieldByName("LASTDATE").SetAsDateTime(static_cast<double>(day));
    accounts_.FieldByName("LASTTIME").SetAsString(data::TimeOfDayText(now));
    accounts_.FieldByName("NEXTDATE").SetAsDateTime(static_cast<double>(nextDay));
    accounts_.FieldByName("NEXTTIME").SetAsString(nextTime);
    accounts_.Post();
}

} // namespace retriever
