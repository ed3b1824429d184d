#include "retriever/storednames.h"

#include <dirent.h>
#include <sys/stat.h>

namespace retriever {

namespace {

std::string Folded(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return s;
}

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace

void TStoredNames::Load(const std::vector<std::string>& folders) {
    spellings_.clear();
    for (const std::string& folder : folders) {
        DIR* d = ::opendir(folder.c_str());
        if (!d)
            continue;
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            auto& list = spellings_[Folded(name)];
            bool known = false;
            for (const std::string& s : list)
                known = known || s == name;
            if (!known)
                list.push_back(name);
        }
        ::closedir(d);
    }
}

std::string TStoredNames::Find(const std::string& folder, const std::string& name) const {
    if (IsFile(folder + name))
        return folder + name;
    // A file moved between the folders since Load keeps its spelling.
    const auto it = spellings_.find(Folded(name));
    if (it == spellings_.end())
        return {};
    for (const std::string& spelling : it->second)
        if (spelling != name && IsFile(folder + spelling))
            return folder + spelling;
    return {};
}

} // namespace retriever
