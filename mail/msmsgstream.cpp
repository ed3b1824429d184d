// The message classes' stream operations: the composer writes, the parser
// reads.
#include <istream>
#include <ostream>

#include "mail/msmsg.h"
#include "mail/mspars.h"

void TmsMessage::SaveToStream(std::ostream& stream) {
    TmsMessageEncoder encoder(*this);
    encoder.SetStream(&stream);
    encoder.Encode();
}

void TmsMessage::LoadFromStream(std::istream& stream) {
    TmsMessageDecoder decoder(stream);
    decoder.SetMessage(this);
    decoder.Decode();
}

void TmsArticle::SaveToStream(std::ostream& stream) {
    TmsArticleEncoder encoder(*this);
    encoder.SetStream(&stream);
    encoder.Encode();
}

void TmsArticle::LoadFromStream(std::istream& stream) {
    TmsArticleDecoder decoder(stream);
    decoder.SetMessage(this);
    decoder.Decode();
}
