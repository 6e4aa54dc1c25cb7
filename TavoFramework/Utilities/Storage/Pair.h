#pragma once

#include <utility>

namespace Tavo {

// A two-value record, copied member by member (tables of pairs of names).
template <class A, class B>
struct Pair
{
    A first{};
    B second{};

    Pair() = default;
    Pair(A a, B b) : first(std::move(a)), second(std::move(b)) {}

    friend bool operator==(const Pair& x, const Pair& y)
    {
        return x.first == y.first && x.second == y.second;
    }
};

}  // namespace Tavo
