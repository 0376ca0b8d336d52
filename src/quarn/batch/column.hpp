// A growable array of plain values in one malloc'd block. Unlike std::vector,
// growing and the final trim go through realloc, which moves large blocks by
// remapping pages instead of copying them, and the block can be handed to
// consumers (buffer protocol, Arrow) as a pointer and a length.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace quarn::batch {

template <class T>
class Column {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    Column() = default;
    Column(const Column&) = delete;
    Column& operator=(const Column&) = delete;
    Column(Column&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    Column& operator=(Column&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        return *this;
    }
    ~Column() { std::free(data_); }

    const T* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T& operator[](std::size_t i) const { return data_[i]; }

    void push_back(T value) {
        if (size_ == capacity_) [[unlikely]]
            reallocate(capacity_ < 1024 ? 1024 : capacity_ * 2);
        data_[size_++] = value;
    }
    void append(const T* values, std::size_t count) {
        if (count == 0)
            return;
        if (size_ + count > capacity_)
            reallocate(size_ + count > capacity_ * 2 ? size_ + count : capacity_ * 2);
        std::memcpy(data_ + size_, values, count * sizeof(T));
        size_ += count;
    }
    // Makes room for at least `capacity` values in all; never shrinks, and
    // grows at least twofold so that repeated calls stay amortized.
    void reserve(std::size_t capacity) {
        if (capacity > capacity_)
            reallocate(capacity > capacity_ * 2 ? capacity : capacity_ * 2);
    }
    // For writers that fill several columns in step: room for `count` more
    // values, written through the pointer and then made part of the column
    // by commit(). Capacity grows as reserve() says.
    T* spare(std::size_t count) {
        reserve(size_ + count);
        return data_ + size_;
    }
    std::size_t capacity() const { return capacity_; }
    void commit(std::size_t count) { size_ += count; }

    // Gives unused capacity back: a finished table costs what it holds.
    void shrink_to_fit() {
        if (size_ != capacity_)
            reallocate(size_);
    }
    void clear() { size_ = 0; }

  private:
    void reallocate(std::size_t capacity) {
        if (capacity == 0) {
            std::free(data_);
            data_ = nullptr;
            capacity_ = 0;
            return;
        }
        if (capacity > SIZE_MAX / sizeof(T))
            throw std::bad_alloc();
        void* grown = std::realloc(data_, capacity * sizeof(T));
        if (grown == nullptr)
            throw std::bad_alloc();
        data_ = static_cast<T*>(grown);
        capacity_ = capacity;
        advise_huge_pages(grown, capacity * sizeof(T));
    }

    // Large columns are written once from start to end: huge pages cut the
    // page faults of filling them by a factor of 512 where the system allows.
    static void advise_huge_pages(void* block, std::size_t bytes) {
        constexpr std::size_t kHugePage = std::size_t{2} << 20;
        if (bytes < 2 * kHugePage)
            return;
        const auto begin =
            (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
        const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(kHugePage - 1);
        if (end > begin)
            madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace quarn::batch
