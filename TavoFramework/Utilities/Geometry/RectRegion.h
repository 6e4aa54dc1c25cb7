#pragma once

#include "Utilities/Geometry/Rect.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>

namespace Tavo {

template <class T>
class Array;

struct RectRegionNode : RegionRect
{
    RectRegionNode* next = nullptr;
};

// Regions create and free nodes very often while painting, so nodes come from
// a preallocated block of fixed entries; the heap is used only while the block
// is exhausted. Safe to use from several threads.
class RectRegionNodePool
{
public:
    static constexpr uint32_t kBlockEntries = 512;

    RectRegionNodePool();
    ~RectRegionNodePool();
    RectRegionNodePool(const RectRegionNodePool&) = delete;
    RectRegionNodePool& operator=(const RectRegionNodePool&) = delete;

    // The process-wide pool every region uses; never destroyed.
    static RectRegionNodePool& Get();

    // A zeroed node.
    RectRegionNode* Take();
    void Return(RectRegionNode* node);
    // Returns every node of a list linked through next.
    void ReturnList(RectRegionNode* head);

    uint32_t GetLiveCount() const;
    uint32_t GetPeakCount() const;
    uint32_t GetFreeCount() const;
    bool IsInBlock(const RectRegionNode* node) const;

private:
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

// A set of non-overlapping integer rectangles (the dirty and visible areas of
// controls and windows). Only Append may leave overlap behind. The list order
// carries no meaning except after Normalize. One region is used by one thread
// at a time; its nodes go back to the pool on FreeNodes and on destruction.
class RectRegion
{
public:
    RectRegion() = default;
    RectRegion(const RectRegion& other);
    RectRegion(RectRegion&& other) noexcept;
    RectRegion& operator=(const RectRegion& other);
    RectRegion& operator=(RectRegion&& other) noexcept;
    ~RectRegion();

    // Ignored when empty; the new rectangle stays whole and older ones are cut
    // around it.
    void AddRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void AddRect(const RegionRect& r) { AddRect(r.left, r.top, r.right, r.bottom); }
    // x, y, width, height.
    void AddRect(const RectT<int32_t>& r);

    // Removes the area of r; the removed pieces are pushed onto the front of
    // removed when given, else freed.
    void SubtractRect(const RegionRect& r, RectRegion* removed = nullptr);
    void Subtract(const RectRegion& other, RectRegion* removed = nullptr);
    void IntersectWith(const RectRegion& other);
    // Copies the other region's rectangles onto the front of the list without
    // removing overlap.
    void Append(const RectRegion& other);
    void Offset(int32_t dx, int32_t dy);

    // False and an all-zero rectangle when empty.
    bool GetBounds(RegionRect& bounds) const;
    // The same bounds as x, y, width, height.
    bool GetBounds(RectT<int32_t>& bounds) const;
    uint32_t GetRectCount() const;
    bool IsEmpty() const { return mHead == nullptr; }

    bool IntersectsRect(const RegionRect& r) const;
    // r moved by offset, clamped to the non-negative int32_t range and rounded
    // half away from zero; rectangles thinner than the double epsilon and NaN
    // coordinates meet nothing.
    bool IntersectsRect(const RectT<double>& r, const PointT<double>& offset) const;

    // Empties the array, then adds every rectangle as x, y, width, height in
    // list order.
    void CopyToArray(Array<RectT<int32_t>>& out) const;

    // Sorts by top, splits into bands whose rectangles share top and bottom,
    // merges touching neighbours within a band and equal rectangles of
    // touching bands.
    void Normalize();
    void FreeNodes();

    class ConstIterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = RegionRect;
        using difference_type = std::ptrdiff_t;
        using pointer = const RegionRect*;
        using reference = const RegionRect&;

        ConstIterator() = default;
        explicit ConstIterator(const RectRegionNode* n) : mNode(n) {}
        reference operator*() const { return *mNode; }
        pointer operator->() const { return mNode; }
        ConstIterator& operator++()
        {
            mNode = mNode->next;
            return *this;
        }
        ConstIterator operator++(int)
        {
            ConstIterator old = *this;
            mNode = mNode->next;
            return old;
        }
        friend bool operator==(const ConstIterator&, const ConstIterator&) = default;

    private:
        const RectRegionNode* mNode = nullptr;
    };

    // Walks the rectangles in list order.
    ConstIterator begin() const { return ConstIterator(mHead); }
    ConstIterator end() const { return ConstIterator(); }

private:
    void PushFront(const RegionRect& r);
    void SortByTop();
    void SplitIntoBands();
    void MergeWithinBands();
    void MergeAcrossBands();

    RectRegionNode* mHead = nullptr;
};

}  // namespace Tavo
