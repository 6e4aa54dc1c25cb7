#pragma once

#include <functional>
#include <map>

namespace Tavo {

// An ordered map (string tables keyed by wide strings, for instance).
template <class K, class V, class Less = std::less<K>>
class Map : public std::map<K, V, Less>
{
public:
    using std::map<K, V, Less>::map;

    // Whether a key equal to the one made from text is present, equality being
    // neither key ordering before the other.
    template <class Text>
    bool Contains(const Text& text) const
    {
        const K key(text);
        auto it = this->lower_bound(key);
        return it != this->end() && !this->key_comp()(key, it->first);
    }
};

}  // namespace Tavo
