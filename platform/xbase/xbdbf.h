#pragma once
// Records layer: the DBF file (header, field descriptors, fixed-size
// records) over the block cache.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/xbase/xbcache.h"
#include "platform/xbase/xbfile.h"

namespace xbase {

struct FieldDesc {
    std::string name; // upper case as stored
    char type = 'C';
    int offset = 0; // 0-based in the record; the deletion byte is offset 0
    int width = 0;
    int decimals = 0;
    std::uint8_t flags = 0;
    // Bits of the null-flags field (Visual FoxPro), -1 for none: set when the
    // field is null, and for varchar and varbinary fields set when the value
    // is shorter than the field (its length then in the field's last byte).
    int nullBit = -1;
    int varBit = -1;
};

// Field flags of the descriptor.
inline constexpr std::uint8_t kFieldSystem = 0x01;
inline constexpr std::uint8_t kFieldNullable = 0x02;

// Varchar and varbinary fields: their value may be shorter than the field.
[[nodiscard]] inline bool IsVarLength(const FieldDesc& f) {
    return f.type == 'V' || f.type == 'Q';
}

// Lock bytes on the DBF file, far past any real data.
inline constexpr std::uint64_t kLockOpen = 0x7FFFFFF0;   // read = shared use, write = exclusive
inline constexpr std::uint64_t kLockHeader = 0x7FFFFFF1; // write = changing count or indexes
inline constexpr std::uint64_t kLockRecordBase = 0x40000000;
// Held while every tag is built again after a killed writer: others wait
// for it instead of giving up when the header lock's time-out ends.
inline constexpr std::uint64_t kLockRepair = 0x7FFFFFF2;

class DbfFile {
public:
    DbfFile() : cache_(file_) {}

    void Open(const std::string& path, bool writable);
    void Close() { file_.Close(); }
    // Writes an empty table. Fails when the file exists.
    static void Create(const std::string& path, const std::vector<FieldDesc>& fields);

    // Re-reads the record count (other users may have appended).
    void RefreshCount();
    // What tells a reader whether the table changed: the record count and
    // this engine's change counter, read in one step (the count is kept).
    struct Stamp {
        std::uint32_t count = 0, counter = 0;
        friend bool operator==(const Stamp&, const Stamp&) = default;
    };
    Stamp ReadStamp();
    // Raises the change counter before a change; the caller holds kLockHeader.
    void RaiseCounter();
    [[nodiscard]] Stamp CurrentStamp() const { return {count_, counter_}; }
    [[nodiscard]] std::uint32_t Count() const { return count_; }
    [[nodiscard]] const std::vector<FieldDesc>& Fields() const { return fields_; }
    [[nodiscard]] int RecSize() const { return recSize_; }
    [[nodiscard]] std::uint8_t Signature() const { return signature_; }
    // The code page of the table's text as FoxPro marks it (0: none).
    [[nodiscard]] std::uint8_t CodePageMark() const { return codePageMark_; }
    [[nodiscard]] bool HasMemoFields() const;
    [[nodiscard]] bool StructuralIndexFlag() const { return (tableFlags_ & 1) != 0; }
    void SetStructuralIndexFlag();
    [[nodiscard]] const std::string& Path() const { return file_.Path(); }
    File& GetFile() { return file_; }
    BlockCache& Cache() { return cache_; }

    // A record of empty fields: blanks, and zero bytes in the binary ones
    // (Visual FoxPro integers, currency, doubles, date-times, null flags);
    // varchar and varbinary fields hold the empty value.
    [[nodiscard]] std::string BlankRecord() const;

    // The null-flags field's bits in a record (false when there is none).
    [[nodiscard]] bool FlagBit(const std::string& record, int bit) const;
    void SetFlagBit(std::string& record, int bit, bool on) const;
    [[nodiscard]] bool IsNull(const FieldDesc& f, const std::string& record) const {
        return f.nullBit >= 0 && FlagBit(record, f.nullBit);
    }
    // The field's value bytes: the whole field, except for a varchar or
    // varbinary value shorter than it.
    [[nodiscard]] std::string_view Value(const FieldDesc& f, const std::string& record) const;
    // Stores a varchar or varbinary value (cut to the field's width).
    void SetVarValue(const FieldDesc& f, std::string& record, std::string_view value) const;
    void ReadRecord(std::uint32_t recno, std::string& buf);
    // From the file itself: a program that writes a record in place without
    // this engine's change counter is seen at once.
    void ReadRecordFresh(std::uint32_t recno, std::string& buf);
    void WriteRecord(std::uint32_t recno, const std::string& buf);
    // Appends at the count read from disk; the caller holds kLockHeader.
    // Record first, then the end mark, then the header count, so a reader
    // never counts a record that is not written yet.
    std::uint32_t AppendRecord(const std::string& buf);
    // Header byte 14, dBASE's transaction flag: set while a writer changes
    // records and index keys together, so a writer killed half-way leaves
    // it set for the next writer to see (and repair the indexes).
    [[nodiscard]] bool IndexChangeOpen();
    // Bytes 20-23 beside it: the one record whose keys change, so that the
    // next writer puts that record's keys right and nothing else (0: any
    // record, every tag is built again).
    [[nodiscard]] std::uint32_t IndexChangeRecord();
    void SetIndexChangeOpen(bool open, std::uint32_t record = 0);
    // From one record to any: the change now writes more than its entries.
    void WidenIndexChange();
    [[nodiscard]] bool IsDeleted(std::uint32_t recno);
    // Writes the header and the live records into out, a new file, and syncs
    // it; markIndexes sets the index-change mark in the copy so that a later
    // open builds its tags for it. Returns the records written.
    std::uint32_t WriteLiveCopy(File& out, bool markIndexes);
    // Goes on with the copy's description (and its locks) in place of the
    // table's own.
    void Adopt(File& copy);
    // Cuts the table to n records (pack and zap; exclusive).
    void TruncateTo(std::uint32_t n);

private:
    void LoadHeader();
    void AssignFlagBits();
    void WriteCountAndDate(std::uint32_t n);
    std::uint64_t RecordOffset(std::uint32_t recno) const {
        return headerLen_ + static_cast<std::uint64_t>(recno - 1) * recSize_;
    }

    File file_;
    BlockCache cache_;
    std::vector<FieldDesc> fields_;
    std::uint32_t count_ = 0;
    std::uint32_t counter_ = 0; // as last read or written
    int headerLen_ = 0;
    int recSize_ = 0;
    std::uint8_t signature_ = 0;
    std::uint8_t tableFlags_ = 0;
    std::uint8_t codePageMark_ = 0;
    std::uint8_t encryption_ = 0; // header byte 15, kept as read
    int nullFlags_ = -1;          // index of the null-flags field
};

} // namespace xbase
