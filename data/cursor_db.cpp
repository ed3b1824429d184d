// Start and end, databases, opening and closing cursors, descriptors.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "data/cursor.h"
#include "data/cursor_p.h"
#include "platform/win/hooks.h"
#include "platform/win/paths.h"
#include "platform/xbase/xbengine.h"

namespace data {
namespace detail {
namespace {

// Process-wide: directory slots, the default directory and the path buffer.
std::array<std::string, kMaxDirectories + 1> gSlots;
std::array<bool, kMaxDirectories + 1> gSlotUsed{};
std::string gDefaultDir;
std::string gPathBuffer;
bool gMemoCharSet = false;
InfoBoxHook gInfoBox;
char gDecimalSeparator = '.';

bool EndsWithSeparator(const std::string& s) {
    return !s.empty() && (s.back() == '\\' || s.back() == '/' || s.back() == ':');
}

std::string WithSeparator(std::string s) {
    if (!EndsWithSeparator(s))
        s += '/';
    return s;
}

} // namespace

std::map<hCurCur, std::unique_ptr<TCurWorkArea>>& Cursors() {
    thread_local std::map<hCurCur, std::unique_ptr<TCurWorkArea>> cursors;
    return cursors;
}

TCurWorkArea* Find(hCurCur cursor) {
    if (cursor < 1 || cursor > 255)
        return nullptr;
    auto it = Cursors().find(cursor);
    return it == Cursors().end() ? nullptr : it->second.get();
}

TCurWorkArea* Select(hCurCur cursor) {
    TCurWorkArea* area = Find(cursor);
    if (area != nullptr)
        xb_Select(cursor);
    return area;
}

TWA::TWA(hCurCur cursor) {
    TCurWorkArea* area = Find(cursor);
    if (area == nullptr || xb_SysProp(XB_PROP_AREA_OPEN, cursor) != 1)
        return;
    area_ = area;
    previous_ = xb_Select(cursor);
}

TWA::~TWA() {
    if (area_ != nullptr && previous_ >= 1 && previous_ <= 255 && previous_ != area_->workArea &&
        xb_Alias(previous_, nullptr, 0) > 0)
        xb_Select(previous_);
}

TSaveRec::TSaveRec(TCurWorkArea& area, const std::uint8_t* record) : area_(area) {
    own_.resize(static_cast<std::size_t>(area.recordSize));
    xb_GetRecord(own_.data(), static_cast<int>(own_.size()));
    eof_ = xb_Eof() != 0;
    if (!eof_ && record != nullptr) {
        xb_PutRecord(reinterpret_cast<const char*>(record), area.recordSize);
        swapped_ = true;
    }
}

TSaveRec::~TSaveRec() {
    Restore();
}

void TSaveRec::CopyBack(std::uint8_t* record) const {
    if (record != nullptr && swapped_)
        xb_GetRecord(reinterpret_cast<char*>(record), area_.recordSize);
}

void TSaveRec::Restore() {
    if (swapped_) {
        xb_PutRecord(own_.data(), static_cast<int>(own_.size()));
        swapped_ = false;
    }
}

std::string EngineText(int (*fn)(char*, int)) {
    int n = fn(nullptr, 0);
    if (n <= 0)
        return {};
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    fn(s.data(), n + 1);
    s.resize(std::strlen(s.c_str()));
    return s;
}

std::string EngineText(int (*fn)(int, char*, int), int arg) {
    int n = fn(arg, nullptr, 0);
    if (n <= 0)
        return {};
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    fn(arg, s.data(), n + 1);
    s.resize(std::strlen(s.c_str()));
    return s;
}

std::string EngineText(int (*fn)(const char*, char*, int), const char* arg) {
    int n = fn(arg, nullptr, 0);
    if (n <= 0)
        return {};
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    fn(arg, s.data(), n + 1);
    s.resize(std::strlen(s.c_str()));
    return s;
}

std::string EnginePath(const std::string& path) {
    return win::ResolvePath(path);
}

std::string UpperCase(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void TCurWorkArea::ReadDescriptors() {
    fieldCount = xb_FieldCount();
    fieldNames.clear();
    letters.clear();
    decimals.clear();
    logical.assign(static_cast<std::size_t>(fieldCount), FLDDesc{});
    physical.assign(static_cast<std::size_t>(fieldCount), FLDDesc{});
    for (int i = 1; i <= fieldCount; ++i) {
        std::string name = EngineText(xb_FieldName, i);
        char letter = static_cast<char>(std::toupper(xb_FieldType(i)));
        const int width = xb_FieldWidth(i);
        const int dec = xb_FieldDecimals(i);
        const int offset = xb_FieldOffset(i);
        if (letter == 'C' && xb_SysProp(XB_PROP_VARLEN_FIELD, i) == 1)
            letter = 'V';
        fieldNames.push_back(name);
        letters.push_back(letter);
        decimals.push_back(dec);

        FLDDesc& l = logical[static_cast<std::size_t>(i - 1)];
        FLDDesc& p = physical[static_cast<std::size_t>(i - 1)];
        l.iFldNum = p.iFldNum = static_cast<std::uint16_t>(i);
        std::snprintf(l.szName, sizeof l.szName, "%s", name.c_str());
        std::snprintf(p.szName, sizeof p.szName, "%s", name.c_str());
        l.iOffset = static_cast<std::uint16_t>(offset);
        p.iOffset = static_cast<std::uint16_t>(offset - 1);
        auto set = [](FLDDesc& d, int type, int sub, int u1, int u2, int len) {
            d.iFldType = static_cast<std::uint16_t>(type);
            d.iSubType = static_cast<std::uint16_t>(sub);
            d.iUnits1 = static_cast<std::int16_t>(u1);
            d.iUnits2 = static_cast<std::int16_t>(u2);
            d.iLen = static_cast<std::uint16_t>(len);
        };
        switch (letter) {
        case 'C':
            set(l, fldZSTRING, 0, width, 0, width + 1);
            set(p, fldxCHAR, 0, width, 0, width);
            break;
        case 'V':
            set(l, fldZSTRING, 0, 254, 0, 255);
            set(p, fldxMEMO, 0, 254, 0, 255);
            break;
        case 'D':
            set(l, fldDATE, 0, 1, 0, 4);
            set(p, fldxDATE, 0, 8, 0, 8);
            break;
        case 'L':
            set(l, fldBOOL, 0, 1, 0, 2);
            set(p, fldxBOOL, 0, 1, 0, 1);
            break;
        case 'N':
        case 'F':
            if (dec == 0 && width < 5)
                set(l, fldINT16, 0, 1, 0, 2);
            else
                set(l, fldFLOAT, 0, width, dec, 8);
            set(p, fldxNUM, 0, width, 0, width);
            break;
        case 'M':
            // Always a text memo: a memo holding a zero byte is still the memo field.
            set(l, fldBLOB, fldstMEMO, 1, 0, 0);
            set(p, fldxMEMO, 0, 10, 0, 10);
            break;
        case 'B':
        case 'P':
            set(l, fldBLOB, fldstBINARY, 1, 0, 0);
            set(p, fldxBINARY, 0, 10, 0, 10);
            break;
        case 'G':
            set(l, fldBLOB, fldstOLEOBJ, 1, 0, 0);
            set(p, fldxOLE, 0, 10, 0, 10);
            break;
        default:
            ShowInfoBox(std::string("Invalid Field Type ") + letter);
            set(l, fldUNKNOWN, 0, 0, 0, 0);
            set(p, fldUNKNOWN, 0, 0, 0, 0);
            break;
        }
        // Blob and variable-length fields: the record width for reading the caller's record.
        if (letter == 'V' || letter == 'M' || letter == 'B' || letter == 'P' || letter == 'G')
            p.iLen = static_cast<std::uint16_t>(width);
    }
}

} // namespace detail

using namespace detail;

void SetInfoBoxHook(InfoBoxHook hook) {
    gInfoBox = std::move(hook);
}

void ShowInfoBox(const std::string& text) {
    if (gInfoBox)
        gInfoBox(text);
    else
        win::MessageBox(text, "Information", win::MB_OK | win::MB_ICONINFORMATION);
}

char DecimalSeparator() {
    return gDecimalSeparator;
}
void SetDecimalSeparator(char separator) {
    gDecimalSeparator = separator;
}

CurResult CurInit() {
    NotifyUse(9);
    xb_SetStringType(1);
    gMemoCharSet = false;
    gPathBuffer = "./";
    const char* v = xb_Version();
    std::string version = v != nullptr ? std::string(v).substr(0, 8) : std::string();
    int major = -1;
    if (version.size() >= 8) {
        const std::string digits = version.substr(6, 2);
        if (std::isdigit(static_cast<unsigned char>(digits[0])) &&
            std::isdigit(static_cast<unsigned char>(digits[1])))
            major = std::stoi(digits);
    }
    if (version.empty() || major < 0) {
        ShowInfoBox("The table layer requires the xBase engine XBENGINE.DLL version 2.40.00 or "
                    "later.");
        return CURERR_ENGINEVERSION;
    }
    return CUR_OK;
}

CurResult CurExit() {
    for (auto& [handle, area] : Cursors())
        if (handle >= 1 && handle <= 255) {
            xb_Select(handle);
            xb_Unlock(0);
        }
    Cursors().clear();
    xb_CloseAll();
    xb_SysProp(XB_PROP_EXIT, 0);
    return CUR_OK;
}

CurResult CurDLLExit() {
    return CUR_OK;
}

CurResult CurOpenDatabase(const char* name, hCurDb& hDb) {
    hDb = 0;
    std::string dir;
    if (name != nullptr && *name != '\0')
        dir = name;
    else if (!gDefaultDir.empty())
        dir = gDefaultDir;
    else {
        dir = gPathBuffer;
        if (!dir.empty())
            gDefaultDir = dir;
    }
    if (dir.empty())
        dir = "./";
    dir = WithSeparator(dir);
    for (int slot = 1; slot <= kMaxDirectories; ++slot)
        if (!gSlotUsed[static_cast<std::size_t>(slot)]) {
            gSlotUsed[static_cast<std::size_t>(slot)] = true;
            gSlots[static_cast<std::size_t>(slot)] = dir;
            hDb = slot;
            return CUR_OK;
        }
    return CURERR_OBJNOTFOUND; // every slot in use
}

CurResult CurCloseDatabase(hCurDb hDb) {
    if (hDb >= 1 && hDb <= kMaxDirectories) {
        gSlotUsed[static_cast<std::size_t>(hDb)] = false;
        gSlots[static_cast<std::size_t>(hDb)].clear();
    }
    return CUR_OK;
}

CurResult CurSetDirectory(hCurDb hDb, const char* directory) {
    if (hDb == 0) {
        ShowInfoBox("CurSetDirectory : hDb = 0");
        return CUR_OK;
    }
    if (directory == nullptr || hDb < 0 || hDb > kMaxDirectories)
        return CUR_OK;
    std::string dir = std::string(directory).substr(0, 255);
    gSlots[static_cast<std::size_t>(hDb)] = WithSeparator(dir);
    gSlotUsed[static_cast<std::size_t>(hDb)] = true;
    return CUR_OK;
}

CurResult CurAddAlias(const char*, const char*, const char* params) {
    if (gDefaultDir.empty())
        gDefaultDir = "./";
    if (params == nullptr)
        return CUR_OK;
    const std::string text = params;
    const std::string upper = UpperCase(text);
    const std::size_t at = upper.find("PATH:");
    if (at != std::string::npos) {
        const std::size_t start = at + 6; // past "PATH:" and the opening quote
        if (start <= upper.size()) {
            const std::size_t end = upper.find('"', start);
            gDefaultDir = upper.substr(start, end == std::string::npos ? end : end - start);
        }
    }
    return CUR_OK;
}

CurResult CurFormFullName(hCurDb hDb, const char* tableName, std::string& fullName) {
    std::string dir;
    if (hDb >= 1 && hDb <= kMaxDirectories)
        dir = gSlots[static_cast<std::size_t>(hDb)];
    fullName = dir + (tableName != nullptr ? tableName : "");
    return CUR_OK;
}

namespace {

int DriverFromName(const char* driverType, const std::string& path) {
    if (driverType != nullptr && *driverType != '\0') {
        const std::string d = UpperCase(driverType);
        if (d == "XBNTX")
            return 1;
        if (d == "XBNSX")
            return 3;
        return 2;
    }
    // No driver name: the table file's first byte decides.
    std::ifstream in(EnginePath(path), std::ios::binary);
    const int first = in.get();
    switch (first) {
    case 0x03:
    case 0x06: {
        const std::string stem = win::ChangeFileExt(path, "");
        if (win::FileExists(EnginePath(stem + ".CDX")))
            return 2;
        if (win::FileExists(EnginePath(stem + ".NSX")))
            return 3;
        return 2;
    }
    case 0x83:
    case 0x86:
        return 1;
    case 0xE5:
    case 0xE6:
        return 3;
    default:
        return 2;
    }
}

std::string AliasStem(const std::string& tableName) {
    std::string stem = win::ChangeFileExt(win::ExtractFileName(tableName), "").substr(0, 8);
    for (char& c : stem)
        if (c == '~' || c == '-' || c == ' ')
            c = '_';
    return stem;
}

} // namespace

CurResult CurOpenTable(hCurDb hDb, const char* tableName, const char* driverType, const char*,
                       const char* indexTagName, int, int openMode, int shareMode,
                       hCurCur& cursor) {
    cursor = 0;
    if (tableName == nullptr)
        return CURERR_TABLEOPEN;
    std::string dir;
    if (hDb >= 1 && hDb <= kMaxDirectories && gSlotUsed[static_cast<std::size_t>(hDb)] &&
        !gSlots[static_cast<std::size_t>(hDb)].empty()) {
        dir = gSlots[static_cast<std::size_t>(hDb)];
        gPathBuffer = dir;
    } else {
        ShowInfoBox("Could not find directory associated with this database");
        dir = gPathBuffer;
    }
    const std::string name = tableName;
    const std::string path =
        (name.find_first_of("\\/:") == std::string::npos) ? dir + name : name.substr(0, 255);
    const int driver = DriverFromName(driverType, path);
    xb_SetStringType(1);
    const int previous = xb_WorkArea(nullptr);

    int mode = XB_EXCLUSIVE;
    if (shareMode == 0)
        mode = XB_SHARED;
    if (openMode == 1)
        mode = XB_READONLY;

    const std::string stem = AliasStem(name);
    std::string alias = stem;
    for (int n = 1; xb_WorkArea(alias.c_str()) != 0; ++n)
        alias = stem + "_" + std::to_string(n);

    const int area = xb_Use(EnginePath(path).c_str(), alias.c_str(), mode, driver);
    if (area == 0) {
        if (previous >= 1 && previous <= 255)
            xb_Select(previous);
        return CURERR_TABLEOPEN;
    }
    auto wa = std::make_unique<TCurWorkArea>();
    wa->alias = alias;
    wa->tableName = name;
    wa->fullPath = path;
    wa->driver = driver;
    wa->translationMode = 2;
    wa->openMode = openMode;
    wa->shareMode = shareMode;
    wa->workArea = area;
    wa->recordSize = xb_RecSize();
    wa->saveBuffer.assign(static_cast<std::size_t>(wa->recordSize), ' ');
    wa->ReadDescriptors();

    if (indexTagName != nullptr && *indexTagName != '\0') {
        if (driver == 1) {
            const std::string file = dir + indexTagName;
            if (win::FileExists(EnginePath(file)))
                xb_IndexOpen(EnginePath(file).c_str());
        } else {
            xb_SetOrder(xb_TagArea(indexTagName));
        }
    }
    Cursors()[area] = std::move(wa);
    cursor = area;
    if (previous >= 1 && previous <= 255 && previous != area && xb_Alias(previous, nullptr, 0) > 0)
        xb_Select(previous);
    gPathBuffer = dir;
    return CUR_OK;
}

CurResult CurCloseCursor(hCurCur cursor) {
    if (cursor == kFieldListCursor) {
        Cursors().erase(kFieldListCursor);
        return CUR_OK;
    }
    if (cursor > 255)
        return CUR_OK;
    if (Select(cursor) == nullptr)
        return CURERR_INVALIDHNDL;
    xb_Unlock(0);
    xb_Close();
    Cursors().erase(cursor);
    return CUR_OK;
}

CurResult CurGetCursorProps(hCurCur cursor, CURProps& props) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    TCurWorkArea& a = *wa.Area();
    props = CURProps{};
    props.szName = win::ChangeFileExt(win::ExtractFileName(EngineText(xb_BaseName)), "");
    static const char* const kTypes[] = {"XBNTX", "XBFOX", "XBNSX"};
    props.szTableType = kTypes[a.driver >= 1 && a.driver <= 3 ? a.driver - 1 : 1];
    props.iFields = a.fieldCount;
    props.iRecBufSize = a.recordSize;
    props.eOpenMode = a.openMode;
    props.eShareMode = a.shareMode;
    props.exltMode = a.translationMode;
    props.iIndexes = static_cast<int>(xb_SysProp(XB_PROP_INDEX_COUNT, 0));
    props.bIndexed = xb_IndexOrd() > 0;
    int filters = 0;
    for (int i = 1; i <= kMaxFilters; ++i)
        if (!a.filters[static_cast<std::size_t>(i)].expression.empty())
            ++filters;
    props.iFilters = filters;
    int size = 0;
    for (int i = 1; i <= a.fieldCount; ++i)
        size += a.translationMode != 0 ? a.Logical(i).iLen : a.Physical(i).iLen;
    props.iRecSize = a.translationMode != 0 ? size : size + 1;
    return CUR_OK;
}

CurResult CurGetFieldDescs(hCurCur cursor, std::vector<FLDDesc>& descs) {
    TWA wa(cursor);
    if (!wa.Valid())
        return CURERR_INVALIDHNDL;
    TCurWorkArea& a = *wa.Area();
    a.ReadDescriptors();
    descs = a.translationMode == 0 ? a.physical : a.logical;
    return CUR_OK;
}

CurResult CurOpenFieldList(hCurDb hDb, const char* tableName, const char* driverType,
                           hCurCur& cursor) {
    cursor = 0;
    std::string full;
    CurFormFullName(hDb, tableName, full);
    const std::string wanted = UpperCase(full);
    const std::string wantedName = UpperCase(tableName != nullptr ? tableName : "");
    std::vector<FLDDesc> descs;
    bool found = false;
    for (auto& [handle, area] : Cursors())
        if (handle <= 255 &&
            (UpperCase(area->fullPath) == wanted || UpperCase(area->tableName) == wantedName)) {
            descs = area->logical;
            found = true;
            break;
        }
    if (!found) {
        hCurCur tmp = 0;
        CurResult r = CurOpenTable(hDb, tableName, driverType, nullptr, nullptr, 0, 1, 0, tmp);
        if (r != CUR_OK)
            return r;
        CurGetFieldDescs(tmp, descs);
        if (descs.size() > 255)
            descs.resize(255);
        CurCloseCursor(tmp);
    }
    auto list = std::make_unique<TCurWorkArea>();
    list->logical = descs;
    list->fieldCount = static_cast<int>(descs.size());
    list->fieldListPos = 1;
    list->workArea = kFieldListCursor;
    Cursors()[kFieldListCursor] = std::move(list);
    cursor = kFieldListCursor;
    return CUR_OK;
}

CurResult CurOpenVchkList(hCurCur, hCurCur& list) {
    list = kEmptyListCursor;
    return CUR_OK;
}

CurResult CurCloneCursor(hCurCur, hCurCur& clone) {
    clone = kEmptyListCursor;
    return CUR_OK;
}

CurResult CurNativeToAnsi(const char* src, int length, std::string& dest) {
    if (src == nullptr)
        dest.clear();
    else
        dest = length > 0 ? std::string(src, static_cast<std::size_t>(length)) : std::string(src);
    return CUR_OK;
}

CurResult CurAnsiToNative(const char* src, int length, std::string& dest) {
    return CurNativeToAnsi(src, length, dest);
}

} // namespace data
