// MappedView: a read-only shared mapping of one open file, for reads at memory speed.
//
// The file is mapped once, with room to grow (kReserve bytes of address space, more than a
// store file can ever hold), so a file that grows needs no new mapping. Reads are copied out of
// the mapping only below a size known to exist: the size seen by the last fstat, raised by this
// program's own writes through the same file and refreshed by one fstat only when a read would
// pass it. Whatever lies beyond that size is left to the caller, who reads it with pread. A
// mapping never reads past the end of the file, so a file that only grows never faults; a file
// cut short by someone else while it is mapped can (the store never cuts its own files).
//
// Writes never go through the mapping: a mapping cannot grow a file, and a write into a hole
// on a full disk would fault instead of failing.
//
// Mapping is off when the environment variable MEMLIST_NO_MMAP is set to anything but "" or
// "0", and a file that cannot be mapped (a file system without mmap, no address space left)
// is simply read with pread. One view belongs to one open file; Close gives the mapping up.
// Reads from several threads are safe; Map, Close and Wrote race only with each other.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace mlplat {

class MappedView {
public:
    // Address space reserved per file: a typed file's offsets have 28 bits, and an index or
    // tree file stays below the same bound; a read beyond it is left to pread.
    static constexpr std::size_t kReserve = (std::size_t{1} << 28) + (std::size_t{1} << 16);
    // A read larger than this is left to pread: a bulk copy (a walk's block, a tree's image)
    // gains nothing from the mapping, and its pages would stay counted against the program.
    static constexpr std::size_t kLargestMappedRead = std::size_t{64} << 10;
    // Copies up to this size ask for all their lines at once (records and entries).
    static constexpr std::size_t kPrefetchedCopy = 4096;

    MappedView() = default;
    ~MappedView();
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;

    // False when the environment turns mapping off.
    static bool Enabled();

    // Copies the longest prefix of [offset, offset + n) known to exist in the file `fd` into
    // `buf`, mapping the file at the first read; returns the bytes copied (0: read it all with
    // pread). `bRefresh`: one fstat may raise the known size when the read passes it.
    std::size_t Copy(int fd, std::uint64_t offset, void* buf, std::size_t n, bool bRefresh);
    // This program wrote the file up to `end`: those bytes exist.
    void Wrote(std::uint64_t end);
    // This program set the file's length to `n`.
    void Resized(std::uint64_t n);
    // Gives the mapping up; the next Copy maps the file again.
    void Close();

private:
    bool Map(int fd);

    std::atomic<const char*> m_pBase{nullptr};
    std::atomic<std::uint64_t> m_nKnown{0};
    std::atomic<bool> m_bRefused{false};  // mapping failed or is off: pread only
    std::mutex m_mapMutex;
};

}  // namespace mlplat
