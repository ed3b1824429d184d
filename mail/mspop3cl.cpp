#include "mail/mspop3cl.h"

#include "mail/exception.h"

TmsRemoteInfoItem& TmsRemoteInfo::Items(int index) const {
    if (index < 0 || index >= Count())
        RaiseListIndexError(index);
    return *items_[static_cast<std::size_t>(index)];
}

void TmsRemoteInfo::Add(std::unique_ptr<TmsRemoteInfoItem> item) {
    items_.push_back(std::move(item));
}

void TmsRemoteInfo::Clear() {
    while (!items_.empty())
        items_.pop_back();
}
