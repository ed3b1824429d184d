// mkschema FOLDER: installs the ten empty tables with their memo and index
// files, and the organisation row the programs hang their groups on. Refuses
// to overwrite: when any of the files exists, nothing is written.
// Exit codes: 0 made, 1 failed, 2 bad arguments, 3 tables exist (kept).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data/schema.h"
#include "platform/win/datetime.h"
#include "platform/win/formatdatetime.h"
#include "platform/win/paths.h"
#include "platform/xbase/xbengine.h"

namespace {

std::string EngineError() {
    char buf[512] = {};
    xb_ErrorText(buf, sizeof buf);
    return buf;
}

// Files a table brings with it, in the case the installer writes them.
std::vector<std::string> FilesOf(const std::string& folder, const data::TableDef& t) {
    const std::string stem = folder + win::ChangeFileExt(t.fileName, "");
    const bool upper = win::ExtractFileExt(t.fileName) == ".DBF";
    std::vector<std::string> files{folder + t.fileName};
    if (t.HasMemo())
        files.push_back(stem + (upper ? ".FPT" : ".fpt"));
    if (!t.tags.empty())
        files.push_back(stem + (upper ? ".CDX" : ".cdx"));
    return files;
}

bool Fail(const std::string& what) {
    std::fprintf(stderr, "mkschema: %s: %s\n", what.c_str(), EngineError().c_str());
    return false;
}

// Writes the values into the current record at their fields' offsets.
bool PutRow(const std::vector<std::pair<std::string, std::string>>& values) {
    std::vector<char> record(static_cast<std::size_t>(xb_RecSize()), ' ');
    for (const auto& [field, value] : values) {
        const int n = xb_FieldNum(field.c_str());
        if (n == 0)
            return false;
        const std::size_t offset = static_cast<std::size_t>(xb_FieldOffset(n) - 1);
        const std::size_t width = static_cast<std::size_t>(xb_FieldWidth(n));
        std::memcpy(record.data() + offset, value.data(), std::min(width, value.size()));
    }
    return xb_PutRecord(record.data(), static_cast<int>(record.size())) != 0;
}

bool CreateTable(const std::string& folder, const data::TableDef& t) {
    std::vector<XbFieldDef> fields;
    for (const data::FieldDef& f : t.fields) {
        XbFieldDef d{};
        std::snprintf(d.name, sizeof d.name, "%s", f.name.c_str());
        d.type = f.type;
        d.width = f.width;
        d.decimals = f.decimals;
        fields.push_back(d);
    }
    const std::string path = folder + t.fileName;
    if (xb_Create(path.c_str(), fields.data(), static_cast<int>(fields.size())) == 0)
        return Fail(path);
    const int area = xb_Use(path.c_str(), nullptr, XB_EXCLUSIVE, XB_DRIVER_FOX);
    if (area == 0)
        return Fail(path);
    bool ok = true;
    // Tags live in the structural index, which opens with the table.
    for (const data::TagDef& tag : t.tags)
        if (xb_IndexTag("", tag.name.c_str(), tag.expression.c_str(), tag.unique ? 1 : 0, 0, "") ==
            0)
            ok = Fail(path + " tag " + tag.name);
    if (ok && t.fileName == "ORGS.DBF") {
        const win::TDateTime now = win::Now();
        if (xb_AppendEx() != XB_APPEND_OK ||
            !PutRow({{"UNIQUE_ID", data::UniqueId(now, data::kDefaultOrgName, 2)},
                     {"ORG", data::kDefaultOrgName},
                     {"CREATEON", win::FormatDateTime("yyyymmdd", now)}}) ||
            xb_Commit() == 0)
            ok = Fail(path + " organisation row");
        xb_Unlock(0);
    }
    xb_Close();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkschema FOLDER\n");
        return 2;
    }
    const std::string folder = win::IncludeTrailingPathDelimiter(win::ResolvePath(argv[1]));
    if (!win::DirectoryExists(folder) && !win::ForceDirectories(folder)) {
        std::fprintf(stderr, "mkschema: cannot create %s\n", folder.c_str());
        return 1;
    }
    // Table names are matched without regard to case, so an existing file in any case counts.
    for (const data::TableDef& t : data::Tables())
        for (const std::string& file : FilesOf(folder, t))
            if (win::FileExists(win::ResolvePath(file))) {
                std::fprintf(stderr, "mkschema: %s exists; nothing written\n",
                             win::ResolvePath(file).c_str());
                return 3;
            }
    for (const data::TableDef& t : data::Tables())
        if (!CreateTable(folder, t)) {
            // Leave no half installation behind: a second run would refuse it.
            for (const data::TableDef& made : data::Tables())
                for (const std::string& file : FilesOf(folder, made))
                    std::remove(win::ResolvePath(file).c_str());
            return 1;
        }
    std::printf("mkschema: %zu tables in %s\n", data::Tables().size(), folder.c_str());
    return 0;
}
