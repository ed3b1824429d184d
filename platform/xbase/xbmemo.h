#pragma once
// Memo layer: the FoxPro FPT file beside a table.
#include <cstdint>
#include <string>

#include "platform/xbase/xbcache.h"
#include "platform/xbase/xbfile.h"

namespace xbase {

inline constexpr std::uint32_t kMemoBinary = 0; // picture / binary contents
inline constexpr std::uint32_t kMemoText = 1;

class MemoFile {
public:
    MemoFile() : cache_(file_) {}

    void Open(const std::string& path, bool writable);
    void Close() { file_.Close(); }
    [[nodiscard]] bool IsOpen() const { return file_.IsOpen(); }
    static void Create(const std::string& path, int blockSize);

    // Contents of the memo starting at block (block 0 = empty memo).
    void Read(std::uint32_t block, std::uint32_t& type, std::string& data);
    // Stores data; reuses the old blocks when it fits there and the table
    // is not shared, else appends.
    // Returns the block to keep in the record (0 for empty data).
    std::uint32_t Write(std::uint32_t oldBlock, std::uint32_t type, const std::string& data,
                        bool shared, int lockTimeoutMs);
    void Invalidate() { cache_.Invalidate(); }
    [[nodiscard]] int BlockSize() const { return blockSize_; }
    [[nodiscard]] const std::string& Path() const { return file_.Path(); }
    // Empties the file (zap, exclusive).
    void Reset();

private:
    File file_;
    BlockCache cache_;
    int blockSize_ = 64;
};

} // namespace xbase
