#include "platform/com/com.h"
#include "platform/com/tests/comtest.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Get(const std::string& key, const std::string& name = "") {
    std::string v;
    return com::RegGetString(HKEY_CLASSES_ROOT, key, name, v) ? v : "<none>";
}

} // namespace

using Registry = ComTest;

TEST_F(Registry, LivesBesideTheIniFileAndPersists) {
    EXPECT_EQ(com::RegistryFileName(), dir_ + "/quelta.reg");
    ASSERT_EQ(RegSetValue(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32", REG_SZ, "/a/b.so", 0),
              ERROR_SUCCESS);
    // Every call reads the file afresh, so the file alone carries the state.
    std::string text = ReadFile(com::RegistryFileName());
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\CLSID\\{X}\\InprocServer32]"), std::string::npos);
    EXPECT_NE(text.find("@=sz:\"/a/b.so\""), std::string::npos);

    char buf[64];
    LONG cb = sizeof buf;
    ASSERT_EQ(RegQueryValue(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32", buf, &cb),
              ERROR_SUCCESS);
    EXPECT_STREQ(buf, "/a/b.so");
    EXPECT_EQ(cb, 8);
    cb = 3;
    EXPECT_EQ(RegQueryValue(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32", buf, &cb),
              ERROR_MORE_DATA);
    EXPECT_EQ(cb, 8);
    // A key without a default value reads as "".
    cb = sizeof buf;
    ASSERT_EQ(RegQueryValue(HKEY_CLASSES_ROOT, "CLSID", buf, &cb), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(RegQueryValue(HKEY_CLASSES_ROOT, "Nope", buf, &cb), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, NamesIgnoreCaseAndKeepTheFirstSpelling) {
    ASSERT_EQ(com::RegSetString(HKEY_CLASSES_ROOT, "Quelta.QueltaMessage\\Clsid", "", "{1}"),
              ERROR_SUCCESS);
    EXPECT_EQ(Get("QUELTA.queltamessage\\CLSID"), "{1}");
    ASSERT_EQ(com::RegSetString(HKEY_CLASSES_ROOT, "quelta.queltamessage", "Name", "a"),
              ERROR_SUCCESS);
    ASSERT_EQ(com::RegSetString(HKEY_CLASSES_ROOT, "QUELTA.QUELTAMESSAGE", "NAME", "b"),
              ERROR_SUCCESS);
    EXPECT_EQ(Get("Quelta.QueltaMessage", "name"), "b");

    HKEY k;
    ASSERT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, "quelta.QUELTAmessage", &k), ERROR_SUCCESS);
    char name[64];
    ASSERT_EQ(RegEnumKey(k, 0, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Clsid");
    EXPECT_EQ(RegEnumKey(k, 1, name, sizeof name), ERROR_NO_MORE_ITEMS);
    RegCloseKey(k);
    ASSERT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, "", &k), ERROR_SUCCESS);
    ASSERT_EQ(RegEnumKey(k, 0, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, "Quelta.QueltaMessage");
    RegCloseKey(k);
}

TEST_F(Registry, KeyWithSubkeysCannotBeDeleted) {
    ASSERT_EQ(com::RegSetString(HKEY_CLASSES_ROOT, "CLSID\\{A}\\ProgID", "", "P"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "CLSID\\{A}"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Get("CLSID\\{A}\\ProgID"), "P");
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "clsid\\{a}\\progid"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "CLSID\\{A}"), ERROR_SUCCESS);
    EXPECT_FALSE(com::RegKeyExists(HKEY_CLASSES_ROOT, "CLSID\\{A}"));
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "CLSID\\{A}"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED); // the root

    // A handle whose key went away reports it.
    HKEY k;
    ASSERT_EQ(RegCreateKey(HKEY_CLASSES_ROOT, "Gone", &k), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, "Gone"), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(k, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
              ERROR_KEY_DELETED);
    RegCloseKey(k);
    EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, ValuesOfEveryTypeAndOddBytesSurvive) {
    HKEY k;
    ASSERT_EQ(RegCreateKey(HKEY_CURRENT_USER, "Software\\Odd [key] 100%", &k), ERROR_SUCCESS);
    const std::string odd("line\r\n\"quoted\" back\\slash \x01\x80\xFF\0end", 33);
    ASSERT_EQ(RegSetValueEx(k, "odd \"name\"", 0, REG_SZ, reinterpret_cast<const BYTE*>(odd.data()),
                            static_cast<DWORD>(odd.size())),
              ERROR_SUCCESS);
    DWORD number = 0x01020304;
    ASSERT_EQ(RegSetValueEx(k, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
              ERROR_SUCCESS);
    RegCloseKey(k);

    ASSERT_EQ(RegOpenKey(HKEY_CURRENT_USER, "software\\odd [KEY] 100%", &k), ERROR_SUCCESS);
    DWORD type = 0, cb = 0;
    ASSERT_EQ(RegQueryValueEx(k, "ODD \"NAME\"", nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    ASSERT_EQ(cb, odd.size() + 1);
    std::string back(cb, '?');
    ASSERT_EQ(RegQueryValueEx(k, "odd \"name\"", nullptr, &type,
                              reinterpret_cast<BYTE*>(back.data()), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(back, odd + '\0');
    DWORD n2 = 0;
    cb = sizeof n2;
    ASSERT_EQ(RegQueryValueEx(k, "n", nullptr, &type, reinterpret_cast<BYTE*>(&n2), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(n2, number);
    ASSERT_EQ(RegDeleteValue(k, "N"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueEx(k, "n", nullptr, &type, nullptr, &cb), ERROR_FILE_NOT_FOUND);
    RegCloseKey(k);
}

TEST_F(Registry, WritesAtomicallyAndKeepsTheOldFileOnFailure) {
    ASSERT_EQ(com::RegSetString(HKEY_CLASSES_ROOT, "Kept", "", "old"), ERROR_SUCCESS);
    const std::string before = ReadFile(com::RegistryFileName());
    if (geteuid() != 0) {
        // A folder we cannot write to: the temp file cannot be made.
        ASSERT_EQ(chmod(dir_.c_str(), 0500), 0);
        EXPECT_EQ(com::RegSetString(HKEY_CLASSES_ROOT, "Kept", "", "new"), ERROR_WRITE_FAULT);
        ASSERT_EQ(chmod(dir_.c_str(), 0700), 0);
        EXPECT_EQ(ReadFile(com::RegistryFileName()), before);
        EXPECT_EQ(Get("Kept"), "old");
    }
    // No temporary file is left behind.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_))
        files += e.path().filename().string().rfind("quelta.reg.", 0) == 0 &&
                 e.path().extension() != ".lock";
    EXPECT_EQ(files, 0);

    // Lines damaged by hand are skipped; the rest still reads.
    {
        std::ofstream out(com::RegistryFileName(), std::ios::app);
        out << "[HKEY_CLASSES_ROOT\\Broken]\n@=sz:\"unterminated\n\"x\"=hex(4):zz\ngarbage\n"
               "[HKEY_CLASSES_ROOT\\After]\n@=sz:\"fine\"\n";
    }
    EXPECT_EQ(Get("After"), "fine");
    EXPECT_TRUE(com::RegKeyExists(HKEY_CLASSES_ROOT, "Broken"));
    EXPECT_EQ(Get("Broken"), "<none>");
    EXPECT_EQ(Get("Kept"), "old");
}
