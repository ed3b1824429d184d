#pragma once
// A message as a mail client of today writes it: UTF-8 throughout, the text
// twice (plain and HTML), the header text in encoded words.
#include <string>

namespace testpeers {

inline const std::string kClientPlain = "Guten Tag,\r\n\r\nbitte liefern Sie 3 St\xC3\xBC"
                                        "ck nach K\xC3\xB6ln.\r\nGr\xC3\xBC\xC3\x9F"
                                        "e, J\xC3\xBCrgen\r\n";
inline const std::string kClientHtml = "<html><body><p>bitte liefern Sie 3 St\xC3\xBC"
                                       "ck nach K\xC3\xB6ln.</p></body></html>\r\n";

// to: the To field's value.
inline std::string ClientMail(const std::string& to) {
    return "Message-ID: <c1.4711@example.net>\r\n"
           "Date: Tue, 8 Dec 1998 10:20:30 +0100\r\n"
           "MIME-Version: 1.0\r\n"
           "User-Agent: Mozilla Thunderbird\r\n"
           "Content-Language: de-DE\r\n"
           "To: " +
           to +
           "\r\n"
           "From: =?UTF-8?Q?J=C3=BCrgen_Gro=C3=9F?= <juergen@example.net>\r\n"
           "Subject: Bestellung =?UTF-8?Q?f=C3=BCr_K=C3=B6ln?=\r\n"
           "Content-Type: multipart/alternative;\r\n"
           " boundary=\"------------0123456789ABCDEF\"\r\n"
           "\r\n"
           "This is a multi-part message in MIME format.\r\n"
           "--------------0123456789ABCDEF\r\n"
           "Content-Type: text/plain; charset=UTF-8; format=flowed\r\n"
           "Content-Transfer-Encoding: 8bit\r\n"
           "\r\n" +
           kClientPlain +
           "\r\n"
           "--------------0123456789ABCDEF\r\n"
           "Content-Type: text/html; charset=UTF-8\r\n"
           "Content-Transfer-Encoding: 8bit\r\n"
           "\r\n" +
           kClientHtml +
           "\r\n"
           "--------------0123456789ABCDEF--\r\n";
}

} // namespace testpeers
