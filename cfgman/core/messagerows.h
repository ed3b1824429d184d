#pragma once
// The rows behind the message editors: the received row a handled message
// writes back, and the filed message an agent-history row stands for.
#include <cstdint>
#include <string>

#include "platform/win/datetime.h"

namespace cfgman {

struct THandling {
    std::string From, Subject, FileName;
};

// Edits row recNo of RECEIVED.DBF in the folder: FROM, SUBJECT and FILENAME
// from the handling, LASTDATE and CREATEON today, CREATEAT the time as
// "hh:mm". The date the message was received (RECDATE) stays. Raises when
// the row cannot be found or written.
void WriteHandling(const std::string& databaseFolder, std::int32_t recNo, const THandling& handling,
                   win::TDateTime now);

// The file a history row's message was filed in: the In folder of the row's
// account, the FILENAME of that account's received row with the message
// key when its file is there, else the name posta gives a message with that
// key.
[[nodiscard]] std::string HistoryMessagePath(const std::string& messagesFolder,
                                             const std::string& databaseFolder,
                                             const std::string& accountId,
                                             const std::string& messageKey);

} // namespace cfgman
