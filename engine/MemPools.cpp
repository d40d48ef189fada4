#include "engine/MemPools.h"

template <typename T>
TArrayPool<T>::TArrayPool(std::int32_t count, std::size_t size) : FSize(size)
{
    for (std::int32_t i = 0; i <= count; ++i) {
        Buffers.push_back(std::make_unique_for_overwrite<T[]>(size));
        InUse.push_back(false);
    }
}

template <typename T>
T* TArrayPool<T>::Acquire()
{
    std::lock_guard guard(Lock);
    for (std::size_t i = 0; i < InUse.size(); ++i) {
        if (!InUse[i]) {
            InUse[i] = true;
            return Buffers[i].get();
        }
    }
    return nullptr;
}

template <typename T>
void TArrayPool<T>::Release(const T* buffer)
{
    std::lock_guard guard(Lock);
    for (std::size_t i = 0; i < Buffers.size(); ++i) {
        if (Buffers[i].get() == buffer) {
            InUse[i] = false;
            return;
        }
    }
}

template class TArrayPool<std::uint8_t>;
template class TArrayPool<std::int32_t>;
