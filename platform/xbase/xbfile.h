#pragma once
// File access, the lowest layer: whole reads and writes at offsets, size,
// truncation and open-file-description locks. Every open of a file gets its
// own description, so two opens in one process lock against each other like
// two users.
#include <cstdint>
#include <string>

namespace xbase {

enum class LockKind { Read, Write };

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Throws Error(XB_ERR_NOFILE / XB_ERR_IO).
    void Open(const std::string& path, bool writable);
    // Creates a new file; fails when it exists.
    void Create(const std::string& path);
    void Close();
    [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }
    [[nodiscard]] const std::string& Path() const { return path_; }
    [[nodiscard]] bool Writable() const { return writable_; }

    // Reads exactly n bytes; a short read is a corrupt file (what = place).
    void ReadAt(std::uint64_t offset, void* buf, std::size_t n, const char* what) const;
    // Keeps the first n bytes of the file mapped, so reading them costs no
    // system call and still shows other processes' writes at once (they
    // share the page cache). False when the file system cannot map it; the
    // reads then go to the file. The file must not shrink below n bytes
    // meanwhile: this engine never cuts a table's header.
    bool MapHead(std::size_t n);
    // Reads from the mapped head where it holds the bytes, else as ReadAt.
    void ReadHead(std::uint64_t offset, void* buf, std::size_t n, const char* what) const;
    // Reads up to n bytes; returns the count.
    std::size_t ReadSome(std::uint64_t offset, void* buf, std::size_t n) const;
    void WriteAt(std::uint64_t offset, const void* buf, std::size_t n);
    [[nodiscard]] std::uint64_t Size() const;
    void Truncate(std::uint64_t size);
    void Sync();
    // Gives this file the owner, group and permission bits of another, as
    // far as this user may.
    void MatchMode(const File& other);
    // Takes other's open description (and its locks), now found at path;
    // other is closed.
    void TakeOver(File& other, const std::string& path);
    // Whether the path still names the file this description reads (false
    // once another program has put a new file in its place).
    [[nodiscard]] bool StillAt(const std::string& path) const;

    // Byte-range lock. wait: keep trying up to timeoutMs. true = granted.
    bool Lock(std::uint64_t offset, std::uint64_t len, LockKind kind, int timeoutMs);
    void Unlock(std::uint64_t offset, std::uint64_t len);

private:
    void Unmap();

    int fd_ = -1;
    bool writable_ = false;
    const volatile unsigned char* head_ = nullptr; // mapped by MapHead
    std::size_t headSize_ = 0;
    std::string path_;
};

// Removes what stopped processes left beside path under names made by
// TempBeside (the process that made each no longer runs).
void RemoveLeftBeside(const std::string& path, const std::string& what);
// A name beside path for a file this process makes and renames (what: its kind).
[[nodiscard]] std::string TempBeside(const std::string& path, const std::string& what);

// Puts from in the place of to in one step (both in one folder), and makes
// the change durable.
void ReplaceFile(const std::string& from, const std::string& to);

// The path with its last component (and existing folders) found without
// regard to case; unchanged when nothing matches.
[[nodiscard]] std::string ResolveNoCase(const std::string& path);
[[nodiscard]] bool FileExistsNoCase(const std::string& path);

// Fault injection for crash tests: the nth write from now fails with an I/O
// error (0 = never).
void FailNthWrite(int n);
// Crash tests end the process at a named moment of a table, as a kill
// would: when QUELTA_STOP_AT holds "point:FILE.DBF" (the table's file name
// without its folder, compared without regard to case), exit status 86.
void StopPoint(const char* point, const std::string& path);

// Reads from files this process has asked the system for so far: what a
// walk costs in system calls, which tests bound.
[[nodiscard]] std::uint64_t FileReads();

} // namespace xbase
