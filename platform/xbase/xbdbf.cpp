#include "platform/xbase/xbdbf.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/xbase/xberror.h"

namespace xbase {

// DBF header (little-endian):
//   offset size meaning
//   0      1    signature: 0x03 table, 0xF5 FoxPro table with memo,
//               0x30/0x31/0x32 Visual FoxPro, 0x83/0x8B dBASE with memo
//   1      3    date of last update: year - 1900, month, day
//   4      4    number of records
//   8      2    header length (bytes before the first record)
//   10     2    record length, deletion byte included
//   12     2    reserved
//   14     1    transaction flag: 1 while a writer changes records and index
//               keys together
//   15     1    encryption flag
//   16     4    change counter of this engine, raised before every change
//               of a shared table (other programs leave it or write zero)
//   20     4    while byte 14 is set: the one record whose keys change
//               (0: any, the tags are built again after a stop)
//   24     4    reserved
//   28     1    table flags: 0x01 structural .cdx, 0x02 memo, 0x04 database
//   29     1    code page mark
//   30     2    reserved
//   32     32*n field descriptors, then 0x0D; Visual FoxPro adds 263 bytes
//               (database back link) before the first record.
//
// Field descriptor:
//   0      11   name, NUL-padded
//   11     1    type letter: C N F D L M (G P B I Y T V 0 read as stored)
//   12     4    offset of the field in the record (FoxPro)
//   16     1    width
//   17     1    decimals
//   18     1    field flags: 0x01 system, 0x02 nullable, 0x04 binary
//   19     13   auto-increment and reserved
//
// Records: deletion byte (' ' live, '*' deleted), then the fields; after the
// last record one 0x1A end-of-file byte.
//
// Visual FoxPro's null flags: a last, system field "_NullFlags" (type '0')
// holds one bit per nullable field and one per varchar (V) or varbinary (Q)
// field, given out in field order from bit 0 of its first byte; a nullable
// varchar has its length bit first, then its null bit. A set null bit: the
// field is null (its bytes blank). A set length bit: the value is shorter
// than the field, and the field's last byte holds its length.

namespace {

std::uint32_t Le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
void PutLe32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void PutLe16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

bool KnownSignature(std::uint8_t s) {
    switch (s) {
    case 0x02:
    case 0x03:
    case 0x30:
    case 0x31:
    case 0x32:
    case 0x43:
    case 0x63:
    case 0x83:
    case 0x8B:
    case 0xCB:
    case 0xE5:
    case 0xF5:
    case 0xFB:
        return true;
    default:
        return false;
    }
}

void TodayYmd(unsigned char* out) {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    out[0] = static_cast<unsigned char>(tm.tm_year % 256);
    out[1] = static_cast<unsigned char>(tm.tm_mon + 1);
    out[2] = static_cast<unsigned char>(tm.tm_mday);
}

} // namespace

void DbfFile::Open(const std::string& path, bool writable) {
    file_.Open(path, writable);
    LoadHeader();
}

void DbfFile::LoadHeader() {
    const std::string& path = file_.Path();
    cache_.Invalidate();
    unsigned char h[32];
    std::uint64_t size = file_.Size();
    if (size < 32)
        ThrowCorrupt(path, "header", "file is shorter than a table header");
    file_.ReadAt(0, h, 32, "header");
    // Measured again after the header: another user's append writes its
    // record before the count, so a count read is never past this size.
    size = file_.Size();
    signature_ = h[0];
    if (!KnownSignature(signature_))
        ThrowCorrupt(path, "header", "not a dBASE/FoxPro table (signature byte)");
    headerLen_ = Le16(h + 8);
    recSize_ = Le16(h + 10);
    tableFlags_ = h[28];
    codePageMark_ = h[29];
    count_ = Le32(h + 4);
    counter_ = Le32(h + 16);
    encryption_ = h[15];
    if (headerLen_ < 33 || static_cast<std::uint64_t>(headerLen_) > size)
        ThrowCorrupt(path, "header", "header length out of range");
    if (recSize_ < 2)
        ThrowCorrupt(path, "header", "record length out of range");
    std::vector<unsigned char> desc(static_cast<std::size_t>(headerLen_) - 32);
    file_.ReadAt(32, desc.data(), desc.size(), "field descriptors");
    fields_.clear();
    int offset = 1;
    std::size_t pos = 0;
    bool terminated = false;
    while (pos < desc.size()) {
        if (desc[pos] == 0x0D) {
            terminated = true;
            break;
        }
        if (pos + 32 > desc.size())
            break;
        const unsigned char* d = desc.data() + pos;
        FieldDesc f;
        char name[12] = {};
        std::memcpy(name, d, 11);
        f.name = name;
        f.type = static_cast<char>(d[11]);
        f.width = d[16];
        f.decimals = d[17];
        f.flags = d[18];
        f.offset = offset;
        std::string where = "field " + std::to_string(fields_.size() + 1);
        if (f.name.empty() || f.width == 0)
            ThrowCorrupt(path, where, "empty name or zero width");
        offset += f.width;
        fields_.push_back(f);
        pos += 32;
    }
    if (!terminated)
        ThrowCorrupt(path, "field descriptors", "no terminator within the header length");
    if (fields_.empty())
        ThrowCorrupt(path, "field descriptors", "no fields");
    if (offset != recSize_)
        ThrowCorrupt(path, "field descriptors",
                     "field widths add up to " + std::to_string(offset) +
                         " but the record length is " + std::to_string(recSize_));
    AssignFlagBits();
    // The size after the count: another user's append writes its record
    // before the count, so a size taken first may be short of it.
    std::uint64_t need = headerLen_ + static_cast<std::uint64_t>(count_) * recSize_;
    if (need > size)
        size = file_.Size();
    if (need > size)
        ThrowCorrupt(path, "header",
                     "record count " + std::to_string(count_) + " runs past the end of the file");
    // A shared open reads the count and the change counter before and after
    // every seek and step: from the mapped header, not with a system call.
    (void)file_.MapHead(32);
}

void DbfFile::RefreshCount() {
    unsigned char c[4];
    file_.ReadHead(4, c, 4, "header");
    count_ = Le32(c);
}

bool DbfFile::IndexChangeOpen() {
    unsigned char flag = 0;
    file_.ReadAt(14, &flag, 1, "header");
    return flag != 0;
}

std::uint32_t DbfFile::IndexChangeRecord() {
    unsigned char r[4];
    file_.ReadAt(20, r, 4, "header");
    return Le32(r);
}

void DbfFile::SetIndexChangeOpen(bool open, std::uint32_t record) {
    if (!open) {
        const unsigned char flag = 0;
        cache_.Write(14, &flag, 1);
        return;
    }
    // The mark and its record in one write, with the bytes between as they
    // are (the caller holds the header lock, so the counter is this one).
    unsigned char b[10];
    b[0] = 1;
    b[1] = encryption_;
    PutLe32(b + 2, counter_);
    PutLe32(b + 6, record);
    cache_.Write(14, b, sizeof b);
}

void DbfFile::WidenIndexChange() {
    const unsigned char r[4] = {0, 0, 0, 0};
    cache_.Write(20, r, 4);
}

bool DbfFile::IsDeleted(std::uint32_t recno) {
    char mark = ' ';
    cache_.Read(RecordOffset(recno), &mark, 1, "record");
    return mark == '*';
}

DbfFile::Stamp DbfFile::ReadStamp() {
    unsigned char h[16];
    file_.ReadHead(4, h, 16, "header");
    count_ = Le32(h);
    counter_ = Le32(h + 12);
    return CurrentStamp();
}

void DbfFile::RaiseCounter() {
    unsigned char c[4];
    PutLe32(c, counter_ + 1);
    cache_.Write(16, c, 4);
    ++counter_;
}

// Without a null-flags field wide enough for every bit, no field has one:
// the fields then read as they are stored.
void DbfFile::AssignFlagBits() {
    nullFlags_ = -1;
    int bits = 0;
    for (auto& f : fields_) {
        f.nullBit = f.varBit = -1;
        if (f.flags & kFieldSystem)
            continue;
        if (IsVarLength(f))
            f.varBit = bits++;
        if (f.flags & kFieldNullable)
            f.nullBit = bits++;
    }
    for (std::size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].type == '0' && (fields_[i].flags & kFieldSystem))
            nullFlags_ = static_cast<int>(i);
    if (bits > 0 && nullFlags_ >= 0 &&
        fields_[static_cast<std::size_t>(nullFlags_)].width * 8 >= bits)
        return;
    nullFlags_ = -1;
    for (auto& f : fields_)
        f.nullBit = f.varBit = -1;
}

bool DbfFile::FlagBit(const std::string& record, int bit) const {
    if (nullFlags_ < 0 || bit < 0)
        return false;
    const FieldDesc& nf = fields_[static_cast<std::size_t>(nullFlags_)];
    auto at = static_cast<std::size_t>(nf.offset + bit / 8);
    return at < record.size() && (static_cast<unsigned char>(record[at]) >> (bit % 8)) & 1;
}

void DbfFile::SetFlagBit(std::string& record, int bit, bool on) const {
    if (nullFlags_ < 0 || bit < 0)
        return;
    const FieldDesc& nf = fields_[static_cast<std::size_t>(nullFlags_)];
    auto at = static_cast<std::size_t>(nf.offset + bit / 8);
    if (at >= record.size())
        return;
    auto mask = static_cast<unsigned char>(1u << (bit % 8));
    auto b = static_cast<unsigned char>(record[at]);
    record[at] = static_cast<char>(on ? b | mask : b & ~mask);
}

std::string_view DbfFile::Value(const FieldDesc& f, const std::string& record) const {
    std::string_view bytes = std::string_view(record).substr(static_cast<std::size_t>(f.offset),
                                                             static_cast<std::size_t>(f.width));
    if (!IsVarLength(f) || !FlagBit(record, f.varBit) || bytes.empty())
        return bytes;
    auto len = static_cast<unsigned char>(bytes.back());
    return bytes.substr(0, std::min<std::size_t>(len, bytes.size() - 1));
}

void DbfFile::SetVarValue(const FieldDesc& f, std::string& record, std::string_view value) const {
    auto width = static_cast<std::size_t>(f.width);
    std::string bytes(value.substr(0, width));
    bool shorter = bytes.size() < width;
    if (shorter && f.varBit < 0) {
        bytes.resize(width, f.type == 'V' ? ' ' : '\0'); // no length bit: padded as stored
    } else if (shorter) {
        auto len = static_cast<char>(bytes.size());
        bytes.resize(width, f.type == 'V' ? ' ' : '\0');
        bytes.back() = len;
    }
    record.replace(static_cast<std::size_t>(f.offset), width, bytes);
    SetFlagBit(record, f.varBit, shorter);
}

bool DbfFile::HasMemoFields() const {
    for (const auto& f : fields_)
        if (f.type == 'M' || f.type == 'G' || f.type == 'P' || f.type == 'W')
            return true;
    return false;
}

void DbfFile::SetStructuralIndexFlag() {
    if (tableFlags_ & 1)
        return;
    tableFlags_ |= 1;
    cache_.Write(28, &tableFlags_, 1);
}

std::string DbfFile::BlankRecord() const {
    std::string r(static_cast<std::size_t>(recSize_), ' ');
    for (const auto& f : fields_) {
        bool binary =
            f.type == 'I' || f.type == 'Y' || f.type == 'T' || f.type == '0' ||
            (f.type == 'B' && f.width == 8) ||
            ((f.type == 'M' || f.type == 'G' || f.type == 'P' || f.type == 'W') && f.width == 4);
        if (binary)
            r.replace(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.width),
                      static_cast<std::size_t>(f.width), '\0');
    }
    for (const auto& f : fields_)
        if (IsVarLength(f))
            SetVarValue(f, r, "");
    return r;
}

void DbfFile::ReadRecord(std::uint32_t recno, std::string& buf) {
    buf.resize(static_cast<std::size_t>(recSize_));
    cache_.Read(RecordOffset(recno), buf.data(), buf.size(), "record");
}

void DbfFile::ReadRecordFresh(std::uint32_t recno, std::string& buf) {
    buf.resize(static_cast<std::size_t>(recSize_));
    cache_.ReadFresh(RecordOffset(recno), buf.data(), buf.size(), "record");
}

void DbfFile::WriteRecord(std::uint32_t recno, const std::string& buf) {
    cache_.Write(RecordOffset(recno), buf.data(), static_cast<std::size_t>(recSize_));
}

std::uint32_t DbfFile::AppendRecord(const std::string& buf) {
    RefreshCount();
    std::uint32_t recno = count_ + 1;
    std::string out = buf;
    out.resize(static_cast<std::size_t>(recSize_), ' ');
    out.push_back('\x1A');
    cache_.Write(RecordOffset(recno), out.data(), out.size());
    WriteCountAndDate(recno);
    return recno;
}

void DbfFile::WriteCountAndDate(std::uint32_t n) {
    unsigned char h[7];
    TodayYmd(h);
    PutLe32(h + 3, n);
    cache_.Write(1, h, 7);
    count_ = n;
}

std::uint32_t DbfFile::WriteLiveCopy(File& out, bool markIndexes) {
    std::string head(static_cast<std::size_t>(headerLen_), '\0');
    file_.ReadAt(0, head.data(), head.size(), "header");
    std::uint64_t at = static_cast<std::uint64_t>(headerLen_);
    std::uint32_t live = 0;
    std::string in, batch;
    constexpr std::uint32_t kBatch = 4096; // records a read
    for (std::uint32_t r = 1; r <= count_; r += kBatch) {
        const std::uint32_t n = std::min(kBatch, count_ - r + 1);
        in.resize(static_cast<std::size_t>(n) * recSize_);
        file_.ReadAt(RecordOffset(r), in.data(), in.size(), "record");
        batch.clear();
        for (std::uint32_t i = 0; i < n; ++i) {
            const char* rec = in.data() + static_cast<std::size_t>(i) * recSize_;
            if (rec[0] == '*')
                continue;
            batch.append(rec, static_cast<std::size_t>(recSize_));
            ++live;
        }
        if (!batch.empty())
            out.WriteAt(at, batch.data(), batch.size());
        at += batch.size();
    }
    const char eof = '\x1A';
    out.WriteAt(at, &eof, 1);
    auto* h = reinterpret_cast<unsigned char*>(head.data());
    TodayYmd(h + 1);
    PutLe32(h + 4, live);
    h[14] = markIndexes ? 1 : 0;
    PutLe32(h + 20, 0); // the whole index, not one record
    out.WriteAt(0, head.data(), head.size());
    out.Sync();
    return live;
}

void DbfFile::Adopt(File& copy) {
    const std::string path = file_.Path(); // the copy now has the table's name
    file_.TakeOver(copy, path);
    LoadHeader();
}

void DbfFile::TruncateTo(std::uint32_t n) {
    WriteCountAndDate(n);
    std::uint64_t end = RecordOffset(n + 1);
    char eof = '\x1A';
    cache_.Write(end, &eof, 1);
    file_.Truncate(end + 1);
    cache_.DropFrom(end);
}

void DbfFile::Create(const std::string& path, const std::vector<FieldDesc>& fields) {
    if (fields.empty() || fields.size() > 255)
        throw Error(XB_ERR_ARGUMENT, "A table needs 1 to 255 fields");
    bool memo = false;
    int recSize = 1;
    std::string desc;
    for (const auto& f : fields) {
        if (f.name.empty() || f.name.size() > 10 || f.width < 1 || f.width > 254)
            throw Error(XB_ERR_ARGUMENT, "Bad field definition: " + f.name);
        memo = memo || f.type == 'M';
        unsigned char d[32] = {};
        std::memcpy(d, f.name.data(), f.name.size());
        d[11] = static_cast<unsigned char>(f.type);
        PutLe32(d + 12, static_cast<std::uint32_t>(recSize));
        d[16] = static_cast<unsigned char>(f.width);
        d[17] = static_cast<unsigned char>(f.decimals);
        desc.append(reinterpret_cast<char*>(d), 32);
        recSize += f.width;
    }
    if (recSize > 65535)
        throw Error(XB_ERR_ARGUMENT, "Record too long");
    unsigned char h[32] = {};
    h[0] = memo ? 0xF5 : 0x03;
    TodayYmd(h + 1);
    int headerLen = 32 + static_cast<int>(desc.size()) + 1;
    PutLe16(h + 8, static_cast<std::uint16_t>(headerLen));
    PutLe16(h + 10, static_cast<std::uint16_t>(recSize));
    std::string all(reinterpret_cast<char*>(h), 32);
    all += desc;
    all += '\x0D';
    all += '\x1A';
    File f;
    f.Create(path);
    f.WriteAt(0, all.data(), all.size());
}

} // namespace xbase
