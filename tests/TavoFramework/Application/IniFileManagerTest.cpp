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

TEST(IniFileManager, SkinIndexSurvivesWriteCloseAndReopen)
{
    TestFolder folder;
    const WString path = File(folder, "UserSettings.ini");
    {
        RCPtr<LIniFileManager> manager = Loaded();
        uint32_t handle = 0;
        ASSERT_EQ(manager->Open(path, u"1_0_0", u"Zenta Updater", handle), 0);
        ASSERT_NE(handle, 0u);
        int32_t value = 99;
        manager->GetInt(handle, u"CurrentSkinIndex", 0, value);
        EXPECT_EQ(value, 0);
        EXPECT_EQ(manager->SetInt(handle, u"CurrentSkinIndex", 2), 0);
        EXPECT_EQ(manager->Write(handle), 0);
        EXPECT_EQ(manager->Close(handle, 0), 0);
    }
    ASSERT_TRUE(std::filesystem::exists(NString(path).c_str()));
    RCPtr<LIniFileManager> manager = Loaded();
    uint32_t handle = 0;
    ASSERT_EQ(manager->Open(path, u"1_0_0", u"Zenta Updater", handle), 0);
    int32_t value = 0;
    EXPECT_EQ(manager->GetInt(handle, u"CurrentSkinIndex", 0, value), 0);
    EXPECT_EQ(value, 2);
    EXPECT_TRUE(manager->DoesNodeExist(handle, u"CurrentSkinIndex"));
    EXPECT_FALSE(manager->DoesNodeExist(handle, u"Nothing"));
}

TEST(IniFileManager, StringsLongerThanTheFirstBufferComeBackWhole)
{
    TestFolder folder;
    RCPtr<LIniFileManager> manager = Loaded();
    uint32_t handle = 0;
    ASSERT_EQ(manager->Open(File(folder, "AppSettings.ini"), u"1_0_0", u"P", handle), 0);

    // Non-ASCII so that the UTF-8 size differs from the wide length.
    std::u16string longText;
    for (int i = 0; i < 1500; ++i)
        longText += (i % 3 == 0) ? u'\u00e9' : char16_t(u'a' + i % 26);
    const WString value(longText.c_str());
    ASSERT_EQ(manager->SetStr(handle, u"Paths/Last", value), 0);
    WString read;
    EXPECT_EQ(manager->GetStr(handle, u"Paths/Last", u"default", read), 0);
    EXPECT_TRUE(read == value);
    EXPECT_EQ(read.GetLength(), 1500u);

    // A value of exactly 1023 bytes fits the first buffer with its terminator.
    const std::string edge(1023, 'x');
    ASSERT_EQ(manager->SetStr(handle, u"Edge", WString(edge.c_str())), 0);
    EXPECT_EQ(manager->GetStr(handle, u"Edge", u"", read), 0);
    EXPECT_EQ(read.GetLength(), 1023u);

    // Arrays and key names go through the same protocol.
    ASSERT_EQ(manager->SetArrayCount(handle, u"Recent", 2), 0);
    ASSERT_EQ(manager->SetArrayItemAt(handle, u"Recent", 1, value), 0);
    uint32_t count = 0;
    EXPECT_EQ(manager->GetArrayCount(handle, u"Recent", count), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(manager->GetArrayItemAt(handle, u"Recent", 1, read), 0);
    EXPECT_TRUE(read == value);
    EXPECT_EQ(manager->RemoveArrayItemAt(handle, u"Recent", 0), 0);
    EXPECT_EQ(manager->GetArrayItemAt(handle, u"Recent", 0, read), 0);
    EXPECT_TRUE(read == value);

    EXPECT_EQ(manager->GetKeyCount(handle, u"", count), 0);
    EXPECT_GE(count, 3u);
    WString name;
    bool sawPaths = false;
    for (uint32_t i = 0; i < count; ++i) {
        manager->GetKeyNameAt(handle, u"", int32_t(i), name);
        sawPaths = sawPaths || name == u"Paths";
    }
    EXPECT_TRUE(sawPaths);

    // Absent keys give the default back.
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
    EXPECT_EQ(manager->Unload(), S_FALSE);
}

}  // namespace
