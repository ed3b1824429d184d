#pragma once
// The remote-message list of the POP3 client: per message on the server its
// size as LIST reported it, its header lines as TOP returned them, and the
// retrieve and delete marks the caller sets before processing.
#include "mail/msmsgcls.h"

#include <cstdint>
#include <memory>
#include <vector>

class TmsRemoteInfoItem {
public:
    TmsRemoteInfoItem() = default;

    // Bit 0 of the mark byte.
    [[nodiscard]] bool RetrieveMark() const { return (marks_ & 1) != 0; }
    void SetRetrieveMark(bool on) { SetBit(1, on); }
    // Bit 1 of the mark byte.
    [[nodiscard]] bool DeleteMark() const { return (marks_ & 2) != 0; }
    void SetDeleteMark(bool on) { SetBit(2, on); }
    [[nodiscard]] std::uint8_t Marks() const { return marks_; }

    // Bytes as LIST reported them.
    [[nodiscard]] long Size() const { return size_; }
    void SetSize(long size) { size_ = size; }
    [[nodiscard]] TmsHeaders& Headers() { return headers_; }
    [[nodiscard]] const TmsHeaders& Headers() const { return headers_; }

private:
    void SetBit(std::uint8_t bit, bool on) {
        marks_ = static_cast<std::uint8_t>(on ? marks_ | bit : marks_ & ~bit);
    }
    std::uint8_t marks_ = 0;
    long size_ = 0;
    TmsHeaders headers_;
};

// Owns its items; indexing outside the list raises EListError.
class TmsRemoteInfo {
public:
    TmsRemoteInfo() = default;
    ~TmsRemoteInfo() { Clear(); }
    TmsRemoteInfo(const TmsRemoteInfo&) = delete;
    TmsRemoteInfo& operator=(const TmsRemoteInfo&) = delete;

    [[nodiscard]] int Count() const { return static_cast<int>(items_.size()); }
    [[nodiscard]] TmsRemoteInfoItem& Items(int index) const;
    void Add(std::unique_ptr<TmsRemoteInfoItem> item);
    // Frees every item, last first.
    void Clear();

private:
    std::vector<std::unique_ptr<TmsRemoteInfoItem>> items_;
};
