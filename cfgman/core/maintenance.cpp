#include "cfgman/core/maintenance.h"

#include "cfgman/core/cfgtables.h"

#include <functional>
#include <vector>

namespace cfgman {

namespace {

struct TCycle {
    data::TTable* table;
    data::TXbTable* partner;
    std::vector<data::TTable*> others; // the other views of the same file
};

// Closes the views, opens the table exclusively, works, and opens
// everything shared again whatever happened.
void ExclusiveCycle(const TCycle& c, const std::function<void(data::TXbTable&)>& work) {
    std::vector<data::TTable*> closed;
    for (data::TTable* other : c.others)
        if (other->Active()) {
            other->Close();
            closed.push_back(other);
        }
    if (c.table->Active())
        c.table->Close();
    auto reopen = [&] {
        if (c.table->Active())
            c.table->Close();
        c.table->SetExclusive(false);
        c.table->Open();
        for (data::TTable* other : closed)
            other->Open();
    };
    try {
        c.table->SetExclusive(true);
        c.table->Open();
        work(*c.partner);
    } catch (...) {
        try {
            reopen();
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
    reopen();
}

struct TTags {
    TCycle cycle;
    const char* bag;
    std::vector<const char*> tags; // the first one unique when unique is set
    bool unique;
};

} // namespace

void ReIndexTables(TCfgTables& t) {
    const std::vector<TTags> all = {
        {{&t.TableNodes, &t.XbNodes, {&t.TableNodes2}},
         "nodes",
         {"UNIQUE_ID", "LINK_ID", "NODE"},
         true},
        {{&t.TableGroups, &t.XbGroups, {&t.TableGroups2}},
         "groups",
         {"UNIQUE_ID", "LINK_ID", "GROUP"},
         true},
        {{&t.TableReceived, &t.XbReceived, {}},
         "received",
         {"MESSAGE_ID", "LINK_ID", "FROM"},
         true},
        {{&t.TableActions, &t.XbActions, {&t.TableAgentActions}},
         "actions",
         {"MESSAGE_ID", "UNIQUE_ID", "AGENT_ID", "NODE_ID"},
         false},
        {{&t.TablePending, &t.XbPending, {}}, "pending", {"MESSAGE_ID", "LINK_ID", "FROM"}, true},
        {{&t.TableSent, &t.XbSent, {}},
         "Sent",
         {"UNIQUE_ID", "LINK_ID", "SUBJECT", "TONAME"},
         true},
        {{&t.TableOut, &t.XbOut, {}},
         "OutBox",
         {"UNIQUE_ID", "LINK_ID", "SUBJECT", "TONAME"},
         true},
        {{&t.TableRules, &t.XbRules, {}}, "rules", {"UNIQUE_ID", "LINK_ID", "RULE"}, true},
        {{&t.TableAgents2, &t.XbAgents2, {&t.TableAgents}},
         "Agents",
         {"UNIQUE_ID", "LINK_ID", "AGENT"},
         true},
    };
    for (const TTags& entry : all)
        ExclusiveCycle(entry.cycle, [&](data::TXbTable& partner) {
            for (std::size_t i = 0; i < entry.tags.size(); ++i)
                if (partner.IndexTag(entry.bag, entry.tags[i], entry.tags[i],
                                     entry.unique && i == 0 ? 1 : 0, false, "") == 0)
                    // A table without its tag would be read in the wrong order.
                    throw data::EDatabaseError(
                        "Unable to build the index tag " + std::string(entry.tags[i]) + " of " +
                        entry.cycle.table->TableName() + ": " + partner.LastEngineError());
        });
}

void PackTables(TCfgTables& t) {
    const std::vector<TCycle> all = {{&t.TableNodes, &t.XbNodes, {&t.TableNodes2}},
                                     {&t.TableGroups, &t.XbGroups, {&t.TableGroups2}},
                                     {&t.TableReceived, &t.XbReceived, {}},
                                     {&t.TablePending, &t.XbPending, {}},
                                     {&t.TableRules, &t.XbRules, {}},
                                     {&t.TableSent, &t.XbSent, {}},
                                     {&t.TableOut, &t.XbOut, {}},
                                     {&t.TableAgents2, &t.XbAgents2, {&t.TableAgents}}};
    for (const TCycle& c : all)
        ExclusiveCycle(c, [](data::TXbTable& partner) { partner.Pack(); });
}

void ZapMessageTables(TCfgTables& t) {
    // The history view is another view of actions.DBF: it closes too, or
    // the file could not be had alone.
    const std::vector<TCycle> all = {{&t.TableReceived, &t.XbReceived, {}},
                                     {&t.TableSent, &t.XbSent, {}},
                                     {&t.TablePending, &t.XbPending, {}},
                                     {&t.TableActions, &t.XbActions, {&t.TableAgentActions}},
                                     {&t.TableOut, &t.XbOut, {}}};
    for (const TCycle& c : all)
        ExclusiveCycle(c, [](data::TXbTable& partner) { partner.Zap(); });
}

} // namespace cfgman
