#pragma once
// The configuration manager's fourteen table objects over the ten shared
// tables, each with its xBase partner, and the one environment that hides
// deleted rows.
//
//   TableOrgs -> TableGroups -> TableNodes -> TableAgents    the account tree's walk
//   TableGroups2, TableNodes2, TableAgents2                  selection views (go to a record)
//   TableNodes2 -> TableRules, TableReceived, TablePending, TableSent, TableOut
//   TableReceived -> TableActions; TableAgents2 -> TableAgentActions (agent history)
#include "data/dataset.h"
#include "data/xbtable.h"

#include <string>

namespace cfgman {

// A table that cannot be opened: names the file and the folder and says
// what to run.
class ETableOpenError : public data::EDatabaseError {
public:
    ETableOpenError(const std::string& message, std::string tableFile, std::string folder)
        : EDatabaseError(message), tableFile_(std::move(tableFile)), folder_(std::move(folder)) {}
    [[nodiscard]] const std::string& TableFile() const { return tableFile_; }
    [[nodiscard]] const std::string& Folder() const { return folder_; }

private:
    std::string tableFile_, folder_;
};

class TCfgTables {
public:
    TCfgTables();
    ~TCfgTables();
    TCfgTables(const TCfgTables&) = delete;
    TCfgTables& operator=(const TCfgTables&) = delete;

    data::TTable TableOrgs, TableGroups, TableNodes, TableAgents, TableGroups2, TableNodes2,
        TableAgents2, TableRules, TableReceived, TablePending, TableSent, TableOut, TableActions,
        TableAgentActions;
    data::TXbTable XbOrgs, XbGroups, XbNodes, XbAgents, XbGroups2, XbNodes2, XbAgents2, XbRules,
        XbReceived, XbPending, XbSent, XbOut, XbActions, XbAgentActions;
    // One source per table: the partners reach their table through it, and
    // the masters' sources drive their details.
    data::TDataSource DSOrgs, DSGroups, DSNodes, DSAgents, DSGroups2, DSNodes2, DSAgents2, DSRules,
        DSReceived, DSPending, DSSent, DSOut, DSActions, DSAgentActions;

    // Engine system property 1009 := 0 on the account, attached-agent and
    // restriction partners.
    void SetSystemProperties();
    // Every table's database becomes the folder (used as given).
    void PointAt(const std::string& folder);
    // Opens the tables in start-up order; a failure names the table file
    // and the folder (ETableOpenError) and leaves the tables opened so far open.
    void Open();
    void Close();

    // The tables in start-up order, with the file each opens.
    struct Entry {
        data::TTable* table;
        data::TXbTable* partner;
        const char* file;
    };
    [[nodiscard]] const std::vector<Entry>& OpenOrder() const { return openOrder_; }

private:
    std::vector<Entry> openOrder_;
    bool ownsEnv_ = false;
};

} // namespace cfgman
