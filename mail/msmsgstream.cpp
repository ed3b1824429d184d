// Reading and writing messages as text. The parser and composer are not in
// this library yet: until they are, both directions refuse clearly.
#include <istream>
#include <ostream>

#include "mail/msmsg.h"

namespace {
[[noreturn]] void notYet() {
    throw EMessageError("Message text reading and writing is not built yet");
}
} // namespace

void TmsMessage::SaveToStream(std::ostream&) {
    notYet();
}
void TmsMessage::LoadFromStream(std::istream&) {
    notYet();
}
void TmsArticle::SaveToStream(std::ostream&) {
    notYet();
}
void TmsArticle::LoadFromStream(std::istream&) {
    notYet();
}
