#pragma once

#include "Utilities/Storage/StringT.h"

#include <vector>

namespace Tavo {

// A growable array of strings.
template <class C, class O>
class StringArrayT
{
public:
    using String = StringT<C, O>;

    uint32_t GetCount() const { return uint32_t(mItems.size()); }
    bool IsEmpty() const { return mItems.empty(); }
    const String& operator[](uint32_t index) const { return mItems[index]; }
    String& operator[](uint32_t index) { return mItems[index]; }
    const String& GetAt(uint32_t index) const { return mItems.at(index); }

    // Appends; returns the new item's index.
    int32_t Add(const String& item)
    {
        mItems.push_back(item);
        return int32_t(mItems.size() - 1);
    }
    // E_INVALIDARG past the end; the count itself appends.
    TavoResult InsertAt(uint32_t index, const String& item)
    {
        if (index > mItems.size())
            return E_INVALIDARG;
        mItems.insert(mItems.begin() + index, item);
        return S_OK;
    }
    TavoResult RemoveAt(uint32_t index)
    {
        if (index >= mItems.size())
            return E_INVALIDARG;
        mItems.erase(mItems.begin() + index);
        return S_OK;
    }
    void RemoveAll() { mItems.clear(); }
    // New items are empty strings.
    void SetCount(uint32_t count) { mItems.resize(count); }

    // The first index at or after start whose text equals value, exactly or
    // ignoring letter case; -1 when there is none.
    int32_t Find(const String& value, bool exactCase, int32_t start = 0) const
    {
        String lowered = exactCase ? value : value.ToLower();
        for (size_t i = start < 0 ? 0 : size_t(start); i < mItems.size(); ++i) {
            if (exactCase ? mItems[i] == value : mItems[i].ToLower() == lowered)
                return int32_t(i);
        }
        return -1;
    }

private:
    std::vector<String> mItems;
};

using WStringArray = StringArrayT<char16_t, char>;

}  // namespace Tavo
