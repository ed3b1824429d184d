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
// for a message without one the parsed Date as "yyyymmddhhmmss" followed by
// the first five characters of its Subject.
[[nodiscard]] std::string MessageKey(const TmsCustomMessage& message);
// The same, of a message's header lines.
[[nodiscard]] std::string HeaderKey(const TmsHeaders& headers);
// The header lines of a stored message file, up to its blank line (within
// its first MiB); none when it cannot be read.
[[nodiscard]] TmsHeaders StoredHeaders(const std::string& path);

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
