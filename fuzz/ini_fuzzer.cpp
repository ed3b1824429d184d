// Profile (INI) files as users and other programs leave them: every
// section and key read in every form, then a write, a key deletion and a
// section erasure, each rewriting the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_util.h"
#include "platform/win/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteScratch("fuzz.ini", fuzz::Bytes(data, size));
    win::TIniFile ini(path);
    // A few of each: every read parses the whole file again.
    std::size_t sections = 0;
    for (const std::string& section : ini.ReadSections()) {
        if (++sections > 8)
            break;
        std::size_t keys = 0;
        for (const std::string& key : ini.ReadSection(section)) {
            if (++keys > 8)
                break;
            (void)ini.ReadString(section, key, "");
            (void)ini.ReadInteger(section, key, -1);
            (void)ini.ReadBool(section, key, false);
            (void)ini.ValueExists(section, key);
        }
        (void)ini.SectionExists(section);
    }
    ini.WriteString("Fuzz Section", "Fuzz Key", "fuzz value");
    // What was just written is what is read back, whatever else the file holds.
    if (ini.ReadString("Fuzz Section", "Fuzz Key", "") != "fuzz value")
        __builtin_trap();
    ini.WriteInteger("Fuzz Section", "Count", 42);
    if (ini.ReadInteger("Fuzz Section", "Count", 0) != 42)
        __builtin_trap();
    ini.DeleteKey("Fuzz Section", "Fuzz Key");
    ini.EraseSection("Fuzz Section");
    return 0;
}
