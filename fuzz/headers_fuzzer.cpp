// Header values as servers send them: encoded words, address lists and
// single addresses, header parameters, and a header block's fields.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "mail/msmime.h"
#include "mail/msmsgcls.h"
#include "mail/msutils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view value = fuzz::Bytes(data, size);
    (void)DecodeHeaderWords(value);
    for (const std::string& piece : SplitAddressList(value)) {
        TmsMailAddress address;
        ParseMailAddress(piece, address);
        (void)FormatMailAddress(address.Name(), address.Address());
        (void)DecodeHeaderWords(address.Name());
    }
    (void)QuoteDisplayName(value);
    (void)GetHeaderParam("charset", value);
    (void)GetHeaderParam("filename", value);
    (void)GetFirstToken(value);

    // The same bytes as a header block.
    TmsHeaders headers;
    headers.SetText(value);
    for (const char* field : {"From", "To", "Subject", "Content-Type", "X-UIDL"})
        (void)headers.GetFieldValue(field);
    TStringList list;
    headers.GetAddressField("To", list);
    (void)headers.GetAddressPieces("Cc");
    headers.DeleteField("Subject");
    headers.CutAtBlankLine();
    return 0;
}
