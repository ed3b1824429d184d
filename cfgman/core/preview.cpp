#include "cfgman/core/preview.h"

#include "mail/mspop3cl.h"

namespace cfgman {

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

} // namespace

std::vector<TPreviewItem> PreviewItems(const TmsRemoteInfo& info) {
    std::vector<TPreviewItem> items;
    for (int i = 0; i < info.Count(); ++i) {
        const TmsRemoteInfoItem& m = info.Items(i);
        TPreviewItem item;
        item.Subject = m.Headers().GetFieldValue("Subject");
        item.From = m.Headers().GetFieldValue("From");
        if (Trim(item.From).empty())
            item.From = m.Headers().GetFieldValue("Return-Path");
        item.Date = m.Headers().GetFieldValue("Date");
        item.Size = m.Size();
        items.push_back(std::move(item));
    }
    return items;
}

std::string PreviewServer(const std::string& pop, const std::string& smtp) {
    return Trim(pop).empty() ? Trim(smtp) : Trim(pop);
}

} // namespace cfgman
