#pragma once
// What the server preview shows of each message waiting on a POP3 server:
// read from the header list, nothing fetched.
#include <string>
#include <vector>

class TmsRemoteInfo;

namespace cfgman {

struct TPreviewItem {
    std::string Subject, From, Date;
    long Size = 0;
};

// From is the From header, else the Return-Path.
[[nodiscard]] std::vector<TPreviewItem> PreviewItems(const TmsRemoteInfo& info);

// The server of an account: its POP3 server, else its SMTP server.
[[nodiscard]] std::string PreviewServer(const std::string& pop, const std::string& smtp);

} // namespace cfgman
