#pragma once
// The private folder an editor window writes a shown message's attachments
// into, so they can be listed, opened and attached again on save. Each
// attachment gets a sub-folder of its own, so two attachments of one name
// never overwrite each other. The folder is made on first use and removed
// with everything in it when the object goes.
#include <string>

class TmsCustomMessage;

namespace cfgman {

class TAttachmentFolder {
public:
    TAttachmentFolder() = default;
    ~TAttachmentFolder();
    TAttachmentFolder(const TAttachmentFolder&) = delete;
    TAttachmentFolder& operator=(const TAttachmentFolder&) = delete;

    // Writes attachment index of the message and returns the file's path.
    // Raises what SaveAttachment raises (a name that cannot be a file).
    std::string Save(TmsCustomMessage& message, int index);
    // Removes every file written so far; the folder is made anew on next use.
    void Remove();
    // "" until the first Save.
    [[nodiscard]] const std::string& Path() const { return path_; }

private:
    std::string path_;
    int next_ = 0;
};

} // namespace cfgman
