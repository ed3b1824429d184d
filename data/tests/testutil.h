#pragma once
// Helpers of the table-layer tests: scratch folders, installed tables and a
// recorder for the layer's information boxes.
#include <string>
#include <vector>

namespace data::test {

// A fresh folder under the temp directory, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // With a trailing "/".
    [[nodiscard]] const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Runs a program with arguments; its exit status, output in out.
int Run(const std::vector<std::string>& argv, std::string* out = nullptr);

// Runs mkschema on the folder; true on success.
bool InstallTables(const std::string& folder);

// Records the layer's information boxes while it lives.
class InfoBoxes {
public:
    InfoBoxes();
    ~InfoBoxes();
    InfoBoxes(const InfoBoxes&) = delete;
    InfoBoxes& operator=(const InfoBoxes&) = delete;
    std::vector<std::string> texts;
};

} // namespace data::test
