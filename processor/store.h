#pragma once
// The message store: one folder per account below the messages folder, with
// the folders Pending, In, Out and Sent, one ".eml" file per message.
#include <cstddef>
#include <string>

class TmsCustomMessage;
class TmsHeaders;

namespace quelta {

enum class TStoreFolder { Pending, In, Out, Sent };

// "Pending", "In", "Out" or "Sent": the spelling used when a folder is made.
[[nodiscard]] const char* StoreFolderName(TStoreFolder folder);

// <Messages><account id>/<folder>/, found without regard to case, with a
// trailing separator. The folder is not created.
[[nodiscard]] std::string StoreFolderPath(const std::string& messagesFolder,
                                          const std::string& accountId, TStoreFolder folder);
// The same, creating the folder and its parents when missing; throws
// std::runtime_error when it cannot be made.
std::string ForceStoreFolder(const std::string& messagesFolder, const std::string& accountId,
                             TStoreFolder folder);

// Replaces "|", "?", ":", '"', "<" and ">" by "-", and also "/", "\" and
// control characters, so a text from mail can never name a file outside its
// folder; "." and ".." become "-" and "--".
[[nodiscard]] std::string SanitizeFileName(const std::string& text);

// The key a message is filed and looked up under: its whole Message-ID, or
// for a message without one its date key, "#" and a digest of its whole
// header block (16 hexadecimal digits): two such messages share a key only
// when every header line is the same.
[[nodiscard]] std::string MessageKey(const TmsCustomMessage& message);
// The same, of a message's header lines.
[[nodiscard]] std::string HeaderKey(const TmsHeaders& headers);
// The parsed Date as "yyyymmddhhmmss" followed by the first five characters
// of the Subject: what a message without Message-ID is named after, and
// its whole key in rows written before keys held the digest.
[[nodiscard]] std::string DateKey(const TmsHeaders& headers);
// What a message's file is named after: its Message-ID, else its date key.
[[nodiscard]] std::string NameKey(const TmsHeaders& headers);
// The header lines of a stored message file, up to its blank line however
// far it is; none when it cannot be read.
[[nodiscard]] TmsHeaders StoredHeaders(const std::string& path);

// What tells two messages under one key apart, as a received row keeps it:
// a digest of the whole header block (10 characters) and the size in bytes
// (5 characters). Empty in rows written before rows kept it.
struct TMessageIdentity {
    std::string headers, size;
    [[nodiscard]] bool Known() const { return !headers.empty(); }
    bool operator==(const TMessageIdentity&) const = default;
};
// size: the message's bytes as the server sends them (LIST's figure), which
// is the size of its file as stored.
[[nodiscard]] TMessageIdentity IdentityOf(const TmsHeaders& headers, long long size);
// The identity of a stored message file as it is now; unknown when it cannot be read.
[[nodiscard]] TMessageIdentity StoredIdentity(const std::string& path);

// The journal beside a pending file that says its agents have run, with
// what the processor knew of the message before an agent could change the
// file: its key and identity (empty in marks of earlier versions), and
// whether its received row is written.
struct TRunMark {
    std::string key;
    TMessageIdentity identity;
    bool row = false;
};
[[nodiscard]] std::string RunMarkPath(const std::string& pendingPath);
[[nodiscard]] std::string RunMarkText(const TRunMark& mark);
// False when there is no mark: the agents have not run.
bool ReadRunMark(const std::string& pendingPath, TRunMark& mark);

// Longest file name a key makes before ".eml": room is left within the
// file system's 255 bytes for a number, the ".run" mark and the
// temporary name of a write in progress.
inline constexpr std::size_t kMaxKeyNameLength = 200;

// The file name of a message with this key: the key made safe + ".eml". A
// longer name is cut, ending in a hash of the whole key. The names of
// different keys that clean to the same text are told apart by number:
// the second is "<name>~2.eml".
[[nodiscard]] std::string MessageFileName(const std::string& messageKey, int number = 1);

// Marker header lines on mail the processor sends.
inline constexpr const char* kAutoReplyMarker = "X-QueltaAuto-Reply: True";
inline constexpr const char* kForwardMarker = "X-QueltaForward: True";
inline constexpr const char* kRedirectMarker = "X-QueltaRedirect: True";

} // namespace quelta
