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

struct Backend
{
    const char* name;
    bool onDisk;
};

void PrintTo(const Backend& backend, std::ostream* os)
{
    *os << backend.name;
}

class RegistryTest : public ::testing::TestWithParam<Backend>
{
protected:
    void SetUp() override
    {
        mRegistry =
            GetParam().onDisk ? CreateDirectoryRegistry(mFolder / "registry") : CreateMemoryRegistry();
    }

    void TearDown() override { mRegistry.reset(); }

    std::unique_ptr<Key> Open(std::u16string_view path)
    {
        std::unique_ptr<Key> key;
        EXPECT_EQ(mRegistry->OpenKey(path, key), Status::Ok);
        return key;
    }

    std::vector<std::u16string> Subkeys(std::u16string_view path)
    {
        std::vector<std::u16string> names;
        auto key = Open(path);
        if (key) {
            EXPECT_EQ(key->EnumerateSubKeys(names), Status::Ok);
        }
        return names;
    }

    std::shared_ptr<Store> mRegistry;
    TestFolder mFolder;
};

TEST_P(RegistryTest, NamesMatchCaseInsensitivelyAndKeepTheirCase)
{
    ASSERT_EQ(mRegistry->CreateKey(u"Software\\Calvio/Audio"), Status::Ok);
    ASSERT_EQ(mRegistry->CreateKey(u"SOFTWARE\\calvio\\Audio\\Drivers"), Status::Ok);
    ASSERT_EQ(mRegistry->SetValue(u"software/CALVIO/audio/drivers", u"LastPath", Value::String(u"/run/x")),
              Status::Ok);
    ASSERT_EQ(mRegistry->SetValue(u"Software\\Calvio\\Audio\\Drivers", u"LASTPATH", Value::String(u"/run/y")),
              Status::Ok);

    EXPECT_EQ(Subkeys(u""), std::vector<std::u16string>{u"Software"});
    EXPECT_EQ(Subkeys(u"software"), std::vector<std::u16string>{u"Calvio"});

    auto key = Open(u"\\SOFTWARE\\CALVIO\\AUDIO\\DRIVERS\\");
    ASSERT_TRUE(key);
    Value v;
    ASSERT_EQ(key->QueryValue(u"lastpath", v), Status::Ok);
    EXPECT_EQ(v.AsString(), u"/run/y");

    std::unique_ptr<Key> missing;
    EXPECT_EQ(mRegistry->OpenKey(u"Software\\Other", missing), Status::NotFound);
    EXPECT_EQ(mRegistry->OpenKey(u"Software\\\\Calvio", missing), Status::InvalidName);
    EXPECT_EQ(mRegistry->SetValue(u"Software\\Other", u"x", Value::Dword(1)), Status::NotFound);
}

TEST_P(RegistryTest, EnumerationIsSortedIgnoringCase)
{
    for (auto name : {u"b", u"DECAFBAD", u"A", u"a1", u"C", u"%odd/", u".hidden"})
        ASSERT_EQ(mRegistry->CreateKey(std::u16string(u"Root\\") + name), Status::Ok) << int(name[0]);
    // "/" separates path components, so "%odd/" is the key "%odd".
    std::vector<std::u16string> expected{u"%odd", u".hidden", u"A", u"a1", u"b", u"C", u"DECAFBAD"};
    EXPECT_EQ(Subkeys(u"Root"), expected);
    EXPECT_EQ(Subkeys(u"Root"), expected);
}

TEST_P(RegistryTest, ValuesKeepTypeAndBytes)
{
    ASSERT_EQ(mRegistry->CreateKey(u"K"), Status::Ok);
    ASSERT_EQ(mRegistry->SetValue(u"K", u"", Value::Binary({0, 0, 1})), Status::Ok);
    ASSERT_EQ(mRegistry->SetValue(u"K", u"LastPath", Value::String(u"\\\\?\\usb#\u00e9")), Status::Ok);
    ASSERT_EQ(mRegistry->SetValue(u"K", u"n", Value::Dword(0x12345678)), Status::Ok);
    ASSERT_EQ(mRegistry->SetValue(u"K", u".odd/%name", Value::Binary({})), Status::Ok);
    Value custom;
    custom.type = 7;
    custom.data = {'a', 0, 0, 0};
    ASSERT_EQ(mRegistry->SetValue(u"K", u"multi", custom), Status::Ok);

    auto key = Open(u"k");
    ASSERT_TRUE(key);
    // Names match ignoring case; a dword is stored little-endian; other types pass through.
    const struct
    {
        const char16_t* name;
        uint32_t type;
        std::vector<uint8_t> data;
    } expected[] = {{u"", kRegBinary, {0, 0, 1}},
                    {u"N", kRegDword, {0x78, 0x56, 0x34, 0x12}},
                    {u".ODD/%NAME", kRegBinary, {}},
                    {u"multi", 7u, custom.data}};
    Value v;
    for (const auto& e : expected) {
        ASSERT_EQ(key->QueryValue(e.name, v), Status::Ok);
        EXPECT_EQ(v.type, e.type);
        EXPECT_EQ(v.data, e.data);
    }
    ASSERT_EQ(key->QueryValue(u"lastpath", v), Status::Ok);
    EXPECT_EQ(v.type, kRegSz);
    std::u16string text = u"\\\\?\\usb#\u00e9";
    EXPECT_EQ(v.data.size(), (text.size() + 1) * 2);
    EXPECT_EQ(v.data.back(), 0);
    EXPECT_EQ(v.AsString(), text);

    // A reader limit below the value's size is reported, not truncated.
    EXPECT_EQ(key->QueryValue(u"", v, 2), Status::MoreData);
    EXPECT_TRUE(v.data.empty());
    EXPECT_EQ(key->QueryValue(u"", v, 3), Status::Ok);

    EXPECT_EQ(key->QueryValue(u"absent", v), Status::NotFound);
    // Values are not subkeys and subkeys are not values.
    std::unique_ptr<Key> sub;
    EXPECT_EQ(key->OpenSubKey(u"n", sub), Status::NotFound);
}

TEST_P(RegistryTest, DeletingRemovesSubtreeAndInvalidatesOpenKeys)
{
    ASSERT_EQ(mRegistry->CreateKey(u"A\\B\\C"), Status::Ok);
    ASSERT_EQ(mRegistry->SetValue(u"A\\B", u"v", Value::Dword(1)), Status::Ok);
    auto b = Open(u"A\\B");
    ASSERT_TRUE(b);

    EXPECT_EQ(mRegistry->DeleteValue(u"A\\B", u"V"), Status::Ok);
    EXPECT_EQ(mRegistry->DeleteValue(u"A\\B", u"V"), Status::NotFound);
    EXPECT_EQ(mRegistry->DeleteKey(u"a\\b"), Status::Ok);
    EXPECT_EQ(mRegistry->DeleteKey(u"a\\b"), Status::NotFound);
    EXPECT_TRUE(Subkeys(u"A").empty());

    Value v;
    std::vector<std::u16string> names;
    std::unique_ptr<Key> sub;
    EXPECT_EQ(b->QueryValue(u"v", v), Status::NotFound);
    EXPECT_EQ(b->EnumerateSubKeys(names), Status::NotFound);
    EXPECT_EQ(b->OpenSubKey(u"C", sub), Status::NotFound);
    EXPECT_EQ(b->NotifyChange(std::make_shared<KernelEvent>(true)), Status::NotFound);
    EXPECT_EQ(mRegistry->DeleteKey(u""), Status::InvalidName);
}

TEST_P(RegistryTest, NotificationFiresOncePerArm)
{
    ASSERT_EQ(mRegistry->CreateKey(u"Inst\\Attached"), Status::Ok);
    auto attached = Open(u"Inst\\Attached");
    auto first = std::make_shared<KernelEvent>(true);
    ASSERT_EQ(attached->NotifyChange(first), Status::Ok);
    EXPECT_FALSE(first->IsSet());

    ASSERT_EQ(mRegistry->SetValue(u"Inst\\Attached", u"", Value::Binary({1})), Status::Ok);
    ASSERT_TRUE(first->Wait(kWaitMs) == WAIT_OBJECT_0);
    first->Reset();

    // Not re-armed: this change must not reach `first`. Changes reach the
    // waiters in order, so once `second` has woken, `first` would have too.
    ASSERT_EQ(mRegistry->SetValue(u"Inst\\Attached", u"", Value::Binary({0})), Status::Ok);
    auto second = std::make_shared<KernelEvent>(true);
    ASSERT_EQ(attached->NotifyChange(second), Status::Ok);
    ASSERT_EQ(mRegistry->DeleteValue(u"Inst\\Attached", u""), Status::Ok);
    ASSERT_TRUE(second->Wait(kWaitMs) == WAIT_OBJECT_0);
    EXPECT_FALSE(first->IsSet());
}

TEST_P(RegistryTest, NotificationCoversNamesAndValuesButNotTheSubtree)
{
    ASSERT_EQ(mRegistry->CreateKey(u"P\\Child"), Status::Ok);
    auto parent = Open(u"P");
    auto child = Open(u"P\\Child");

    auto onParent = std::make_shared<KernelEvent>(true);
    auto onChild = std::make_shared<KernelEvent>(true);
    ASSERT_EQ(parent->NotifyChange(onParent), Status::Ok);
    ASSERT_EQ(child->NotifyChange(onChild), Status::Ok);
    ASSERT_EQ(mRegistry->SetValue(u"P\\Child", u"x", Value::Dword(2)), Status::Ok);
    ASSERT_TRUE(onChild->Wait(kWaitMs) == WAIT_OBJECT_0);
    onChild->Reset();
    ASSERT_EQ(child->NotifyChange(onChild), Status::Ok);
    ASSERT_EQ(mRegistry->CreateKey(u"P\\Child\\Grandchild"), Status::Ok);
    ASSERT_TRUE(onChild->Wait(kWaitMs) == WAIT_OBJECT_0);
    EXPECT_FALSE(onParent->IsSet());

    // A new subkey, a removed subkey and the removal of the key itself all count.
    ASSERT_EQ(mRegistry->CreateKey(u"P\\Sibling"), Status::Ok);
    ASSERT_TRUE(onParent->Wait(kWaitMs) == WAIT_OBJECT_0);
    onParent->Reset();
    ASSERT_EQ(parent->NotifyChange(onParent), Status::Ok);
    onChild->Reset();
    ASSERT_EQ(child->NotifyChange(onChild), Status::Ok);
    ASSERT_EQ(mRegistry->DeleteKey(u"P\\Child"), Status::Ok);
    EXPECT_TRUE(onParent->Wait(kWaitMs) == WAIT_OBJECT_0);
    EXPECT_TRUE(onChild->Wait(kWaitMs) == WAIT_OBJECT_0);
}

TEST_P(RegistryTest, WriterOnAnotherThreadWakesAWaiter)
{
    ASSERT_EQ(mRegistry->CreateKey(u"Inst\\Attached"), Status::Ok);
    auto attached = Open(u"Inst\\Attached");
    auto wake = std::make_shared<KernelEvent>(true);
    std::vector<uint8_t> seen;
    // A watcher that arms before it reads never misses the last change.
    std::thread watcher([&] {
        for (;;) {
            wake->Reset();
            if (attached->NotifyChange(wake) != Status::Ok)
                return;
            Value v;
            if (attached->QueryValue(u"", v, 32) == Status::Ok && !v.data.empty()) {
                seen.push_back(v.data.back());
                if (v.data.back() == 3)
                    return;
            }
            wake->Wait(INFINITE);
        }
    });
    std::thread writer([&] {
        for (uint8_t i = 1; i <= 3; ++i)
            EXPECT_EQ(mRegistry->SetValue(u"Inst\\Attached", u"", Value::Binary({0, i})), Status::Ok);
    });
    writer.join();
    watcher.join();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 3);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryTest,
                         ::testing::Values(Backend{"Memory", false}, Backend{"Directory", true}),
                         [](const auto& info) { return std::string(info.param.name); });

class DirectoryTreeTest : public RegistryTest
{
};

// Another process edits the tree with plain file operations.
TEST_P(DirectoryTreeTest, ChangesByAnotherProcessWakeWaiterAndReadBack)
{
    ASSERT_EQ(mRegistry->CreateKey(u"Drivers\\Instances"), Status::Ok);
    auto instances = Open(u"Drivers\\Instances");
    auto event = std::make_shared<KernelEvent>(true);
    ASSERT_EQ(instances->NotifyChange(event), Status::Ok);

    std::string dir = mFolder / "registry/Drivers/Instances";
    ASSERT_EQ(RunShell("mkdir '" + dir + "/ABCDEF'"), 0);
    ASSERT_TRUE(event->Wait(kWaitMs) == WAIT_OBJECT_0);
    EXPECT_EQ(Subkeys(u"drivers\\instances"), std::vector<std::u16string>{u"ABCDEF"});

    auto key = Open(u"Drivers\\Instances\\abcdef");
    auto onValue = std::make_shared<KernelEvent>(true);
    ASSERT_EQ(key->NotifyChange(onValue), Status::Ok);
    // Written in place (no rename): the wake-up comes when the file is closed.
    ASSERT_EQ(RunShell("printf 'REG_DWORD\\n\\001\\002\\000\\000' > '" + dir + "/ABCDEF/@Count'"), 0);
    ASSERT_TRUE(onValue->Wait(kWaitMs) == WAIT_OBJECT_0);
    Value v;
    ASSERT_EQ(key->QueryValue(u"count", v), Status::Ok);
    EXPECT_EQ(v.type, kRegDword);
    EXPECT_EQ(v.data, (std::vector<uint8_t>{1, 2, 0, 0}));

    // A file without a type line is not a readable value.
    ASSERT_EQ(RunShell("printf 'garbage' > '" + dir + "/ABCDEF/@Bad'"), 0);
    EXPECT_EQ(key->QueryValue(u"bad", v), Status::IoError);
}

INSTANTIATE_TEST_SUITE_P(Disk, DirectoryTreeTest, ::testing::Values(Backend{"Directory", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
