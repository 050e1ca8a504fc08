#pragma once

#include <cstddef>

// Memory for event records.  A full flash holds close to a million records
// of 16 to 48 bytes.  Taking each from the general heap costs more than
// reading it from the file, and the heap's first touch of fresh memory costs
// a page fault every 4 KB, which is slow in virtual machines.  The pool hands
// records out of 2 MB blocks instead, which the kernel may back with huge
// pages, and gives a block back once every record in it is freed.
//
// Each thread fills a block of its own; a record may be freed on any thread.
namespace okukipo::recordpool {

// Records of every class fit this alignment (checked in model/events.cpp).
constexpr std::size_t alignment = 8;

void *allocate(std::size_t size);
void release(void *record) noexcept;

} // namespace okukipo::recordpool
