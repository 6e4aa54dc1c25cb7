#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Tavo::Platform::App::Ini {

// A key: an optional value and ordered child keys. A key exists while it
// has a value or a descendant with one.
struct Node
{
    std::string name;
    std::optional<std::string> value;
    std::vector<std::unique_ptr<Node>> children;

    Node* Child(std::string_view childName) const;
    Node& EnsureChild(std::string_view childName);
    bool Exists() const;
};

// The settings text: an optional preamble of "@version=" and "@product="
// lines and top-level "key=value" lines, then "[section]" blocks whose lines
// are "relative/key/path=value". Spaces around keys and values are layout;
// values escape "\\", newline, return, tab and a space at either end.
class Document
{
public:
    // Lines that do not parse are skipped, so a hand-edited file still loads.
    void Parse(std::string_view text);
    std::string Serialize() const;

    // Splits a "/"-separated path into valid names; false for a bad path.
    // The empty path is the root.
    static bool SplitPath(std::string_view path, std::vector<std::string>& names);

    // Null when the key is missing.
    Node* Find(const std::vector<std::string>& names);
    Node& Ensure(const std::vector<std::string>& names);
    // Removes keys that no longer hold any value.
    void Prune();

    Node& Root() { return mRoot; }

    std::string version;
    std::string product;

private:
    Node mRoot;
};

}  // namespace Tavo::Platform::App::Ini
