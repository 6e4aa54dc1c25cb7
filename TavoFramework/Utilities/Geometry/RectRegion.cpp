#include "Utilities/Geometry/RectRegion.h"

#include "Threading/Mutex.h"
#include "Utilities/Storage/Array.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

namespace Tavo {

// ---------------------------------------------------------------------------
// Node pool

struct RectRegionNodePool::Impl
{
    struct Entry
    {
        RectRegionNode node;
        uint32_t ringSlot;
    };

    mutable Mutex lock;
    Entry* block = nullptr;
    uint32_t ringHead = 0;
    uint32_t freeCount = 0;
    uint32_t liveCount = 0;
    uint32_t peakCount = 0;

    bool InBlock(const RectRegionNode* node) const
    {
        if (block == nullptr)
            return false;
        const auto p = reinterpret_cast<uintptr_t>(node);
        const auto first = reinterpret_cast<uintptr_t>(block);
        const auto last = reinterpret_cast<uintptr_t>(block + kBlockEntries);
        return p >= first && p < last;
    }
};

RectRegionNodePool::RectRegionNodePool() : mImpl(std::make_unique<Impl>()) {}

RectRegionNodePool::~RectRegionNodePool()
{
    delete[] mImpl->block;
}

RectRegionNodePool& RectRegionNodePool::Get()
{
    static RectRegionNodePool* pool = new RectRegionNodePool();
    return *pool;
}

RectRegionNode* RectRegionNodePool::Take()
{
    Impl& p = *mImpl;
    MutexLocker guard(p.lock);
    if (p.block == nullptr) {
        p.block = new Impl::Entry[kBlockEntries];
        for (uint32_t i = 0; i < kBlockEntries; ++i)
            p.block[i].ringSlot = i;
        p.freeCount = kBlockEntries;
        p.ringHead = 0;
    }
    ++p.liveCount;
    p.peakCount = std::max(p.peakCount, p.liveCount);
    RectRegionNode* node;
    if (p.freeCount > 0) {
        node = &p.block[p.block[p.ringHead].ringSlot].node;
        p.ringHead = (p.ringHead + 1) % kBlockEntries;
        --p.freeCount;
    } else {
        node = new RectRegionNode;
    }
    *node = RectRegionNode{};
    return node;
}

void RectRegionNodePool::Return(RectRegionNode* node)
{
    if (node == nullptr)
        return;
    Impl& p = *mImpl;
    MutexLocker guard(p.lock);
    if (p.freeCount < kBlockEntries && p.InBlock(node)) {
        const auto index = static_cast<uint32_t>(reinterpret_cast<Impl::Entry*>(node) - p.block);
        p.block[(p.ringHead + p.freeCount) % kBlockEntries].ringSlot = index;
        ++p.freeCount;
    } else {
        delete node;
    }
    --p.liveCount;
}

void RectRegionNodePool::ReturnList(RectRegionNode* head)
{
    while (head != nullptr) {
        RectRegionNode* next = head->next;
        Return(head);
        head = next;
    }
}

uint32_t RectRegionNodePool::GetLiveCount() const
{
    MutexLocker guard(mImpl->lock);
    return mImpl->liveCount;
}

uint32_t RectRegionNodePool::GetPeakCount() const
{
    MutexLocker guard(mImpl->lock);
    return mImpl->peakCount;
}

uint32_t RectRegionNodePool::GetFreeCount() const
{
    MutexLocker guard(mImpl->lock);
    return mImpl->freeCount;
}

bool RectRegionNodePool::IsInBlock(const RectRegionNode* node) const
{
    MutexLocker guard(mImpl->lock);
    return mImpl->InBlock(node);
}

// ---------------------------------------------------------------------------
// Region

namespace {

RectRegionNodePool& Pool()
{
    return RectRegionNodePool::Get();
}

RectRegionNode* CopyList(const RectRegionNode* src)
{
    RectRegionNode* head = nullptr;
    RectRegionNode** tail = &head;
    for (; src != nullptr; src = src->next) {
        RectRegionNode* n = Pool().Take();
        static_cast<RegionRect&>(*n) = *src;
        *tail = n;
        tail = &n->next;
    }
    return head;
}

// x, y, width, height of edges; a width beyond int32_t wraps, computed
// unsigned to stay defined.
void GetBoundsOf(const RegionRect& r, RectT<int32_t>& out)
{
    out = {r.left, r.top,
           static_cast<int32_t>(static_cast<uint32_t>(r.right) - static_cast<uint32_t>(r.left)),
           static_cast<int32_t>(static_cast<uint32_t>(r.bottom) - static_cast<uint32_t>(r.top))};
}

int32_t SaturatingAdd(int32_t a, int32_t b)
{
    const int64_t sum = static_cast<int64_t>(a) + b;
    return static_cast<int32_t>(std::clamp<int64_t>(sum, INT32_MIN, INT32_MAX));
}

// The node after the run of nodes that share the bottom of n.
RectRegionNode* AfterBottomBand(RectRegionNode* n)
{
    if (n == nullptr)
        return nullptr;
    const int32_t bottom = n->bottom;
    while (n != nullptr && n->bottom == bottom)
        n = n->next;
    return n;
}

// A stable merge sort of a list by one edge.
RectRegionNode* SortList(RectRegionNode* head, int32_t RegionRect::*key)
{
    uint32_t count = 0;
    for (const RectRegionNode* n = head; n != nullptr; n = n->next)
        ++count;
    for (uint32_t width = 1; width < count; width *= 2) {
        RectRegionNode* rest = head;
        head = nullptr;
        RectRegionNode** tail = &head;
        while (rest != nullptr) {
            RectRegionNode* left = rest;
            RectRegionNode* leftEnd = left;
            for (uint32_t i = 1; i < width && leftEnd->next != nullptr; ++i)
                leftEnd = leftEnd->next;
            RectRegionNode* right = leftEnd->next;
            leftEnd->next = nullptr;
            RectRegionNode* rightEnd = right;
            for (uint32_t i = 1; i < width && rightEnd != nullptr && rightEnd->next != nullptr; ++i)
                rightEnd = rightEnd->next;
            rest = rightEnd != nullptr ? rightEnd->next : nullptr;
            if (rightEnd != nullptr)
                rightEnd->next = nullptr;
            while (left != nullptr && right != nullptr) {
                // Ties take the left run first, which keeps the sort stable.
                RectRegionNode*& from = (*right).*key < (*left).*key ? right : left;
                *tail = from;
                tail = &from->next;
                from = from->next;
            }
            *tail = left != nullptr ? left : right;
            while (*tail != nullptr)
                tail = &(*tail)->next;
        }
    }
    return head;
}

}  // namespace

RectRegion::RectRegion(const RectRegion& other) : mHead(CopyList(other.mHead)) {}

RectRegion::RectRegion(RectRegion&& other) noexcept : mHead(std::exchange(other.mHead, nullptr)) {}

RectRegion& RectRegion::operator=(const RectRegion& other)
{
    if (this != &other) {
        RectRegionNode* copy = CopyList(other.mHead);
        FreeNodes();
        mHead = copy;
    }
    return *this;
}

RectRegion& RectRegion::operator=(RectRegion&& other) noexcept
{
    if (this != &other) {
        FreeNodes();
        mHead = std::exchange(other.mHead, nullptr);
    }
    return *this;
}

RectRegion::~RectRegion()
{
    FreeNodes();
}

void RectRegion::FreeNodes()
{
    Pool().ReturnList(std::exchange(mHead, nullptr));
}

void RectRegion::PushFront(const RegionRect& r)
{
    RectRegionNode* n = Pool().Take();
    static_cast<RegionRect&>(*n) = r;
    n->next = mHead;
    mHead = n;
}

void RectRegion::AddRect(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    const RegionRect r{left, top, right, bottom};
    if (r.IsEmpty())
        return;
    SubtractRect(r);
    PushFront(r);
}

void RectRegion::AddRect(const RectT<int32_t>& r)
{
    AddRect(r.x, r.y, SaturatingAdd(r.x, r.width), SaturatingAdd(r.y, r.height));
}

void RectRegion::SubtractRect(const RegionRect& r, RectRegion* removed)
{
    RectRegionNode* prev = nullptr;  // the last node before a that stays
    RectRegionNode* a = mHead;
    while (a != nullptr) {
        RectRegionNode* next = a->next;
        if (!a->Overlaps(r)) {
            prev = a;
            a = next;
            continue;
        }
        // The remainders go to the front, so this walk does not visit them.
        if (a->top < r.top) {
            PushFront({a->left, a->top, a->right, r.top});
            a->top = r.top;
        }
        if (a->bottom > r.bottom) {
            PushFront({a->left, r.bottom, a->right, a->bottom});
            a->bottom = r.bottom;
        }
        if (a->left < r.left) {
            PushFront({a->left, a->top, r.left, a->bottom});
            a->left = r.left;
        }
        if (a->right > r.right) {
            PushFront({r.right, a->top, a->right, a->bottom});
            a->right = r.right;
        }
        RectRegionNode* before = prev;
        if (before == nullptr) {
            before = mHead;
            while (before != nullptr && before->next != a)
                before = before->next;
        }
        if (before != nullptr)
            before->next = next;
        else
            mHead = next;
        if (removed != nullptr) {
            a->next = removed->mHead;
            removed->mHead = a;
        } else {
            Pool().Return(a);
        }
        a = next;
    }
}

void RectRegion::Subtract(const RectRegion& other, RectRegion* removed)
{
    if (&other == this || &other == removed) {
        // Walking a list while it changes would lose nodes.
        const RectRegion copy(other);
        Subtract(copy, removed);
        return;
    }
    for (const RectRegionNode* n = other.mHead; n != nullptr; n = n->next)
        SubtractRect(*n, removed);
}

void RectRegion::IntersectWith(const RectRegion& other)
{
    if (&other == this)
        return;
    RectRegion covered;
    Subtract(other, &covered);
    std::swap(mHead, covered.mHead);
}

void RectRegion::Append(const RectRegion& other)
{
    RectRegionNode* copy = CopyList(other.mHead);
    if (copy == nullptr)
        return;
    RectRegionNode* last = copy;
    while (last->next != nullptr)
        last = last->next;
    last->next = mHead;
    mHead = copy;
}

void RectRegion::Offset(int32_t dx, int32_t dy)
{
    if (dx == 0 && dy == 0)
        return;
    RectRegionNode** link = &mHead;
    while (RectRegionNode* n = *link) {
        n->left = SaturatingAdd(n->left, dx);
        n->right = SaturatingAdd(n->right, dx);
        n->top = SaturatingAdd(n->top, dy);
        n->bottom = SaturatingAdd(n->bottom, dy);
        // A rectangle pushed against the int32_t limits may flatten to nothing.
        if (n->IsEmpty()) {
            *link = n->next;
            Pool().Return(n);
        } else {
            link = &n->next;
        }
    }
}

bool RectRegion::GetBounds(RegionRect& bounds) const
{
    bounds = {};
    if (mHead == nullptr)
        return false;
    bounds = *mHead;
    for (const RectRegionNode* n = mHead->next; n != nullptr; n = n->next) {
        bounds.left = std::min(bounds.left, n->left);
        bounds.top = std::min(bounds.top, n->top);
        bounds.right = std::max(bounds.right, n->right);
        bounds.bottom = std::max(bounds.bottom, n->bottom);
    }
    return true;
}

bool RectRegion::GetBounds(RectT<int32_t>& bounds) const
{
    RegionRect b;
    const bool any = GetBounds(b);
    GetBoundsOf(b, bounds);
    return any;
}

void RectRegion::CopyToArray(Array<RectT<int32_t>>& out) const
{
    out.SetCount(0);
    for (const RectRegionNode* n = mHead; n != nullptr; n = n->next) {
        RectT<int32_t> r;
        GetBoundsOf(*n, r);
        out.Add(r);
    }
}

uint32_t RectRegion::GetRectCount() const
{
    uint32_t count = 0;
    for (const RectRegionNode* n = mHead; n != nullptr; n = n->next)
        ++count;
    return count;
}

bool RectRegion::IntersectsRect(const RegionRect& r) const
{
    for (const RectRegionNode* n = mHead; n != nullptr; n = n->next) {
        if (n->Overlaps(r))
            return true;
    }
    return false;
}

bool RectRegion::IntersectsRect(const RectT<double>& r, const PointT<double>& offset) const
{
    double left = r.x + offset.x;
    double top = r.y + offset.y;
    double right = left + r.width;
    double bottom = top + r.height;
    left = std::max(left, 0.0);
    top = std::max(top, 0.0);
    right = std::min(right, 2147483647.0);
    bottom = std::min(bottom, 2147483647.0);
    // Written so that NaN fails the test too.
    if (!(right - left > DBL_EPSILON) || !(bottom - top > DBL_EPSILON))
        return false;
    return IntersectsRect(
        RegionRect{RoundToInt32(left), RoundToInt32(top), RoundToInt32(right), RoundToInt32(bottom)});
}

// ---------------------------------------------------------------------------
// Normalize

void RectRegion::Normalize()
{
    if (mHead == nullptr)
        return;
    SortByTop();
    SplitIntoBands();
    MergeWithinBands();
    MergeAcrossBands();
}

// Stable, so the same order as repeated neighbour swaps by top, in n log n.
void RectRegion::SortByTop()
{
    mHead = SortList(mHead, &RegionRect::top);
}

// Splits rectangles at the tops and bottoms of the others so that every band
// of rectangles with one top also shares one bottom.
void RectRegion::SplitIntoBands()
{
    int32_t split = 0;
    RectRegionNode* insertAfter = nullptr;
    // The last node with a top above the split line, found once per line:
    // the pieces inserted after it have the split line as top, so it stays.
    RectRegionNode* lastAbove = nullptr;
    for (RectRegionNode* n = mHead; n != nullptr; n = n->next) {
        if (n == mHead || !(n->top < split && split < n->bottom)) {
            split = n->bottom;
            insertAfter = nullptr;
            lastAbove = nullptr;
            RectRegionNode* m = n->next;
            while (m != nullptr && m->top == n->top) {
                split = std::min(split, m->bottom);
                m = m->next;
            }
            if (m != nullptr && m->top < split) {
                split = m->top;
                insertAfter = m;
            }
            if (split >= n->bottom)
                continue;
        }
        RectRegionNode* lower = Pool().Take();
        static_cast<RegionRect&>(*lower) = {n->left, split, n->right, n->bottom};
        n->bottom = split;
        RectRegionNode* after = insertAfter;
        if (after == nullptr) {
            if (lastAbove == nullptr) {
                lastAbove = n;
                while (lastAbove->next != nullptr && lastAbove->next->top < split)
                    lastAbove = lastAbove->next;
            }
            after = lastAbove;
        }
        lower->next = after->next;
        after->next = lower;
    }
}

// Within each band (same top), sorts by left edge and joins neighbours whose
// edges touch. Band members do not overlap, so sorting first and joining in
// one pass gives the one result that repeated neighbour swaps and joins reach.
void RectRegion::MergeWithinBands()
{
    RectRegionNode** link = &mHead;
    while (*link != nullptr) {
        const int32_t top = (*link)->top;
        RectRegionNode* last = *link;
        while (last->next != nullptr && last->next->top == top)
            last = last->next;
        RectRegionNode* rest = last->next;
        last->next = nullptr;
        RectRegionNode* band = SortList(*link, &RegionRect::left);
        *link = band;
        RectRegionNode* a = band;
        while (a->next != nullptr) {
            RectRegionNode* b = a->next;
            if (b->left == a->right) {
                a->right = b->right;
                a->next = b->next;
                Pool().Return(b);
            } else {
                a = b;
            }
        }
        a->next = rest;
        link = &a->next;
    }
}

// Joins a rectangle with the equal one directly below it in the next band.
// Bands here are runs with the same bottom, since a lower rectangle that
// absorbed an upper one keeps its bottom and so a whole column collapses. Both
// bands are sorted by left edge, so one pass over each finds every pair.
void RectRegion::MergeAcrossBands()
{
    RectRegionNode* upperPrev = nullptr;  // the node before the upper band
    RectRegionNode* upper = mHead;
    RectRegionNode* lower = AfterBottomBand(mHead);
    while (lower != nullptr) {
        RectRegionNode* const lowerEnd = AfterBottomBand(lower);
        RectRegionNode* l = lower;
        RectRegionNode* prev = upperPrev;
        RectRegionNode* u = upper;
        while (u != lower) {
            while (l != lowerEnd && l->left < u->left)
                l = l->next;
            RectRegionNode* next = u->next;
            if (l != lowerEnd && l->top == u->bottom && l->left == u->left && l->right == u->right) {
                l->top = u->top;
                if (prev != nullptr)
                    prev->next = next;
                else
                    mHead = next;
                Pool().Return(u);
            } else {
                prev = u;
            }
            u = next;
        }
        upperPrev = prev;
        upper = lower;
        lower = lowerEnd;
    }
}

}  // namespace Tavo
