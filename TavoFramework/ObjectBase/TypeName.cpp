#include "ObjectBase/TypeName.h"

#include <cxxabi.h>

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace Tavo {
namespace {

struct KeywordRegistry
{
    std::mutex lock;
    std::unordered_map<std::string, TypeKeyword> keywords;
};

KeywordRegistry& Registry()
{
    static auto* registry = new KeywordRegistry;
    return *registry;
}

TypeKeyword LookUpKeyword(const std::string& qualified)
{
    auto& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.keywords.find(qualified);
    return it == r.keywords.end() ? TypeKeyword::Class : it->second;
}

const char* KeywordText(TypeKeyword k)
{
    switch (k) {
    case TypeKeyword::Struct:
        return "struct ";
    case TypeKeyword::Enum:
        return "enum ";
    case TypeKeyword::Union:
        return "union ";
    case TypeKeyword::Class:
        break;
    }
    return "class ";
}

bool IsFundamentalWord(std::string_view w)
{
    static constexpr std::string_view kWords[] = {"void",    "bool",    "char",     "signed",   "unsigned",
                                                  "short",   "int",     "long",     "float",    "double",
                                                  "wchar_t", "char8_t", "char16_t", "char32_t", "__int128"};
    for (auto k : kWords)
        if (w == k)
            return true;
    return false;
}

bool IsIdentChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// Recursive descent over the compiler's spelling; unknown shapes are copied.
class Decorator
{
public:
    explicit Decorator(std::string_view s) : mText(s) {}

    std::string Run()
    {
        std::string out;
        while (mPos < mText.size()) {
            size_t before = mPos;
            out += Entity();
            if (mPos == before)
                out += mText[mPos++];
        }
        return out;
    }

private:
    void SkipSpaces()
    {
        while (mPos < mText.size() && mText[mPos] == ' ')
            ++mPos;
    }

    bool At(std::string_view word) const { return mText.substr(mPos, word.size()) == word; }

    std::string Identifier()
    {
        size_t start = mPos;
        while (mPos < mText.size() && IsIdentChar(mText[mPos]))
            ++mPos;
        return std::string(mText.substr(start, mPos - start));
    }

    // A non-type template argument: copied up to the next ',' or '>' at depth 0.
    std::string Value()
    {
        size_t start = mPos;
        int depth = 0;
        while (mPos < mText.size()) {
            char c = mText[mPos];
            if (depth == 0 && (c == ',' || c == '>'))
                break;
            if (c == '(' || c == '<')
                ++depth;
            else if ((c == ')' || c == '>') && depth > 0)
                --depth;
            ++mPos;
        }
        std::string v(mText.substr(start, mPos - start));
        while (!v.empty() && v.back() == ' ')
            v.pop_back();
        if (!v.empty() && v[0] == '&')
            v.erase(0, 1);
        // Integer suffixes such as 1u or 8ul are not part of the spelling.
        size_t end = v.size();
        while (end > 0 && (v[end - 1] == 'u' || v[end - 1] == 'l' || v[end - 1] == 'U' || v[end - 1] == 'L'))
            --end;
        if (end < v.size() && end > 0 && std::isdigit(static_cast<unsigned char>(v[end - 1]))) {
            bool numeric = true;
            for (size_t k = (v[0] == '-' ? 1 : 0); k < end; ++k)
                numeric = numeric && std::isdigit(static_cast<unsigned char>(v[k]));
            if (numeric)
                v.resize(end);
        }
        return v;
    }

    std::string Entity()
    {
        SkipSpaces();
        if (mPos >= mText.size())
            return {};
        char c = mText[mPos];
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '&' ||
            (c == '(' && !At("(anonymous namespace)")))
            return Value();
        if ((At("true") || At("false"))) {
            size_t save = mPos;
            std::string w = Identifier();
            if (w == "true" || w == "false")
                return w;
            mPos = save;
        }

        std::string out;
        bool leadingConst = false;
        if (At("const ")) {
            leadingConst = true;
            mPos += 6;
        }

        size_t nameStart = mPos;
        std::string decorated;
        bool fundamental = false;
        for (;;) {
            if (At("(anonymous namespace)")) {
                decorated += "(anonymous namespace)";
                mPos += 21;
            } else {
                std::string word = Identifier();
                if (word.empty())
                    break;
                if (decorated.empty() && IsFundamentalWord(word)) {
                    fundamental = true;
                    decorated = word;
                    for (;;) {
                        size_t save = mPos;
                        SkipSpaces();
                        std::string next = Identifier();
                        if (!next.empty() && IsFundamentalWord(next)) {
                            decorated += ' ';
                            decorated += next;
                        } else {
                            mPos = save;
                            break;
                        }
                    }
                    if (decorated == "char16_t")
                        decorated = "wchar_t";
                    break;
                }
                decorated += word;
            }
            if (mPos < mText.size() && mText[mPos] == '<') {
                ++mPos;
                decorated += '<';
                bool first = true;
                while (mPos < mText.size()) {
                    if (!first)
                        decorated += ',';
                    first = false;
                    size_t before = mPos;
                    decorated += Entity();
                    SkipSpaces();
                    if (mPos < mText.size() && mText[mPos] == ',') {
                        ++mPos;
                        continue;
                    }
                    if (mPos < mText.size() && mText[mPos] == '>') {
                        ++mPos;
                        break;
                    }
                    if (mPos == before && mPos < mText.size())
                        decorated += mText[mPos++];
                }
                decorated += '>';
            }
            if (At("::")) {
                decorated += "::";
                mPos += 2;
                continue;
            }
            break;
        }
        if (decorated.empty())
            return {};

        if (!fundamental) {
            std::string raw(mText.substr(nameStart, mPos - nameStart));
            out = KeywordText(LookUpKeyword(raw));
        }
        out += decorated;
        if (leadingConst)
            out += " const";
        for (;;) {
            size_t save = mPos;
            SkipSpaces();
            if (At("const") && (mPos + 5 >= mText.size() || !IsIdentChar(mText[mPos + 5]))) {
                out += " const";
                mPos += 5;
            } else if (mPos < mText.size() && (mText[mPos] == '*' || mText[mPos] == '&')) {
                out += ' ';
                out += mText[mPos++];
            } else {
                mPos = save;
                break;
            }
        }
        return out;
    }

    std::string_view mText;
    size_t mPos = 0;
};

}  // namespace

void DeclareTypeKeyword(const std::type_info& type, TypeKeyword keyword)
{
    std::string name = QualifiedTypeName(type);
    auto& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.keywords[name] = keyword;
}

std::string QualifiedTypeName(const std::type_info& type)
{
    int status = 0;
    char* text = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = (status == 0 && text) ? text : type.name();
    std::free(text);
    return name;
}

std::string DecorateTypeName(std::string_view qualified)
{
    return Decorator(qualified).Run();
}

std::string RuntimeTypeName(const std::type_info& type)
{
    return DecorateTypeName(QualifiedTypeName(type));
}

}  // namespace Tavo
