#pragma once

#include "ObjectBase/RefCountedObject.h"
#include "Utilities/Storage/Buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace Tavo {

template <class C, class O>
class StringT;
using WString = StringT<char16_t, char>;
using NString = StringT<char, char16_t>;

// UTF-8 <-> UTF-16; a negative count converts up to and with the terminator.
TavoResult AssignFromWide(NString& target, const char16_t* text, int32_t count);
TavoResult AssignFromNarrow(WString& target, const char* text, int32_t count);

template <class... Args>
WString Format(const char16_t* format, const Args&... args);

// Text that shares one reference-counted buffer between copies until one of
// them writes. A locked string owns its buffer privately and may hold spare
// room after its terminator.
template <class C, class O>
class StringT
{
public:
    using Char = C;
    using Other = StringT<O, C>;
    // As a maximum length: up to the terminator.
    static constexpr uint32_t kToEnd = 0x7FFFFFFE;

    StringT() : rep(EmptyRep()) {}
    StringT(std::nullptr_t) : StringT() {}
    StringT(C ch) : rep(ch ? MakeBuffer(2) : EmptyRep())
    {
        if (ch) {
            Data()[0] = ch;
            Data()[1] = 0;
        }
    }
    StringT(const C* text) { Assign(text, kToEnd); }
    StringT(const C* text, uint32_t maxLength) { Assign(text, maxLength); }
    StringT(const StringT& other) { CopyFrom(other); }
    explicit StringT(const Other& other) { ConvertFrom(other.c_str(), -1); }
    explicit StringT(const O* text) { ConvertFrom(text, -1); }
    virtual ~StringT() = default;

    StringT& operator=(const StringT& other)
    {
        if (this != &other) {
            if (!IsLocked() && !other.IsLocked())
                rep = other.rep;
            else
                Assign(other.c_str(), kToEnd);
        }
        return *this;
    }
    StringT& operator=(const C* text)
    {
        Assign(text, kToEnd);
        return *this;
    }

    // Copies up to maxLength units, stopping at the text's terminator. A locked
    // string keeps its buffer and grows it when the text needs more room.
    void Assign(const C* text, uint32_t maxLength = kToEnd);
    // Converts the other encoding, at most maxLength of its units.
    void Assign(const O* text, uint32_t maxLength)
    {
        ConvertFrom(text, maxLength >= kToEnd ? -1 : int32_t(BoundedLength(text, maxLength)));
    }

    uint32_t GetLength() const;
    bool IsEmpty() const { return c_str()[0] == 0; }
    const C* c_str() const { return static_cast<const C*>(rep->GetData()); }
    C operator[](uint32_t index) const { return c_str()[index]; }

    bool operator==(const C* text) const;
    bool operator==(const StringT& other) const
    {
        return rep.Get() == other.rep.Get() || *this == other.c_str();
    }
    bool operator==(std::nullptr_t) const { return IsEmpty(); }
    bool operator==(const Other& other) const { return *this == StringT(other); }
    bool operator<(const StringT& other) const;

    StringT& Append(const StringT& other);
    StringT& Append(C ch)
    {
        Insert(GetLength(), StringT(ch));
        return *this;
    }
    StringT& operator+=(const StringT& other) { return Append(other); }
    StringT& operator+=(C ch) { return Append(ch); }
    friend StringT operator+(const StringT& left, const StringT& right)
    {
        StringT result(left);
        result.Append(right);
        return result;
    }

    // E_INVALIDARG when position is past the end.
    TavoResult Insert(uint32_t position, const StringT& text);
    TavoResult Insert(uint32_t position, const C* text, uint32_t count);

    StringT Mid(int32_t start, int32_t count) const;
    StringT Mid(int32_t start) const { return Mid(start, int32_t(GetLength()) - start); }
    StringT Left(int32_t count) const { return Mid(0, count); }
    StringT Right(int32_t count) const { return Mid(count == INT32_MIN ? INT32_MAX : -count, count); }

    // A writable buffer of at least minChars units (GetLength() + 1 for 0);
    // null when already locked. Unlock makes the string consistent again.
    C* Lock(uint32_t minChars = 0);
    TavoResult Unlock();
    bool IsLocked() const { return rep && !rep->IsShareable(); }

    // Removes count units at position; E_INVALIDARG and no change when the
    // range is not inside the string.
    TavoResult Remove(uint32_t position, uint32_t count);
    // A locked string keeps its buffer; an unlocked one shares the empty one.
    void Empty() { Assign(static_cast<const C*>(nullptr), kToEnd); }

    // Index of the first occurrence at or after start, or -1.
    int32_t Find(const StringT& text, int32_t start = 0) const;
    int32_t Find(C ch, int32_t start = 0) const;
    // Index of the last occurrence, or -1.
    int32_t ReverseFind(C ch) const;
    int32_t ReverseFind(const StringT& text) const;

    StringT ToLower() const;
    StringT ToUpper() const;
    // Remove " \t\r\n" at the ends.
    StringT& Trim() { return TrimRight().TrimLeft(); }
    StringT& TrimLeft();
    StringT& TrimRight();
    // Replaces every `from` by `to`; returns how many were replaced.
    int32_t Replace(C from, C to);

    // Leading blanks, an optional sign and decimal digits; saturates.
    int32_t ToInt() const;
    double ToDouble() const;

    template <class... Args>
    requires std::is_same_v<C, char16_t>
    static StringT Format(const C* format, const Args&... args) { return ::Tavo::Format(format, args...); }
    template <class... Args>
    requires std::is_same_v<C, char16_t> StringT& AssignFormat(const C* format, const Args&... args)
    {
        *this = ::Tavo::Format(format, args...);
        return *this;
    }

    // The representation, for the conversions and for tests.
    const LIBuffer* GetBuffer() const { return rep.Get(); }
    // Takes a buffer made by StringBuffer::Create; any other becomes empty text.
    void AdoptBuffer(const RCPtr<LIBuffer>& buffer)
    {
        auto* concrete = dynamic_cast<StringBuffer*>(buffer.Get());
        if (concrete)
            rep = concrete;
        else
            rep = EmptyRep();
    }
    void ShareEmpty() { rep = EmptyRep(); }
    // A copy with every unit passed through the map.
    template <class Map>
    StringT MapUnits(Map map) const;

    static RCPtr<StringBuffer> MakeBuffer(uint32_t units, bool zero = false)
    {
        return Concrete(StringBuffer::Create(units * uint32_t(sizeof(C)), 0, zero));
    }

    static uint32_t BoundedLength(const C* text, uint32_t maxLength)
    {
        uint32_t n = 0;
        if (text)
            while (n < maxLength && text[n])
                ++n;
        return n;
    }
    static uint32_t BoundedLength(const O* text, uint32_t maxLength)
    {
        uint32_t n = 0;
        if (text)
            while (n < maxLength && text[n])
                ++n;
        return n;
    }

private:
    static const RCPtr<StringBuffer>& EmptyRep()
    {
        // Made on first use and never destroyed, so strings may outlive statics.
        static auto* empty = new RCPtr<StringBuffer>(MakeBuffer(1, true));
        return *empty;
    }

    // Every string buffer is a StringBuffer; holding the final class lets the
    // compiler call it directly.
    static RCPtr<StringBuffer> Concrete(const RCPtr<LIBuffer>& buffer)
    {
        return RCPtr<StringBuffer>(static_cast<StringBuffer*>(buffer.Get()));
    }

    C* Data() const { return static_cast<C*>(rep->GetData()); }
    uint32_t Units() const { return rep->GetSize() / uint32_t(sizeof(C)); }

    void CopyFrom(const StringT& other)
    {
        if (other.IsLocked())
            Assign(other.c_str(), kToEnd);
        else
            rep = other.rep;
    }

    void ConvertFrom(const O* text, int32_t count)
    {
        if constexpr (std::is_same_v<C, char16_t>)
            AssignFromNarrow(*this, text, count);
        else
            AssignFromWide(*this, text, count);
    }

    // Makes a locked buffer of known text length shareable and exact again.
    void UnlockKnownLength(uint32_t length);

    RCPtr<StringBuffer> rep;
};

template <class C, class O>
void StringT<C, O>::Assign(const C* text, uint32_t maxLength)
{
    if (text && text[0] && maxLength) {
        uint32_t n = BoundedLength(text, maxLength);
        if (IsLocked()) {
            // Grow before copying: the locked buffer may be shorter than the text.
            // A text inside this buffer always fits, so growing never moves it.
            if (n + 1 > Units())
                rep->Resize((n + 1) * uint32_t(sizeof(C)));
            std::memmove(Data(), text, n * sizeof(C));
            Data()[n] = 0;
        } else {
            RCPtr<StringBuffer> buffer = MakeBuffer(n + 1);
            C* d = static_cast<C*>(buffer->GetData());
            std::memcpy(d, text, n * sizeof(C));
            d[n] = 0;
            rep = buffer;
        }
    } else if (IsLocked()) {
        Data()[0] = 0;
    } else {
        rep = EmptyRep();
    }
}

template <class C, class O>
uint32_t StringT<C, O>::GetLength() const
{
    if (!IsLocked())
        return Units() - 1;
    return BoundedLength(c_str(), Units());
}

template <class C, class O>
bool StringT<C, O>::operator==(const C* text) const
{
    if (!text || !text[0])
        return IsEmpty();
    const C* mine = c_str();
    for (uint32_t i = 0;; ++i) {
        if (mine[i] != text[i])
            return false;
        if (!mine[i])
            return true;
    }
}

template <class C, class O>
bool StringT<C, O>::operator<(const StringT& other) const
{
    if (rep.Get() == other.rep.Get())
        return false;
    using Unit = std::make_unsigned_t<C>;
    std::basic_string_view<Unit> a(reinterpret_cast<const Unit*>(c_str()), GetLength());
    std::basic_string_view<Unit> b(reinterpret_cast<const Unit*>(other.c_str()), other.GetLength());
    return a < b;
}

template <class C, class O>
StringT<C, O>& StringT<C, O>::Append(const StringT& other)
{
    if (&other == this) {
        StringT copy(other);
        return Append(copy);
    }
    uint32_t m = other.GetLength();
    if (m == 0)
        return *this;
    uint32_t n = GetLength();
    bool wasLocked = IsLocked();
    if (wasLocked) {
        rep->Resize((n + m + 1) * uint32_t(sizeof(C)));
        Data()[n + m] = 0;
    } else if (rep->GetRefCount() == 1) {
        // Already private: no lock needed. Leave room for the next appends;
        // the buffer's keep bound holds it while the size stays exact.
        uint32_t needed = (n + m + 1) * uint32_t(sizeof(C));
        if (rep->GetCapacity() < needed)
            rep->Resize(needed + std::min<uint32_t>(128, needed));
        rep->Resize(needed);
    } else {
        Lock(n + m + 1);
    }
    std::memcpy(Data() + n, other.c_str(), m * sizeof(C));
    Data()[n + m] = 0;
    if (!wasLocked && IsLocked())
        UnlockKnownLength(n + m);
    return *this;
}

template <class C, class O>
TavoResult StringT<C, O>::Insert(uint32_t position, const StringT& text)
{
    uint32_t length = GetLength();
    if (position > length)
        return E_INVALIDARG;
    if (position == length)
        Append(text);
    else if (position == 0)
        *this = text + *this;
    else
        *this = Left(int32_t(position)) + text + Mid(int32_t(position));
    return S_OK;
}

template <class C, class O>
TavoResult StringT<C, O>::Insert(uint32_t position, const C* text, uint32_t count)
{
    if (position > GetLength())
        return E_INVALIDARG;
    if (count < kToEnd && BoundedLength(text, count) >= count)
        return Insert(position, StringT(text, count));
    return Insert(position, StringT(text));
}

template <class C, class O>
StringT<C, O> StringT<C, O>::Mid(int32_t start, int32_t count) const
{
    StringT result;
    int64_t length = GetLength();
    int64_t s = start;
    int64_t c = count;
    if (s < 0) {
        s += length;
        if (s < 0) {
            // The part before the text is cut off the count; a count that
            // goes negative this way reads to the end, like any negative count.
            c += s;
            s = 0;
        }
    }
    if (s >= length || c == 0)
        return result;
    if (uint32_t(uint32_t(s) + uint32_t(c)) > uint32_t(length))
        c = length - s;
    result.Assign(c_str() + s, uint32_t(c));
    return result;
}

template <class C, class O>
C* StringT<C, O>::Lock(uint32_t minChars)
{
    if (IsLocked())
        return nullptr;
    uint32_t n = minChars ? minChars : GetLength() + 1;
    uint32_t bytes = n * uint32_t(sizeof(C));
    if (!rep) {
        rep = MakeBuffer(n, true);
    } else if (rep->GetRefCount() > 1) {
        RCPtr<LIBuffer> copy = rep->CopyRange(bytes, 0);
        if (!copy) {
            if constexpr (std::is_same_v<C, char16_t>)
                throw Exception<std::runtime_error>("Runtime Error : Tavo::StringT<wchar_t,char>::Lock : "
                                                    "utilities\\Storage/StringT : Line 760");
            else
                throw Exception<std::runtime_error>("Runtime Error : Tavo::StringT<char,wchar_t>::Lock : "
                                                    "utilities\\Storage/StringT : Line 760");
        }
        rep = Concrete(copy);
    }
    rep->SetUnshareable(true);
    rep->Resize(bytes);
    Data()[n - 1] = 0;
    return Data();
}

template <class C, class O>
TavoResult StringT<C, O>::Unlock()
{
    if (!IsLocked())
        return S_FALSE;
    UnlockKnownLength(GetLength());
    return S_OK;
}

template <class C, class O>
void StringT<C, O>::UnlockKnownLength(uint32_t length)
{
    if (length == 0) {
        rep = EmptyRep();
        return;
    }
    rep->SetUnshareable(false);
    rep->Resize((length + 1) * uint32_t(sizeof(C)));
}

template <class C, class O>
TavoResult StringT<C, O>::Remove(uint32_t position, uint32_t count)
{
    uint32_t length = GetLength();
    if (uint64_t(position) + count > length)
        return E_INVALIDARG;
    if (count == 0)
        return S_OK;
    *this = Left(int32_t(position)) + Mid(int32_t(position + count));
    return S_OK;
}

template <class C, class O>
int32_t StringT<C, O>::Find(const StringT& text, int32_t start) const
{
    std::basic_string_view<C> view(c_str(), GetLength());
    if (start < 0)
        start = 0;
    if (uint32_t(start) > view.size())
        return -1;
    size_t at = view.find(std::basic_string_view<C>(text.c_str(), text.GetLength()), size_t(start));
    return at == view.npos ? -1 : int32_t(at);
}

template <class C, class O>
int32_t StringT<C, O>::Find(C ch, int32_t start) const
{
    std::basic_string_view<C> view(c_str(), GetLength());
    if (start < 0)
        start = 0;
    size_t at = view.find(ch, size_t(start));
    return at == view.npos ? -1 : int32_t(at);
}

template <class C, class O>
int32_t StringT<C, O>::ReverseFind(C ch) const
{
    std::basic_string_view<C> view(c_str(), GetLength());
    size_t at = view.rfind(ch);
    return at == view.npos ? -1 : int32_t(at);
}

template <class C, class O>
int32_t StringT<C, O>::ReverseFind(const StringT& text) const
{
    std::basic_string_view<C> view(c_str(), GetLength());
    size_t at = view.rfind(std::basic_string_view<C>(text.c_str(), text.GetLength()));
    return at == view.npos ? -1 : int32_t(at);
}

namespace Detail {
bool IsTrimmed(char16_t ch);
char16_t ToLowerUnit(char16_t ch);
char16_t ToUpperUnit(char16_t ch);
char ToLowerUnit(char ch);
char ToUpperUnit(char ch);
int32_t ParseInt(const char16_t* text);
int32_t ParseInt(const char* text);
double ParseDouble(const char16_t* text);
double ParseDouble(const char* text);
}  // namespace Detail

template <class C, class O>
template <class Map>
StringT<C, O> StringT<C, O>::MapUnits(Map map) const
{
    uint32_t n = GetLength();
    if (n == 0)
        return StringT();
    StringT result;
    result.rep = MakeBuffer(n + 1);
    for (uint32_t i = 0; i < n; ++i)
        result.Data()[i] = map(c_str()[i]);
    result.Data()[n] = 0;
    return result;
}

template <class C, class O>
StringT<C, O> StringT<C, O>::ToLower() const
{
    return MapUnits([](C unit) { return Detail::ToLowerUnit(unit); });
}

template <class C, class O>
StringT<C, O> StringT<C, O>::ToUpper() const
{
    return MapUnits([](C unit) { return Detail::ToUpperUnit(unit); });
}

template <class C, class O>
StringT<C, O>& StringT<C, O>::TrimLeft()
{
    uint32_t n = GetLength();
    uint32_t i = 0;
    while (i < n && Detail::IsTrimmed(char16_t(c_str()[i])))
        ++i;
    if (i > 0)
        *this = Mid(int32_t(i));
    return *this;
}

template <class C, class O>
StringT<C, O>& StringT<C, O>::TrimRight()
{
    uint32_t n = GetLength();
    uint32_t end = n;
    while (end > 0 && Detail::IsTrimmed(char16_t(c_str()[end - 1])))
        --end;
    if (end < n)
        *this = Left(int32_t(end));
    return *this;
}

template <class C, class O>
int32_t StringT<C, O>::Replace(C from, C to)
{
    if (from == to || Find(from) < 0)
        return 0;
    bool wasLocked = IsLocked();
    uint32_t n = GetLength();
    if (!wasLocked)
        Lock(n + 1);
    int32_t replaced = 0;
    C* d = Data();
    for (uint32_t i = 0; i < n; ++i)
        if (d[i] == from) {
            d[i] = to;
            ++replaced;
        }
    if (!wasLocked)
        Unlock();
    return replaced;
}

template <class C, class O>
int32_t StringT<C, O>::ToInt() const
{
    return Detail::ParseInt(c_str());
}

template <class C, class O>
double StringT<C, O>::ToDouble() const
{
    return Detail::ParseDouble(c_str());
}

extern template class StringT<char16_t, char>;
extern template class StringT<char, char16_t>;

// The program-wide empty text, for callers that hand out a reference; it holds
// the buffer every empty string shares. Made on first use, never destroyed.
inline const WString& EmptyString()
{
    static const auto* empty = new WString;
    return *empty;
}

// The runtime library's names for the conversions.
inline int32_t _wtoi(const char16_t* text)
{
    return text ? Detail::ParseInt(text) : 0;
}
inline double _wtof(const char16_t* text)
{
    return text ? Detail::ParseDouble(text) : 0.0;
}

}  // namespace Tavo

#include "Utilities/Storage/Format.h"
