#pragma once
// Auto-reply templates: ".eml" files in the templates folder, named by the
// list without their extension, and the merge codes the editor helps to type.
#include <string>

#include "processor/mergecodes.h"

namespace cfgman {

// Templates folder + name + ".eml". Raises for a name that is empty or
// holds a path separator: a template is always a file of its folder.
[[nodiscard]] std::string TemplatePath(const std::string& templatesFolder, const std::string& name);

// Raises when the file is still there afterwards.
void DeleteTemplate(const std::string& templatesFolder, const std::string& name);
// Renames the file; raises, leaving it as it was, when the new name is not a
// plain name or a template of that name exists.
void RenameTemplate(const std::string& templatesFolder, const std::string& oldName,
                    const std::string& newName);

// The inserter's category word for a category caption: "REPLY TO HEADER"
// gives "REPLYHEADER", the others themselves (compared in upper case).
[[nodiscard]] std::string CategoryWord(const std::string& caption);
// "<<" + word + "~" + value + ">>", both in upper case.
[[nodiscard]] std::string MergeCodeText(const std::string& word, const std::string& value);

inline constexpr const char* kConfigurationManagerVersion = "1.018";
// The preview's merge: no expressions, no account, this program's version.
[[nodiscard]] quelta::TMergeContext
PreviewMergeContext(std::function<void(const std::string&)> log);

} // namespace cfgman
