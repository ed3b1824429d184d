// Tables from outside: the input holds a DBF file, then ("\n====\n") its
// FPT memo file, then its CDX index (an empty piece: no such file). The
// table is opened, read field by field, every tag walked both ways and
// sought, and a row appended and changed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "platform/xbase/xbengine.h"

namespace {

std::string Field(int (*get)(const char*, char*, int), const char* name) {
    char buf[512];
    int n = get(name, buf, sizeof buf);
    return std::string(buf, static_cast<std::size_t>(std::max(0, std::min(n, 511))));
}

void ReadRecord() {
    for (int f = 1; f <= xb_FieldCount(); ++f) {
        char name[16];
        xb_FieldName(f, name, sizeof name);
        (void)Field(xb_GetString, name);
        (void)Field(xb_GetTrimString, name);
        (void)Field(xb_GetDateString, name);
        (void)xb_GetLogical(name);
        (void)xb_Empty(name);
        (void)xb_GetBlobLength(name);
        int len = 0;
        xb_MemDealloc(xb_GetMemo(name, &len));
    }
}

// A walk may take no more steps than the tag could hold entries; more
// means it came round again.
void Walk(bool forward, long limit) {
    if (!(forward ? xb_GoTop() : xb_GoBottom()))
        return;
    for (long steps = 0; !(forward ? xb_Eof() : xb_Bof()); ++steps) {
        if (steps > limit)
            __builtin_trap();
        ReadRecord();
        char key[256];
        (void)xb_KeyData(key, sizeof key);
        if (!xb_Skip(forward ? 1 : -1))
            return;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto pieces = fuzz::Pieces(fuzz::Bytes(data, size), 3);
    const char* names[] = {"t.dbf", "t.fpt", "t.cdx"};
    for (int i = 0; i < 3; ++i) {
        if (pieces[static_cast<std::size_t>(i)].empty())
            fuzz::RemoveScratch(names[i]);
        else
            fuzz::WriteScratch(names[i], pieces[static_cast<std::size_t>(i)]);
    }
    xb_SetLockTimeout(0);
    if (xb_Use((fuzz::ScratchDir() + "/t.dbf").c_str(), "T", XB_EXCLUSIVE, XB_DRIVER_FOX) == 0)
        return 0;
    const long limit = xb_RecCount() + static_cast<long>(pieces[2].size()) + 16;
    Walk(true, limit);
    for (int order = 1; order <= xb_SysProp(XB_PROP_INDEX_COUNT, 0); ++order) {
        if (xb_SetOrder(order) < 0)
            continue;
        char buf[600];
        (void)xb_IndexKey(order, buf, sizeof buf);
        (void)xb_IndexCondition(order, buf, sizeof buf);
        (void)xb_IndexType(order);
        Walk(true, limit);
        Walk(false, limit);
        if (xb_GoTop() && !xb_Eof()) {
            std::vector<char> key(256);
            int n = xb_KeyData(key.data(), static_cast<int>(key.size()));
            key.resize(static_cast<std::size_t>(std::max(0, std::min(n, 255))));
            key.push_back('\0');
            (void)xb_Seek(key.data());
        }
        (void)xb_Seek("");
        (void)xb_Seek("A");
        (void)xb_OrderRecNo();
        (void)xb_Count();
    }
    // Changes go through every tag too.
    xb_SetOrder(0);
    if (xb_AppendEx() == XB_APPEND_OK) {
        char name[16];
        if (xb_FieldCount() > 0 && xb_FieldName(1, name, sizeof name) > 0)
            (void)xb_Replace(name, XB_REPLACE_STRING, "fuzz", -1);
        (void)xb_Commit();
    }
    if (xb_GoTop() && !xb_Eof()) {
        char name[16];
        if (xb_FieldCount() > 0 && xb_FieldName(1, name, sizeof name) > 0)
            (void)xb_Replace(name, XB_REPLACE_STRING, "zz", -1);
        (void)xb_Delete();
        (void)xb_Commit();
    }
    xb_SysProp(XB_PROP_EXIT, 0);
    return 0;
}
