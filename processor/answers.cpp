// How often an account answered one sender lately, from the action rows
// the processor writes: the bound that holds whatever the mail says.
#include "processor/agentprocessor.h"

#include "data/cursor.h"
#include "data/schema.h"
#include "mail/msutils.h"
#include "platform/win/paths.h"
#include "processor/autoreply.h"

namespace quelta {

namespace {

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

constexpr std::string_view kReplyRow = "AutoReply Generated, SUBJECT: ";
constexpr std::string_view kForwardRow = "Message Forwarded to: ";
constexpr std::string_view kRedirectRow = "Message Redirected to: ";

} // namespace

int TAgentProcessor::AnswersInLastDay(const std::string& fromValue, const std::string& address) {
    const std::string account = account_ ? account_->id : "";
    if (!actionsByTime_.Active()) {
        actionsByTime_.SetDatabaseName(win::ResolvePath(dataBaseFolder_));
        actionsByTime_.SetTableName("ACTIONS.DBF");
        actionsByTime_.SetTableType(data::TTableType::ttXBFOX);
        actionsByTime_.SetIndexName("UNIQUE_ID");
        actionsByTime_.SetReadOnly(true);
        actionsByTime_.Open();
    }
    if (!answeredByKey_.Active()) {
        answeredByKey_.SetDatabaseName(win::ResolvePath(dataBaseFolder_));
        answeredByKey_.SetTableName("received.dbf");
        answeredByKey_.SetTableType(data::TTableType::ttXBFOX);
        answeredByKey_.SetIndexName("MESSAGE_ID");
        answeredByKey_.SetReadOnly(true);
        answeredByKey_.Open();
        answeredByKeySource_.SetDataSet(&answeredByKey_);
        answeredByKeyXb_.SetDataSource(&answeredByKeySource_);
    }
    // The From value as a received row holds it.
    const auto width = static_cast<std::size_t>(answeredByKey_.FieldByName("FROM").Size());
    const std::string from = TrimRight(fromValue.substr(0, width));

    // Row keys begin with the moment they were written: the rows of the
    // last 24 hours are the tag's range from that moment on.
    const std::string since = data::UniqueId(win::Now() - 1.0, "", 0);
    data::Check(data::CurSetRange(actionsByTime_.Handle(), true, 0, 0, since.c_str(), true, 0, 0,
                                  nullptr, true));
    int answers = 0;
    actionsByTime_.DisableControls();
    for (actionsByTime_.First(); !actionsByTime_.Eof() && answers < kMaxAnswersPerDay;
         actionsByTime_.Next()) {
        if (TrimRight(actionsByTime_.FieldByName("NODE_ID").AsString()) != account)
            continue;
        const std::string action = TrimRight(actionsByTime_.FieldByName("ACTION").AsString());
        if (action.starts_with(kReplyRow)) {
            // The answered message's sender, from its received row.
            const std::string key = TrimRight(actionsByTime_.FieldByName("MESSAGE_ID").AsString());
            if (!from.empty() && !key.empty() && answeredByKeyXb_.Seek(key) &&
                TrimRight(answeredByKey_.FieldByName("MESSAGE_ID").AsString()) == key &&
                TrimRight(answeredByKey_.FieldByName("FROM").AsString()) == from)
                ++answers;
        } else {
            for (std::string_view head : {kForwardRow, kRedirectRow})
                if (action.starts_with(head) &&
                    SameText(Trim(std::string_view(action).substr(head.size())), address))
                    ++answers;
        }
    }
    actionsByTime_.EnableControls();
    return answers;
}

} // namespace quelta
