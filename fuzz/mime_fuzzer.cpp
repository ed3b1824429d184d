// The MIME parser over a whole message as it arrives from a server or a
// file, then the composer over what was read, and the parser once more over
// what the composer wrote; the composer's sending form through the filter of
// sent mail; the input as one entity made fit for sending.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "mail/msmsg.h"
#include "mail/msoutgoing.h"
#include "mail/mssevenbit.h"

namespace {

template <class M> void RoundTrip(const std::string& text) {
    M message;
    std::istringstream in(text);
    message.LoadFromStream(in);
    for (int i = 0; i < message.Attachments().GetCount(); ++i)
        (void)message.Attachments().GetItem(i).Data().size();
    (void)message.GetContentType();
    std::ostringstream out;
    message.SaveToStream(out);
    M again;
    std::istringstream back(out.str());
    again.LoadFromStream(back);
    std::ostringstream sent;
    message.SaveForSending(sent);
    TOutgoingFilter filter({"Tue, 08 Dec 1998 10:20:30 +0100", "<f@example.org>"});
    (void)filter.Feed(sent.str(), true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(fuzz::Bytes(data, size));
    RoundTrip<TmsMessage>(text);
    RoundTrip<TmsArticle>(text);
    std::vector<std::string> notes;
    (void)SevenBitEntity(text, notes);
    return 0;
}
