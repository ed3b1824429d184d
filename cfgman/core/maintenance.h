#pragma once
// Table maintenance while the program runs: each table is reopened for its
// own use (the program's other views of the file closed around it), worked
// on, and reopened shared, also when the work fails; the first failure is
// the one raised and the commands stop there.
namespace cfgman {

class TCfgTables;

// Rebuilds the tags of nine tables (ORGS.DBF has none).
void ReIndexTables(TCfgTables& t);
// Removes the deleted rows of eight tables.
void PackTables(TCfgTables& t);
// Empties the five message tables.
void ZapMessageTables(TCfgTables& t);

} // namespace cfgman
