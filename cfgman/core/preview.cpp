#include "cfgman/core/preview.h"

#include "cfgman/core/text.h"
#include "mail/mspop3cl.h"

namespace cfgman {

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
