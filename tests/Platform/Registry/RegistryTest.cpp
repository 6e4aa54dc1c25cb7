#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "Platform/Registry/Registry.h"
#include "tests/Common/RunShell.h"
#include "tests/Common/TestScope.h"

using namespace Tavo::Platform;
using namespace Tavo::Platform::Registry;

namespace {

// Only ever waited out when something is broken; a loaded sanitizer run is slow.
constexpr int32_t kWaitMs = 30000;
using Names = std::vector<std::u16string>;

class RegistryTest : public ::testing::TestWithParam<bool>
{
protected:
    std::unique_ptr<Key> Open(std::u16string_view path)
    {
        std::unique_ptr<Key> key;
        EXPECT_EQ(mRegistry->OpenKey(path, key), Status::Ok);
        return key;
    }
    Names Subkeys(std::u16string_view path)
    {
        Names names;
        auto key = Open(path);
        EXPECT_TRUE(key && key->EnumerateSubKeys(names) == Status::Ok);
        return names;
    }
    void Create(std::u16string_view path) { ASSERT_EQ(mRegistry->CreateKey(path), Status::Ok); }
    void Set(auto p, auto n, const Value& v) { ASSERT_EQ(mRegistry->SetValue(p, n, v), Status::Ok); }
    static bool Fired(const std::shared_ptr<KernelEvent>& e) { return e->Wait(kWaitMs) == WAIT_OBJECT_0; }
    static std::shared_ptr<KernelEvent> Arm(const Key& key)
    {
        auto event = std::make_shared<KernelEvent>(true);
        EXPECT_EQ(key.NotifyChange(event), Status::Ok);
        return event;
    }

    TestFolder mFolder;  // outlives the store
    std::shared_ptr<Store> mRegistry =
        GetParam() ? CreateDirectoryRegistry(mFolder / "registry") : CreateMemoryRegistry();
};

TEST_P(RegistryTest, NamesMatchCaseInsensitivelyAndKeepTheirCase)
{
    Create(u"Software\\Calvio/Audio");
    Create(u"SOFTWARE\\calvio\\Audio\\Drivers");
    Set(u"software/CALVIO/audio/drivers", u"LastPath", Value::String(u"/run/x"));
    Set(u"Software\\Calvio\\Audio\\Drivers", u"LASTPATH", Value::String(u"/run/y"));
    EXPECT_EQ(Subkeys(u""), Names{u"Software"});
    EXPECT_EQ(Subkeys(u"software"), Names{u"Calvio"});

    Value v;
    ASSERT_EQ(Open(u"\\SOFTWARE\\CALVIO\\AUDIO\\DRIVERS\\")->QueryValue(u"lastpath", v), Status::Ok);
    EXPECT_EQ(v.AsString(), u"/run/y");

    std::unique_ptr<Key> missing;
    EXPECT_EQ(mRegistry->OpenKey(u"Software\\Other", missing), Status::NotFound);
    EXPECT_EQ(mRegistry->OpenKey(u"Software\\\\Calvio", missing), Status::InvalidName);
    EXPECT_EQ(mRegistry->SetValue(u"Software\\Other", u"x", Value::Dword(1)), Status::NotFound);

    for (auto name : {u"b", u"DECAFBAD", u"A", u"a1", u"C", u"%odd/", u".hidden"})
        Create(std::u16string(u"Root\\") + name);
    // Sorted ignoring case; "/" separates path components, so "%odd/" is the key "%odd".
    EXPECT_EQ(Subkeys(u"Root"), (Names{u"%odd", u".hidden", u"A", u"a1", u"b", u"C", u"DECAFBAD"}));
}

TEST_P(RegistryTest, ValuesKeepTypeAndBytes)
{
    Create(u"K");
    const char16_t sz[] = u"\\\\?\\usb#\u00e9";
    // Names match ignoring case; a dword is stored little-endian; a string keeps its terminator.
    const struct
    {
        const char16_t *name, *readAs;
        Value value;
        std::vector<uint8_t> stored;
    } cases[] = {
        {u"", u"", Value::Binary({0, 0, 1}), {0, 0, 1}},
        {u"n", u"N", Value::Dword(0x12345678), {0x78, 0x56, 0x34, 0x12}},
        {u".odd/%name", u".ODD/%NAME", Value::Binary({}), {}},
        {u"LastPath", u"lastpath", Value::String(sz), {(const uint8_t*)sz, (const uint8_t*)std::end(sz)}},
        {u"multi", u"MULTI", Value{7, {'a', 0, 0, 0}}, {'a', 0, 0, 0}}};
    for (const auto& c : cases)
        Set(u"K", c.name, c.value);
    auto key = Open(u"k");
    ASSERT_TRUE(key);
    Value v;
    for (const auto& c : cases) {
        ASSERT_EQ(key->QueryValue(c.readAs, v), Status::Ok);
        EXPECT_EQ(v.type, c.value.type);
        EXPECT_EQ(v.data, c.stored);
    }
    // A reader limit below the value's size is reported, not truncated.
    EXPECT_EQ(key->QueryValue(u"", v, 2), Status::MoreData);
    EXPECT_TRUE(v.data.empty());
    EXPECT_EQ(key->QueryValue(u"", v, 3), Status::Ok);
    EXPECT_EQ(key->QueryValue(u"absent", v), Status::NotFound);
    std::unique_ptr<Key> sub;
    EXPECT_EQ(key->OpenSubKey(u"n", sub), Status::NotFound);  // values are not subkeys
}

TEST_P(RegistryTest, DeletingRemovesSubtreeAndInvalidatesOpenKeys)
{
    Create(u"A\\B\\C");
    Set(u"A\\B", u"v", Value::Dword(1));
    auto b = Open(u"A\\B");
    ASSERT_TRUE(b);
    EXPECT_EQ(mRegistry->DeleteValue(u"A\\B", u"V"), Status::Ok);
    EXPECT_EQ(mRegistry->DeleteValue(u"A\\B", u"V"), Status::NotFound);
    EXPECT_EQ(mRegistry->DeleteKey(u"a\\b"), Status::Ok);
    EXPECT_EQ(mRegistry->DeleteKey(u"a\\b"), Status::NotFound);
    EXPECT_TRUE(Subkeys(u"A").empty());

    Value v;
    Names names;
    std::unique_ptr<Key> sub;
    EXPECT_EQ(b->QueryValue(u"v", v), Status::NotFound);
    EXPECT_EQ(b->EnumerateSubKeys(names), Status::NotFound);
    EXPECT_EQ(b->OpenSubKey(u"C", sub), Status::NotFound);
    EXPECT_EQ(b->NotifyChange(std::make_shared<KernelEvent>(true)), Status::NotFound);
    EXPECT_EQ(mRegistry->DeleteKey(u""), Status::InvalidName);
}

TEST_P(RegistryTest, NotificationFiresOncePerArmForNamesAndValuesButNotTheSubtree)
{
    Create(u"P\\Child");
    auto parent = Open(u"P");
    auto child = Open(u"P\\Child");
    auto onParent = Arm(*parent);
    auto first = Arm(*child);
    Set(u"P\\Child", u"", Value::Binary({1}));
    ASSERT_TRUE(Fired(first));
    first->Reset();

    // Not re-armed: this change must not reach `first`. Changes reach the
    // waiters in order, so once `second` has woken, `first` would have too.
    Set(u"P\\Child", u"", Value::Binary({0}));
    auto second = Arm(*child);
    ASSERT_EQ(mRegistry->DeleteValue(u"P\\Child", u""), Status::Ok);
    ASSERT_TRUE(Fired(second));
    EXPECT_FALSE(first->IsSet());

    auto third = Arm(*child);
    Create(u"P\\Child\\Grandchild");
    ASSERT_TRUE(Fired(third));
    EXPECT_FALSE(onParent->IsSet());

    // A new subkey, a removed subkey and the removal of the key itself all count.
    Create(u"P\\Sibling");
    ASSERT_TRUE(Fired(onParent));
    onParent = Arm(*parent);
    auto fourth = Arm(*child);
    ASSERT_EQ(mRegistry->DeleteKey(u"P\\Child"), Status::Ok);
    EXPECT_TRUE(Fired(onParent));
    EXPECT_TRUE(Fired(fourth));
}

TEST_P(RegistryTest, WriterOnAnotherThreadWakesAWaiter)
{
    Create(u"Inst\\Attached");
    auto attached = Open(u"Inst\\Attached");
    auto wake = std::make_shared<KernelEvent>(true);
    std::vector<uint8_t> seen;
    // A watcher that arms before it reads never misses the last change.
    std::thread watcher([&] {
        for (Value v;; wake->Wait(INFINITE)) {
            wake->Reset();
            if (attached->NotifyChange(wake) != Status::Ok)
                return;
            if (attached->QueryValue(u"", v, 32) == Status::Ok && !v.data.empty())
                seen.push_back(v.data.back());
            if (!seen.empty() && seen.back() == 3)
                return;
        }
    });
    std::thread writer([&] {
        for (uint8_t i = 1; i <= 3; ++i)
            EXPECT_EQ(mRegistry->SetValue(u"Inst\\Attached", u"", Value::Binary({0, i})), Status::Ok);
    });
    writer.join();
    watcher.join();
    EXPECT_TRUE(!seen.empty() && seen.back() == 3 && std::is_sorted(seen.begin(), seen.end()));
}

TEST_P(RegistryTest, ChangesByAnotherProcessWakeWaiterAndReadBack)
{
    if (!GetParam())
        GTEST_SKIP() << "directory registry only";
    Create(u"Drivers\\Instances");
    auto instances = Open(u"Drivers\\Instances");
    auto event = Arm(*instances);
    std::string dir = mFolder / "registry/Drivers/Instances";
    ASSERT_EQ(RunShell("mkdir '" + dir + "/ABCDEF'"), 0);
    ASSERT_TRUE(Fired(event));
    EXPECT_EQ(Subkeys(u"drivers\\instances"), Names{u"ABCDEF"});

    auto key = Open(u"Drivers\\Instances\\abcdef");
    auto onValue = Arm(*key);
    // Written in place (no rename): the wake-up comes when the file is closed.
    ASSERT_EQ(RunShell("printf 'REG_DWORD\\n\\001\\002\\000\\000' > '" + dir + "/ABCDEF/@Count'"), 0);
    ASSERT_TRUE(Fired(onValue));
    Value v;
    ASSERT_EQ(key->QueryValue(u"count", v), Status::Ok);
    EXPECT_EQ(std::pair(v.type, v.data), std::pair(uint32_t(kRegDword), std::vector<uint8_t>{1, 2, 0, 0}));
    // A file without a type line is not a readable value.
    ASSERT_EQ(RunShell("printf 'garbage' > '" + dir + "/ABCDEF/@Bad'"), 0);
    EXPECT_EQ(key->QueryValue(u"bad", v), Status::IoError);
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryTest, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Directory" : "Memory"); });

}  // namespace
