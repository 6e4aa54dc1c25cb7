#include "Platform/App/IniFileManager/IniDocument.h"

#include <functional>

namespace Tavo::Platform::App::Ini {

namespace {

bool ValidName(std::string_view name)
{
    if (name.empty() || name.front() == ' ' || name.back() == ' ')
        return false;
    if (name.front() == ';' || name.front() == '#' || name.front() == '@')
        return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '=' || c == '[' || c == ']' || c == '/' || c == '\\')
            return false;
    }
    return true;
}

std::string Escape(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        // Spaces at either end would be taken for layout when read back.
        if (c == ' ' && (i == 0 || i + 1 == value.size())) {
            out += "\\s";
            continue;
        }
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
            break;
        }
    }
    return out;
}

std::string Unescape(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 's':
            out += ' ';
            break;
        default:
            out += value[i];
            break;
        }
    }
    return out;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

void WriteTree(const Node& node, const std::string& prefix, std::string& out)
{
    for (const auto& child : node.children) {
        const std::string path = prefix.empty() ? child->name : prefix + "/" + child->name;
        if (child->value)
            out += path + "=" + Escape(*child->value) + "\n";
        WriteTree(*child, path, out);
    }
}

}  // namespace

Node* Node::Child(std::string_view childName) const
{
    for (const auto& child : children) {
        if (child->name == childName)
            return child.get();
    }
    return nullptr;
}

Node& Node::EnsureChild(std::string_view childName)
{
    if (Node* found = Child(childName))
        return *found;
    children.push_back(std::make_unique<Node>());
    children.back()->name = std::string(childName);
    return *children.back();
}

bool Node::Exists() const
{
    if (value)
        return true;
    for (const auto& child : children) {
        if (child->Exists())
            return true;
    }
    return false;
}

bool Document::SplitPath(std::string_view path, std::vector<std::string>& names)
{
    names.clear();
    if (path.empty())
        return true;
    size_t start = 0;
    for (;;) {
        const size_t slash = path.find('/', start);
        const std::string_view name =
            path.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (!ValidName(name))
            return false;
        names.emplace_back(name);
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

Node* Document::Find(const std::vector<std::string>& names)
{
    Node* node = &mRoot;
    for (const auto& name : names) {
        node = node->Child(name);
        if (!node)
            return nullptr;
    }
    return node;
}

Node& Document::Ensure(const std::vector<std::string>& names)
{
    Node* node = &mRoot;
    for (const auto& name : names)
        node = &node->EnsureChild(name);
    return *node;
}

void Document::Prune()
{
    std::function<void(Node&)> prune = [&](Node& node) {
        for (auto& child : node.children)
            prune(*child);
        std::erase_if(node.children, [](const std::unique_ptr<Node>& c) { return !c->Exists(); });
    };
    prune(mRoot);
}

void Document::Parse(std::string_view text)
{
    mRoot.children.clear();
    std::vector<std::string> section;
    bool inPreamble = true;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#')
            continue;
        if (trimmed.front() == '[') {
            if (trimmed.back() != ']' || !SplitPath(Trim(trimmed.substr(1, trimmed.size() - 2)), section))
                section.clear();  // a broken header must not merge its lines into the previous block
            inPreamble = false;
            if (section.empty())
                section.push_back("");  // lines under a broken header are skipped
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string value = Unescape(Trim(line.substr(eq + 1)));
        if (inPreamble && key == "@version") {
            version = value;
            continue;
        }
        if (inPreamble && key == "@product") {
            product = value;
            continue;
        }
        if (!section.empty() && section.front().empty())
            continue;
        std::vector<std::string> names;
        if (!SplitPath(key, names) || names.empty())
            continue;
        names.insert(names.begin(), section.begin(), section.end());
        Ensure(names).value = value;
    }
}

std::string Document::Serialize() const
{
    std::string out = "; settings\n";
    out += "@version=" + Escape(version) + "\n";
    out += "@product=" + Escape(product) + "\n";
    for (const auto& top : mRoot.children) {
        if (top->value)
            out += top->name + "=" + Escape(*top->value) + "\n";
    }
    for (const auto& top : mRoot.children) {
        if (top->children.empty() || !top->Exists())
            continue;
        out += "\n[" + top->name + "]\n";
        WriteTree(*top, "", out);
    }
    return out;
}

}  // namespace Tavo::Platform::App::Ini
