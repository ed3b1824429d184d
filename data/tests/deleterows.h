#pragma once
// Rows deleted the two ways a shared table meets: through the data layer,
// as the configuration manager deletes them (the row positioned by its
// record number, then deleted), and by an outside tool that only sets the
// record's deletion flag in the file.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/xbtable.h"
#include "platform/win/paths.h"

namespace data::test {

enum class TDeletion { DataLayer, OutsideMark };

inline std::string DeletionName(TDeletion how) {
    return how == TDeletion::DataLayer ? "DataLayer" : "OutsideMark";
}

namespace detail {

inline std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

inline int DeleteThroughDataLayer(const std::string& folder, const std::string& table,
                                  const std::string& field, const std::string& value) {
    TTable t;
    TDataSource source;
    TXbTable partner;
    t.SetDatabaseName(folder);
    t.SetTableName(table);
    t.SetTableType(TTableType::ttXBFOX);
    t.Open();
    source.SetDataSet(&t);
    partner.SetDataSource(&source);
    std::vector<std::int32_t> rows;
    for (t.First(); !t.Eof(); t.Next())
        if (TrimRight(t.FieldByName(field).AsString()) == value)
            rows.push_back(t.RecNo());
    for (const std::int32_t recNo : rows) {
        partner.Go(recNo);
        t.Delete();
    }
    t.Close();
    return static_cast<int>(rows.size());
}

inline unsigned Le(const unsigned char* p, int bytes) {
    unsigned v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// The DBF layout as any reader knows it: the record count at byte 4, the
// header and record lengths at 8 and 10, 32-byte field descriptors from 32
// up to a 0x0D byte (name in the first 11 bytes, length at 16); each record
// starts with its deletion flag, then the fields in order.
inline int MarkDeletedInFile(const std::string& path, const std::string& field,
                             const std::string& value) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char head[32];
    if (!f.read(reinterpret_cast<char*>(head), 32))
        return -1;
    const unsigned count = Le(head + 4, 4), headerLength = Le(head + 8, 2),
                   recordLength = Le(head + 10, 2);
    unsigned offset = 1, width = 0;
    bool found = false;
    for (unsigned at = 32; !found && at + 32 <= headerLength; at += 32) {
        unsigned char d[32];
        f.seekg(at);
        if (!f.read(reinterpret_cast<char*>(d), 32) || d[0] == 0x0D)
            break;
        width = d[16];
        found = std::string(reinterpret_cast<char*>(d), strnlen(reinterpret_cast<char*>(d), 11)) ==
                field;
        if (!found)
            offset += width;
    }
    if (!found)
        return -1;
    int marked = 0;
    std::string record(recordLength, ' ');
    for (unsigned r = 0; r < count; ++r) {
        const std::streamoff at = headerLength + static_cast<std::streamoff>(r) * recordLength;
        f.seekg(at);
        f.read(record.data(), recordLength);
        if (TrimRight(record.substr(offset, width)) != value)
            continue;
        f.seekp(at);
        f.put('*');
        ++marked;
    }
    return f.good() ? marked : -1;
}

} // namespace detail

// Deletes the rows of a table whose field holds value; the number deleted
// (-1 when the file cannot be read).
inline int DeleteRows(const std::string& folder, const std::string& table, const std::string& field,
                      const std::string& value, TDeletion how) {
    if (how == TDeletion::DataLayer)
        return detail::DeleteThroughDataLayer(folder, table, field, value);
    const std::string path = win::ResolvePath(win::IncludeTrailingPathDelimiter(folder) + table);
    return detail::MarkDeletedInFile(path, field, value);
}

} // namespace data::test
