#pragma once
// Every table of a database folder checked by outside readers
// (tablecheck.py beside this file: dbfread and index_dump): the problems
// found, one line each; none when the tables and their tags agree.
#include "data/schema.h"

#include <cstdio>
#include <string>
#include <vector>

namespace tablecheck {

inline std::vector<std::string> Problems(const std::string& dbFolder) {
    std::string cmd = "/usr/bin/python3 '" QUELTA_SOURCE_DIR "/data/tests/tablecheck.py'";
    bool first = true;
    for (const data::TableDef& t : data::Tables()) {
        cmd += first ? " '" : " -- '";
        first = false;
        cmd += dbFolder + "/" + t.fileName + "'";
        for (const data::TagDef& tag : t.tags)
            cmd += " " + tag.name + (tag.unique ? "!" : "");
    }
    std::vector<std::string> lines;
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    if (!p)
        return {"cannot run " + cmd};
    std::string line;
    for (int c; (c = std::fgetc(p)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty())
        lines.push_back(line);
    if (::pclose(p) != 0 && lines.empty())
        lines.push_back("tablecheck.py failed");
    return lines;
}

} // namespace tablecheck
