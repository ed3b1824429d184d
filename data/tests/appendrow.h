#pragma once
// A row added as the programs add one: through the data layer, each field
// set from its text by name.
#include "data/dataset.h"
#include "data/xbtable.h"

#include <string>
#include <utility>
#include <vector>

namespace data::test {

// fields: pairs of field name and text, in any container.
template <class Fields = std::vector<std::pair<std::string, std::string>>>
void AppendRow(const std::string& folder, const std::string& table, const Fields& fields) {
    TTable t;
    t.SetDatabaseName(folder);
    t.SetTableName(table);
    t.SetTableType(TTableType::ttXBFOX);
    t.Open();
    t.Append();
    for (const auto& [name, value] : fields)
        t.FieldByName(name).SetAsString(value);
    t.Post();
    t.Close();
}

} // namespace data::test
