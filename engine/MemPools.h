#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// Pools of preallocated working buffers shared by the scan's threads: the chunk hashing takes
// byte buffers, the pairwise comparison integer buffers. A pool is made with count + 1 buffers
// of a fixed size and never grows; Acquire hands out the free buffer with the lowest index or
// answers null at once (it never waits), Release gives a buffer back. Both are safe to call
// from any number of threads. Destroy a pool only after every user has finished with it.
template <typename T>
class TArrayPool {
public:
    // count + 1 buffers of size elements each (none when count is negative). The contents
    // are not initialised.
    TArrayPool(std::int32_t count, std::size_t size);
    TArrayPool(const TArrayPool&) = delete;
    TArrayPool& operator=(const TArrayPool&) = delete;

    // The free buffer with the lowest index, now marked as handed out; null when every
    // buffer is in use.
    T* Acquire();

    // Gives a buffer back. A pointer that is not one of this pool's buffers is ignored, and
    // so is a buffer that is already free.
    void Release(const T* buffer);

    // Elements per buffer.
    std::size_t Size() const { return FSize; }
    // Buffers in the pool, free or not.
    std::size_t Count() const { return Buffers.size(); }

private:
    std::vector<std::unique_ptr<T[]>> Buffers;
    std::vector<bool> InUse;
    std::mutex Lock;
    std::size_t FSize;
};

extern template class TArrayPool<std::uint8_t>;
extern template class TArrayPool<std::int32_t>;

// Byte buffers for reading file chunks.
class TByteArrayPool : public TArrayPool<std::uint8_t> {
public:
    TByteArrayPool(std::int32_t count, std::size_t size) : TArrayPool(count, size) {}
};

// Buffers of 32-bit integers for the pairwise similarity measure.
class TIntArrayPool : public TArrayPool<std::int32_t> {
public:
    TIntArrayPool(std::int32_t count, std::size_t size) : TArrayPool(count, size) {}
};

// A working buffer of at least count elements for the time of one use: one of the pool's when
// the pool (may be null) has a free one that is large enough, else one of its own (whose
// allocation may raise std::bad_alloc). A pool's buffer goes back to the pool when the lease
// ends.
template<typename T>
class TBufferLease {
public:
    TBufferLease(TArrayPool<T>* pool, std::size_t count)
    {
        if (pool != nullptr && pool->Size() >= count) {
            FData = pool->Acquire();
            if (FData != nullptr) {
                FPool = pool;
                return;
            }
        }
        FOwn = std::make_unique_for_overwrite<T[]>(count);
        FData = FOwn.get();
    }
    ~TBufferLease()
    {
        if (FPool != nullptr) {
            FPool->Release(FData);
        }
    }
    TBufferLease(const TBufferLease&) = delete;
    TBufferLease& operator=(const TBufferLease&) = delete;

    T* Data() const { return FData; }

private:
    TArrayPool<T>* FPool = nullptr;
    T* FData = nullptr;
    std::unique_ptr<T[]> FOwn;
};
