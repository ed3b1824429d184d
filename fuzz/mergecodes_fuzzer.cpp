// The merge-code expander over a template: the input holds the template's
// lines, then ("\n====\n") the replied-to message's header block, then its
// body.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_util.h"
#include "mail/msmsg.h"
#include "processor/autoreply.h"
#include "processor/mergecodes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto pieces = fuzz::Pieces(fuzz::Bytes(data, size), 3);
    TmsMessage repliedTo;
    TmsHeaders headers;
    headers.SetText(pieces[1]);
    repliedTo.ParseHeaders(headers);
    repliedTo.Body().SetText(pieces[2]);

    TmsMessage outgoing;
    outgoing.Body().SetText(pieces[0]);
    if (outgoing.Body().Count() > 0)
        outgoing.SetSubject(outgoing.Body()[0]);
    for (int i = 0; i < outgoing.Body().Count() && i < 4; ++i)
        outgoing.Headers().Add("X-Line: " + outgoing.Body()[i]);

    quelta::TMergeContext context;
    context.NodeName = "Sales";
    context.NodeAddress = "sales@example.com";
    context.Log = [](const std::string&) {};
    context.Evaluate = [](const std::string& expression, std::string& result) {
        if (expression.empty())
            return false;
        result = "\"" + expression + "\"";
        return true;
    };
    (void)quelta::ProccessMergeCodes(outgoing, repliedTo, context);
    context.Preview = true;
    (void)quelta::ProccessMergeCodes(outgoing, repliedTo, context);
    // As the processor's replies run: in UTF-8, the template made so first.
    context.Preview = false;
    context.Utf8 = true;
    context.OnSubjectCut = [](const std::string&) {};
    quelta::TemplateToUtf8(outgoing);
    (void)quelta::ProccessMergeCodes(outgoing, repliedTo, context);
    return 0;
}
