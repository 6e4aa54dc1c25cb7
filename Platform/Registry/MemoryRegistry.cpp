#include <map>
#include <mutex>

#include "Platform/Registry/Registry.h"
#include "Platform/Registry/RegistryNames.h"

namespace Tavo::Platform::Registry {
namespace {

struct Node
{
    std::u16string name;
    bool deleted = false;
    // Keyed by folded name, which also gives the sorted enumeration.
    std::map<std::u16string, std::shared_ptr<Node>> children;
    std::map<std::u16string, std::pair<std::u16string, Value>> values;
    std::vector<std::shared_ptr<KernelEvent>> watchers;

    void Fire()
    {
        for (auto& event : watchers)
            event->Set();
        watchers.clear();
    }

    void MarkDeleted()
    {
        deleted = true;
        Fire();
        for (auto& [folded, child] : children)
            child->MarkDeleted();
    }
};

struct Tree
{
    std::mutex mutex;
    std::shared_ptr<Node> root = std::make_shared<Node>();

    // Under the lock. Null when a component is missing.
    std::shared_ptr<Node> Find(std::shared_ptr<Node> from, const std::vector<std::u16string>& parts) const
    {
        for (const auto& part : parts) {
            auto it = from->children.find(Names::Fold(part));
            if (it == from->children.end())
                return nullptr;
            from = it->second;
        }
        return from;
    }
};

class MemoryKey final : public Key
{
public:
    MemoryKey(std::shared_ptr<Tree> store, std::shared_ptr<Node> node)
        : mTree(std::move(store)), mNode(std::move(node))
    {
    }

    Status OpenSubKey(std::u16string_view path, std::unique_ptr<Key>& out) const override
    {
        std::vector<std::u16string> parts;
        if (!Names::SplitPath(path, parts))
            return Status::InvalidName;
        std::lock_guard<std::mutex> lock(mTree->mutex);
        if (mNode->deleted)
            return Status::NotFound;
        auto node = mTree->Find(mNode, parts);
        if (!node)
            return Status::NotFound;
        out = std::make_unique<MemoryKey>(mTree, node);
        return Status::Ok;
    }

    Status EnumerateSubKeys(std::vector<std::u16string>& names) const override
    {
        names.clear();
        std::lock_guard<std::mutex> lock(mTree->mutex);
        if (mNode->deleted)
            return Status::NotFound;
        for (const auto& [folded, child] : mNode->children)
            names.push_back(child->name);
        return Status::Ok;
    }

    Status QueryValue(std::u16string_view name, Value& out, size_t maxBytes) const override
    {
        out = Value();
        std::lock_guard<std::mutex> lock(mTree->mutex);
        if (mNode->deleted)
            return Status::NotFound;
        auto it = mNode->values.find(Names::Fold(name));
        if (it == mNode->values.end())
            return Status::NotFound;
        if (it->second.second.data.size() > maxBytes)
            return Status::MoreData;
        out = it->second.second;
        return Status::Ok;
    }

    Status NotifyChange(std::shared_ptr<KernelEvent> event) const override
    {
        std::lock_guard<std::mutex> lock(mTree->mutex);
        if (mNode->deleted)
            return Status::NotFound;
        mNode->watchers.push_back(std::move(event));
        return Status::Ok;
    }

private:
    std::shared_ptr<Tree> mTree;
    std::shared_ptr<Node> mNode;
};

class MemoryRegistry final : public Store
{
public:
    Status OpenKey(std::u16string_view path, std::unique_ptr<Key>& out) const override
    {
        MemoryKey root(mTree, mTree->root);
        return root.OpenSubKey(path, out);
    }

    Status CreateKey(std::u16string_view path) override
    {
        std::vector<std::u16string> parts;
        if (!Names::SplitPath(path, parts))
            return Status::InvalidName;
        std::lock_guard<std::mutex> lock(mTree->mutex);
        auto node = mTree->root;
        for (const auto& part : parts) {
            auto& child = node->children[Names::Fold(part)];
            if (!child) {
                child = std::make_shared<Node>();
                child->name = part;
                node->Fire();
            }
            node = child;
        }
        return Status::Ok;
    }

    Status SetValue(std::u16string_view keyPath, std::u16string_view name, const Value& value) override
    {
        return WithKey(keyPath, [&](Node& node) {
            auto& entry = node.values[Names::Fold(name)];
            if (entry.first.empty())
                entry.first = name;
            entry.second = value;
            node.Fire();
            return Status::Ok;
        });
    }

    Status DeleteValue(std::u16string_view keyPath, std::u16string_view name) override
    {
        return WithKey(keyPath, [&](Node& node) {
            if (node.values.erase(Names::Fold(name)) == 0)
                return Status::NotFound;
            node.Fire();
            return Status::Ok;
        });
    }

    Status DeleteKey(std::u16string_view path) override
    {
        std::vector<std::u16string> parts;
        if (!Names::SplitPath(path, parts) || parts.empty())
            return Status::InvalidName;
        std::u16string last = parts.back();
        parts.pop_back();
        std::lock_guard<std::mutex> lock(mTree->mutex);
        auto parent = mTree->Find(mTree->root, parts);
        if (!parent)
            return Status::NotFound;
        auto it = parent->children.find(Names::Fold(last));
        if (it == parent->children.end())
            return Status::NotFound;
        it->second->MarkDeleted();
        parent->children.erase(it);
        parent->Fire();
        return Status::Ok;
    }

private:
    template <typename F>
    Status WithKey(std::u16string_view keyPath, F&& f)
    {
        std::vector<std::u16string> parts;
        if (!Names::SplitPath(keyPath, parts))
            return Status::InvalidName;
        std::lock_guard<std::mutex> lock(mTree->mutex);
        auto node = mTree->Find(mTree->root, parts);
        if (!node)
            return Status::NotFound;
        return f(*node);
    }

    std::shared_ptr<Tree> mTree = std::make_shared<Tree>();
};

}  // namespace

std::shared_ptr<Store> CreateMemoryRegistry()
{
    return std::make_shared<MemoryRegistry>();
}

}  // namespace Tavo::Platform::Registry
