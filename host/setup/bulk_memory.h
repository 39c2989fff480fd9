#pragma once
// Memory for the few large arrays of a big setup: its parameters and its name index.
// A setup of a million parameters fills over a hundred megabytes, and the first touch
// of every 4 KiB page of it is a fault to the kernel; those faults were a fifth of the
// time spent loading. Arrays of 2 MiB and more are therefore asked for in huge pages
// (transparent huge pages, where the system grants them on request), which takes one
// fault per 2 MiB. Smaller arrays come from the ordinary heap, so a small setup costs
// no more than before.

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace axis {

/// At least `bytes` of memory aligned for any ordinary type; throws std::bad_alloc.
void* AllocateBulk(std::size_t bytes);
/// Gives back what AllocateBulk(bytes) returned.
void FreeBulk(void* p, std::size_t bytes) noexcept;

/// An allocator over AllocateBulk, for the large vectors of a setup.
template <class T>
struct BulkAllocator {
    using value_type = T;
    BulkAllocator() = default;
    template <class U>
    BulkAllocator(const BulkAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(AllocateBulk(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { FreeBulk(p, n * sizeof(T)); }
    friend bool operator==(const BulkAllocator&, const BulkAllocator&) { return true; }
};

/// Objects that never move once made (indexes and callers keep pointers to them),
/// taken from blocks that double in size up to 2 MiB: no allocation per object, and
/// a few objects take a few hundred bytes.
template <class T>
class BlockArena {
  public:
    BlockArena() = default;
    BlockArena(const BlockArena&) = delete;
    BlockArena& operator=(const BlockArena&) = delete;
    ~BlockArena() {
        for (Block& block : blocks_) {
            for (std::size_t i = 0; i < block.used; ++i) block.items[i].~T();
            FreeBulk(block.items, block.bytes);
        }
    }

    template <class... Args>
    T* Make(Args&&... args) {
        if (blocks_.empty() || blocks_.back().used == blocks_.back().capacity) AddBlock();
        Block& block = blocks_.back();
        T* item = new (block.items + block.used) T(std::forward<Args>(args)...);
        ++block.used;
        return item;
    }
    /// Destroys the object made last.
    void UnmakeLast() {
        Block& block = blocks_.back();
        block.items[--block.used].~T();
    }

  private:
    struct Block {
        T* items;
        std::size_t bytes;
        std::size_t capacity;
        std::size_t used;
    };
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    static constexpr std::size_t kFirstBlockBytes = 32 * sizeof(T);
    static constexpr std::size_t kLargestBlockBytes = std::size_t{2} << 20;
    static_assert(sizeof(T) <= kLargestBlockBytes);

    void AddBlock() {
        std::size_t bytes = blocks_.empty() ? kFirstBlockBytes : 2 * blocks_.back().bytes;
        if (bytes > kLargestBlockBytes) bytes = kLargestBlockBytes;
        blocks_.reserve(blocks_.size() + 1);  // so that a failure below leaks nothing
        T* items = static_cast<T*>(AllocateBulk(bytes));
        blocks_.push_back({items, bytes, bytes / sizeof(T), 0});
    }

    std::vector<Block> blocks_;
};

}  // namespace axis
