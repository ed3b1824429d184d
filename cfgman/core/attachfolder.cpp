#include "cfgman/core/attachfolder.h"

#include "mail/msmsg.h"
#include "platform/win/tempfile.h"

#include <filesystem>
#include <stdexcept>
#include <stdlib.h>

namespace cfgman {

TAttachmentFolder::~TAttachmentFolder() {
    Remove();
}

std::string TAttachmentFolder::Save(TmsCustomMessage& message, int index) {
    if (path_.empty()) {
        std::string pattern = win::GetTempPath() + "quelta-attach-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("Unable to create a folder for the attachments in " +
                                     win::GetTempPath());
        path_ = pattern + "/";
        next_ = 0;
    }
    const std::string folder = path_ + std::to_string(++next_) + "/";
    std::filesystem::create_directory(folder);
    message.SaveAttachment(index, folder);
    std::string name = message.Attachments()[index].FileName();
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    // SaveAttachment drops control characters from the name it writes.
    std::erase_if(name, [](char c) { return static_cast<unsigned char>(c) < 32; });
    return folder + name;
}

void TAttachmentFolder::Remove() {
    if (path_.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    path_.clear();
}

} // namespace cfgman
