#include "model/recordpool.h"
#include "model/bulkmemory.h"

#include <atomic>
#include <cstdint>
#include <new>

namespace okukipo::recordpool {
namespace {

// Blocks are aligned to their size, so a record finds its block by its address.
constexpr std::size_t blockBytes = bulkmemory::hugePageBytes;

// While a thread fills a block it holds this many references to it on top
// of one per record: frees on other threads can then never bring the count
// to zero early, and the filling thread counts its records without atomics.
constexpr std::int64_t fillerReference = std::int64_t(1) << 40;

struct Block {
    std::atomic<std::int64_t> references{fillerReference};
};

constexpr std::size_t firstRecordOffset = bulkmemory::roundedUp(sizeof(Block), alignment);

void dropReferences(Block *block, std::int64_t count) noexcept
{
    if (block->references.fetch_sub(count, std::memory_order_acq_rel) == count) {
        block->~Block();
        bulkmemory::unmap(block, blockBytes);
    }
}

// The block the calling thread hands records out of.
class Filler
{
public:
    Filler() = default;
    Filler(const Filler &) = delete;
    Filler &operator=(const Filler &) = delete;
    ~Filler() { retire(); }

    void *take(std::size_t size)
    {
        size = bulkmemory::roundedUp(size, alignment);
        if (!m_block || std::size_t(m_end - m_next) < size)
            start(size);
        void *record = m_next;
        m_next += size;
        ++m_recordsHandedOut;
        return record;
    }

private:
    void start(std::size_t size)
    {
        if (firstRecordOffset + size > blockBytes)
            throw std::bad_alloc();
        void *memory = bulkmemory::map(blockBytes);
        retire();
        m_block = new (memory) Block;
        m_next = static_cast<char *>(memory) + firstRecordOffset;
        m_end = static_cast<char *>(memory) + blockBytes;
    }

    // The block keeps one reference per record handed out of it.
    void retire() noexcept
    {
        if (m_block)
            dropReferences(m_block, fillerReference - m_recordsHandedOut);
        m_block = nullptr;
        m_recordsHandedOut = 0;
    }

    Block *m_block = nullptr;
    char *m_next = nullptr;
    char *m_end = nullptr;
    std::int64_t m_recordsHandedOut = 0;
};

thread_local Filler filler;

} // namespace

void *allocate(std::size_t size)
{
    if constexpr (bulkmemory::heapOnly)
        return ::operator new(size);
    return filler.take(size);
}

void release(void *record) noexcept
{
    if constexpr (bulkmemory::heapOnly) {
        ::operator delete(record);
    } else if (record) {
        const auto address = reinterpret_cast<std::uintptr_t>(record);
        dropReferences(reinterpret_cast<Block *>(address & ~std::uintptr_t(blockBytes - 1)), 1);
    }
}

} // namespace okukipo::recordpool
