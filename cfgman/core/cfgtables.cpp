#include "cfgman/core/cfgtables.h"

#include "platform/win/paths.h"

namespace cfgman {

namespace {

void Detail(data::TTable& detail, const char* tag, data::TDataSource* master, const char* fields) {
    detail.SetIndexName(tag);
    if (master != nullptr) {
        detail.SetMasterSource(master);
        detail.SetMasterFields(fields);
    }
}

// The table's file as it lies in the folder, whatever the case of its name.
bool TableFileExists(const std::string& folder, const std::string& file) {
    return win::FileExists(win::ResolvePath(win::IncludeTrailingPathDelimiter(folder) + file));
}

std::string OpenFailureText(const std::string& folder, const std::string& file,
                            const std::string& error) {
    const std::string where = "the table " + file + " in the database folder " + folder;
    if (!TableFileExists(folder, file))
        return error + " -- " + where + " does not exist. Make the empty tables with \"mkschema " +
               folder + "\" or choose the database folder in Preferences.";
    return error + " -- " + where +
           " cannot be opened; another program may hold it for itself, or it is damaged.";
}

} // namespace

TCfgTables::TCfgTables() {
    openOrder_ = {{&TableOrgs, &XbOrgs, "ORGS.DBF"},
                  {&TableGroups, &XbGroups, "GROUPS.DBF"},
                  {&TableNodes, &XbNodes, "nodes.dbf"},
                  {&TableReceived, &XbReceived, "RECEIVED.DBF"},
                  {&TablePending, &XbPending, "PENDING.DBF"},
                  {&TableSent, &XbSent, "sent.dbf"},
                  {&TableOut, &XbOut, "outbox.dbf"},
                  {&TableRules, &XbRules, "rules.dbf"},
                  {&TableAgents, &XbAgents, "Agents.dbf"},
                  {&TableAgents2, &XbAgents2, "Agents.dbf"},
                  {&TableGroups2, &XbGroups2, "GROUPS.DBF"},
                  {&TableNodes2, &XbNodes2, "nodes.dbf"},
                  {&TableActions, &XbActions, "actions.DBF"},
                  {&TableAgentActions, &XbAgentActions, "actions.DBF"}};
    data::TDataSource* sources[] = {&DSOrgs,    &DSGroups, &DSNodes,   &DSReceived,    &DSPending,
                                    &DSSent,    &DSOut,    &DSRules,   &DSAgents,      &DSAgents2,
                                    &DSGroups2, &DSNodes2, &DSActions, &DSAgentActions};
    for (std::size_t i = 0; i < openOrder_.size(); ++i) {
        const Entry& e = openOrder_[i];
        e.table->SetTableName(e.file);
        e.table->SetTableType(data::TTableType::ttXBFOX);
        sources[i]->SetDataSet(e.table);
        e.partner->SetDataSource(sources[i]);
    }
    Detail(TableGroups, "LINK_ID", &DSOrgs, "UNIQUE_ID");
    Detail(TableNodes, "LINK_ID", &DSGroups, "UNIQUE_ID");
    Detail(TableAgents, "LINK_ID", &DSNodes, "UNIQUE_ID");
    Detail(TableGroups2, "GROUP", nullptr, nullptr);
    Detail(TableAgents2, "LINK_ID", nullptr, nullptr);
    for (data::TTable* t : {&TableRules, &TableReceived, &TablePending, &TableSent, &TableOut})
        Detail(*t, "LINK_ID", &DSNodes2, "UNIQUE_ID");
    Detail(TableActions, "MESSAGE_ID", &DSReceived, "MESSAGE_ID");
    Detail(TableAgentActions, "AGENT_ID", &DSAgents2, "UNIQUE_ID");

    // One environment per program, hiding deleted rows everywhere.
    if (data::TXbEnv::Instance() == nullptr) {
        data::TXbEnv::Create().SetDeleted(true);
        ownsEnv_ = true;
    } else {
        data::TXbEnv::Instance()->SetDeleted(true);
    }
}

TCfgTables::~TCfgTables() {
    try {
        Close();
    } catch (...) {
    }
    if (ownsEnv_)
        data::TXbEnv::Release();
}

void TCfgTables::SetSystemProperties() {
    for (data::TXbTable* p : {&XbNodes, &XbAgents, &XbRules})
        p->SysProp(1009, 0);
}

void TCfgTables::PointAt(const std::string& folder) {
    // The order the tables are pointed in differs from the open order.
    data::TTable* order[] = {&TableOrgs,    &TableGroups,      &TableNodes,  &TableReceived,
                             &TablePending, &TableSent,        &TableOut,    &TableRules,
                             &TableGroups2, &TableNodes2,      &TableAgents, &TableAgents2,
                             &TableActions, &TableAgentActions};
    for (data::TTable* t : order) {
        if (t->Active())
            t->Close();
        t->SetDatabaseName(folder);
    }
}

void TCfgTables::Open() {
    for (const Entry& e : openOrder_) {
        if (e.table->Active())
            continue;
        try {
            e.table->Open();
        } catch (const data::EDatabaseError& error) {
            const std::string folder = e.table->DatabaseName();
            throw ETableOpenError(OpenFailureText(folder, e.file, error.what()), e.file, folder);
        }
    }
}

void TCfgTables::Close() {
    // Details before their masters.
    for (auto it = openOrder_.rbegin(); it != openOrder_.rend(); ++it)
        if (it->table->Active())
            it->table->Close();
}

} // namespace cfgman
