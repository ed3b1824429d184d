#pragma once
// Account rows: a new account with its "Control Restriction" from the
// account wizard, and the fields the properties dialog edits. Everything is
// checked before a row is appended or changed, so nothing half-filled is
// stored.
#include "cfgman/core/rowitem.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cfgman {

class TCfgTables;

struct TNewAccount {
    std::string Name;
    std::string GroupId; // UNIQUE_ID of the chosen group
    std::string Smtp, Pop, Login, Password, Email;
    std::string Minutes, NextDate, NextTime; // as the wizard shows them
    bool Retrieve = true, Delete = true;
};

// What is wrong with the entered data, and on which wizard page (1..7).
struct TEntryProblem {
    int Page = 0;
    std::string Message;
};
[[nodiscard]] std::optional<TEntryProblem> CheckNewAccount(const TNewAccount& a);

// Appends the account row and its restriction row; returns the account's
// UNIQUE_ID (id as given, cut to 20 characters). Checks first and throws
// EConvertError with the problem's text.
std::string AddAccount(TCfgTables& t, const TNewAccount& a, const std::string& id);

// The login the wizard derives from an address: the part before the first
// "@"; an address without "@" (or none) leaves the login as it was.
[[nodiscard]] std::string LoginFromAddress(const std::string& address, const std::string& login);

// The fields of the account properties' first two tabs.
struct TAccountFields {
    std::string Name, Notes, Address, Login, Password, Pop, Smtp;
    std::string Minutes, NextDate, NextTime; // as the dialog shows them
    // The interval as stored (a blank, or one the box cannot take) stays
    // so: Minutes is then neither checked nor written.
    bool KeepInterval = false;
};
// The row at recNo of the second accounts view.
[[nodiscard]] TAccountFields ReadAccount(TCfgTables& t, std::int32_t recNo);
[[nodiscard]] std::optional<std::string> CheckAccountFields(const TAccountFields& f);
// Checks, then edits and posts the row.
void WriteAccount(TCfgTables& t, std::int32_t recNo, const TAccountFields& f);

// The agents attached to the account (Agents.dbf rows whose LINK_ID is its
// UNIQUE_ID), in the table's LINK_ID order.
[[nodiscard]] std::vector<TRowItem> AttachedAgents(const std::string& dataBase,
                                                   const std::string& accountId);

} // namespace cfgman
