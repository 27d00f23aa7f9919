#pragma once
// One heap array whose length is fixed when it is created.
#include <concepts>
#include <cstring>
#include <new>

#include "platform/core/Types.h"

template <class T>
class CFixedArray {
public:
    CFixedArray() = default;
    CFixedArray(const CFixedArray&) = delete;
    CFixedArray& operator=(const CFixedArray&) = delete;
    ~CFixedArray() { Release(); }

    // A holder that already has data keeps it; Release first to resize.
    void Create(i32 n)
    {
        if (data || n < 1) return;
        count = n;
        data = new (std::nothrow) T[static_cast<size_t>(n)]();
    }

    void Release()
    {
        delete[] data;
        data = nullptr;
        count = 0;
    }

    // Byte-wise fill, also for wider elements: a 16-bit element becomes
    // value * 0x0101. Meant for plain number tables only.
    template <std::integral V>
    void Fill(V value)
    {
        if (!data || count <= 0) return;
        std::memset(static_cast<void*>(data), static_cast<u8>(value),
                    sizeof(T) * static_cast<size_t>(count));
    }

    T* Data() { return data; }
    const T* Data() const { return data; }
    i32 GetCount() const { return count; }
    bool IsCreated() const { return data != nullptr; }

    T& operator[](i32 i) { return data[i]; }
    const T& operator[](i32 i) const { return data[i]; }

    T* begin() { return data; }
    T* end() { return data ? data + count : nullptr; }
    const T* begin() const { return data; }
    const T* end() const { return data ? data + count : nullptr; }

private:
    T* data = nullptr;
    i32 count = 0;
};
