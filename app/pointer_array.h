#pragma once
#include <stdlib.h>

// An ordered array of pointers it does not own. Appends report failure (0) instead of
// throwing when memory runs out; removal keeps the order of the others.
template <typename T> class PointerArray {
public:
    PointerArray() = default;
    PointerArray(const PointerArray&) = delete;
    PointerArray& operator=(const PointerArray&) = delete;
    ~PointerArray() { free(items_); }

    int Add(T* item)
    {
        if (size_ == capacity_) {
            int capacity = capacity_ ? capacity_ * 2 : 4;
            T** grown = static_cast<T**>(realloc(items_, sizeof(T*) * capacity));
            if (!grown)
                return 0;
            items_ = grown;
            capacity_ = capacity;
        }
        items_[size_++] = item;
        return 1;
    }

    int Remove(T* item)
    {
        for (int i = 0; i < size_; ++i) {
            if (items_[i] == item) {
                for (int j = i + 1; j < size_; ++j)
                    items_[j - 1] = items_[j];
                --size_;
                return 1;
            }
        }
        return 0;
    }

    int Size() const { return size_; }
    T* At(int index) const { return items_[index]; }

private:
    T** items_ = nullptr;
    int size_ = 0;
    int capacity_ = 0;
};
