#include <gtest/gtest.h>

#include "Application/IniFileManager.h"
#include "tests/Common/TestScope.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace Tavo;

namespace {

WString File(const TestFolder& folder, const char* name)
{
    return WString((folder / name).c_str());
}

std::string BinFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

RCPtr<LIniFileManager> Loaded()
{
    RCPtr<LIniFileManager> manager = LIniFileManager::Create();
    EXPECT_EQ(manager->Load(u""), S_OK);
    return manager;
}

// The wide calls over the library's narrow ones: sizes in UTF-8 bytes differ
// from wide lengths, and every reader goes through the two-call protocol.
TEST(IniFileManager, WideTextsOfAnyLengthRoundTripThroughEveryReader)
{
    TestFolder folder;
    const WString path = File(folder, "AppSettings.ini");
    std::u16string longText;
    for (int i = 0; i < 1500; ++i)
        longText += (i % 3 == 0) ? u'\u00e9' : char16_t(u'a' + i % 26);
    const WString value(longText.c_str());
    {
        RCPtr<LIniFileManager> manager = Loaded();
        uint32_t handle = 0;
        ASSERT_EQ(manager->Open(path, u"1_0_0", u"P", handle), 0);
        EXPECT_EQ(manager->SetInt(handle, u"CurrentSkinIndex", 2), 0);
        ASSERT_EQ(manager->SetStr(handle, u"Paths/Last", value), 0);
        ASSERT_EQ(manager->SetStr(handle, u"Edge", WString(std::string(1023, 'x').c_str())), 0);
        ASSERT_EQ(manager->SetArrayCount(handle, u"Recent", 2), 0);
        ASSERT_EQ(manager->SetArrayItemAt(handle, u"Recent", 1, value), 0);
        manager->Write(handle);
        manager->Close(handle, 0);
    }
    RCPtr<LIniFileManager> manager = Loaded();
    uint32_t handle = 0;
    ASSERT_EQ(manager->Open(path, u"1_0_0", u"P", handle), 0);
    int32_t number = 0;
    EXPECT_EQ(manager->GetInt(handle, u"CurrentSkinIndex", 0, number), 0);
    EXPECT_EQ(number, 2);
    EXPECT_FALSE(manager->DoesNodeExist(handle, u"Nothing"));
    WString read;
    EXPECT_EQ(manager->GetStr(handle, u"Paths/Last", u"default", read), 0);
    EXPECT_TRUE(read == value);
    // 1023 bytes fit the first buffer with its terminator.
    EXPECT_EQ(manager->GetStr(handle, u"Edge", u"", read), 0);
    EXPECT_EQ(read.GetLength(), 1023u);
    uint32_t count = 0;
    EXPECT_EQ(manager->GetArrayCount(handle, u"Recent", count), 0);
    EXPECT_EQ(manager->RemoveArrayItemAt(handle, u"Recent", 0), 0);
    EXPECT_EQ(manager->GetArrayItemAt(handle, u"Recent", 0, read), 0);
    EXPECT_TRUE(read == value);
    EXPECT_EQ(manager->GetKeyCount(handle, u"", count), 0);
    WString name;
    // Read back from the file: plain values come before sections.
    EXPECT_EQ(manager->GetKeyNameAt(handle, u"", 2, name), 0);
    EXPECT_EQ(count, 4u);
    EXPECT_STREQ(NString(name).c_str(), "Paths");
    EXPECT_NE(manager->GetStr(handle, u"Absent", u"fallback", read), -2);
    EXPECT_TRUE(read == u"fallback");
    manager->Close(handle, 0);
}

TEST(IniFileManager, MissingEntryPointsLeaveTheOthersUsable)
{
    RCPtr<LIniFileManager> manager = LIniFileManager::Create();
    // This library only has "OpenIniFile".
    EXPECT_EQ(manager->Load(WString((BinFolder() + "/ini-partial").c_str())), E_FAIL);
    EXPECT_EQ(manager->Load(u""), S_FALSE);  // stays loaded
    uint32_t handle = 0;
    EXPECT_EQ(manager->Open(u"/nonexistent/x.ini", u"", u"", handle), 0);
    EXPECT_EQ(handle, 42u);
    int32_t value = 3;
    EXPECT_EQ(manager->GetInt(handle, u"CurrentSkinIndex", 1, value), E_FAIL);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(manager->Unload(), S_OK);
}

}  // namespace
