#include "cfgman/core/templates.h"

#include "cfgman/core/messagelists.h"
#include "platform/win/paths.h"
#include "processor/agentfile.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace cfgman {

std::string TemplatePath(const std::string& templatesFolder, const std::string& name) {
    if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." ||
        name == "..")
        throw std::runtime_error("\"" + name + "\" is not a template name: it may not be empty " +
                                 "or hold \"/\" or \"\\\".");
    return win::ResolvePath(templatesFolder + name + ".eml");
}

void DeleteTemplate(const std::string& templatesFolder, const std::string& name) {
    const std::string path = TemplatePath(templatesFolder, name);
    if (::unlink(path.c_str()) != 0)
        throw std::runtime_error("Unable to delete template " + path + ": " + std::strerror(errno));
}

void RenameTemplate(const std::string& templatesFolder, const std::string& oldName,
                    const std::string& newName) {
    const std::string from = TemplatePath(templatesFolder, oldName);
    const std::string to = TemplatePath(templatesFolder, newName);
    std::string why;
    if (!MoveFileNoReplace(from, to, why))
        throw std::runtime_error("Unable to rename template " + from + " to " + to + ": " + why);
}

std::string CategoryWord(const std::string& caption) {
    const std::string upper = quelta::UpperAZ(caption);
    return upper == "REPLY TO HEADER" ? "REPLYHEADER" : upper;
}

std::string MergeCodeText(const std::string& word, const std::string& value) {
    return "<<" + quelta::UpperAZ(word) + "~" + quelta::UpperAZ(value) + ">>";
}

quelta::TMergeContext PreviewMergeContext(std::function<void(const std::string&)> log) {
    quelta::TMergeContext ctx;
    ctx.Preview = true;
    ctx.VersionText = std::string("Dovira Quelta Mail Management System Version: ") +
                      kConfigurationManagerVersion;
    ctx.Log = std::move(log);
    return ctx;
}

} // namespace cfgman
