#include "model/bulkmemory.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace okukipo::bulkmemory {
namespace {

// The kernel backs only whole huge pages inside a mapping with huge pages,
// so a last huge page that is at least half used is mapped whole; a smaller
// rest stays in normal pages rather than waste most of a huge page.
std::size_t pieceBytes(std::size_t bytes)
{
    static const std::size_t pageBytes = std::size_t(sysconf(_SC_PAGESIZE));
    const std::size_t rest = bytes % hugePageBytes;
    return rest >= hugePageBytes / 2 ? roundedUp(bytes, hugePageBytes) : roundedUp(bytes, pageBytes);
}

} // namespace

void *map(std::size_t bytes)
{
    const std::size_t mappedPiece = pieceBytes(bytes);
    // More than needed, then the unaligned ends are given back.
    const std::size_t mappedBytes = mappedPiece + hugePageBytes;
    void *mapped = mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = roundedUp(start, hugePageBytes);
    if (aligned > start)
        munmap(mapped, aligned - start);
    if (aligned + mappedPiece < start + mappedBytes)
        munmap(reinterpret_cast<void *>(aligned + mappedPiece), start + mappedBytes - aligned - mappedPiece);
    void *piece = reinterpret_cast<void *>(aligned);
#ifdef MADV_HUGEPAGE
    // Only a hint: without huge pages the piece is faulted in 4 KB at a time.
    madvise(piece, mappedPiece, MADV_HUGEPAGE);
#endif
    return piece;
}

void unmap(void *piece, std::size_t bytes) noexcept
{
    munmap(piece, pieceBytes(bytes));
}

} // namespace okukipo::bulkmemory
