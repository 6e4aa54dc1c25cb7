#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>
#include <sstream>
#include <sys/stat.h>

#include "Platform/App/IniFileLibrary.h"
#include "tests/Common/TestScope.h"

using namespace Tavo::Platform::App;

namespace {

std::string BinFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

ino_t Inode(const std::string& path)
{
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class IniFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(mLib.Load(BinFolder()), IniFileLibrary::LoadResult::Loaded) << mLib.LastError();
    }

    uint32_t Open(const std::string& name)
    {
        uint32_t handle = 0;
        EXPECT_EQ(Api().openIniFile((mFolder / name).c_str(), "1_0_0", "Zenta Updater", &handle), INI_OK);
        EXPECT_NE(handle, 0u);
        return handle;
    }

    std::string Str(uint32_t h, const char* path, const char* def = "", int32_t* result = nullptr)
    {
        std::string value = def;
        const int32_t r =
            ReadIniString([&](char* b, uint32_t n,
                              uint32_t* need) { return Api().getIniValueStr(h, path, def, b, n, need); },
                          value);
        if (result)
            *result = r;
        return value;
    }

    std::string Item(uint32_t h, const char* path, int32_t index)
    {
        std::string value;
        ReadIniString([&](char* b, uint32_t n,
                          uint32_t* need) { return Api().getArrayItemAt(h, path, index, b, n, need); },
                      value);
        return value;
    }

    const IniFileEntryPoints& Api() const { return mLib.EntryPoints(); }

    TestFolder mFolder;
    IniFileLibrary mLib;
};

}  // namespace

TEST_F(IniFileTest, MissingFileIsCreatedWithVersionAndProduct)
{
    const uint32_t h = Open("UserSettings.ini");
    const std::string text = ReadFile(mFolder / "UserSettings.ini");
    EXPECT_NE(text.find("@version=1_0_0\n"), std::string::npos);
    EXPECT_NE(text.find("@product=Zenta Updater\n"), std::string::npos);
    // Opening the same file again shares its contents; it stays open until
    // every opener has closed it.
    uint32_t again = 0;
    EXPECT_EQ(Api().openIniFile((mFolder / "UserSettings.ini").c_str(), "1_0_0", "x", &again), INI_OK);
    EXPECT_EQ(again, h);
    EXPECT_EQ(Api().closeIniFile(h, 0), INI_OK);
    EXPECT_EQ(Api().setIniValueInt(h, "A", 1), INI_OK);
    EXPECT_EQ(Api().closeIniFile(h, 1), INI_OK);
    EXPECT_EQ(Api().setIniValueInt(h, "A", 1), INI_BAD_HANDLE);

    uint32_t bad = 7;
    EXPECT_EQ(Api().openIniFile((mFolder / "no/such/folder.ini").c_str(), "1", "p", &bad), INI_IO_ERROR);
    EXPECT_EQ(bad, 0u);
}

TEST_F(IniFileTest, ValuesSurviveAReloadOfTheLibraryAndTheFile)
{
    uint32_t h = Open("AppSettings.ini");
    EXPECT_EQ(Api().setIniValueInt(h, "CurrentSkinIndex", -12), INI_OK);
    EXPECT_EQ(Api().setIniValueStr(h, "Window/Title", "Zenta \xE2\x80\x94 = [x]\nline\\two\t"), INI_OK);
    EXPECT_EQ(Api().setIniValueStr(h, "Window/Size/Width", "640"), INI_OK);
    EXPECT_EQ(Api().setIniValueStr(h, "Window", " top value  "), INI_OK);
    // Every change is on disk at once: nothing calls a write before exit.
    ASSERT_EQ(mLib.Unload(), 0);
    EXPECT_EQ(mLib.Unload(), 1);
    EXPECT_FALSE(std::filesystem::exists(mFolder / "AppSettings.ini.tmp"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mFolder.Path()), {}), 1);

    ASSERT_EQ(mLib.Load(BinFolder()), IniFileLibrary::LoadResult::Loaded);
    EXPECT_EQ(mLib.Load(BinFolder()), IniFileLibrary::LoadResult::AlreadyLoaded);
    h = Open("AppSettings.ini");
    int32_t value = 0;
    EXPECT_EQ(Api().getIniValueInt(h, "CurrentSkinIndex", 5, &value), INI_OK);
    EXPECT_EQ(value, -12);
    EXPECT_EQ(Str(h, "Window/Title"), "Zenta \xE2\x80\x94 = [x]\nline\\two\t");
    EXPECT_EQ(Str(h, "Window/Size/Width"), "640");
    EXPECT_EQ(Str(h, "Window"), " top value  ");
    EXPECT_TRUE(Api().doesNodeExist(h, "Window/Size"));
    EXPECT_FALSE(Api().doesNodeExist(h, "Window/Depth"));
}

// Each write waits for the disk, so a change to what is already there is no
// write; a file someone else replaced or removed meanwhile is written again.
TEST_F(IniFileTest, OnlyChangesOrAFileChangedMeanwhileAreWritten)
{
    const std::string path = mFolder / "UserSettings.ini";
    const uint32_t h = Open("UserSettings.ini");
    // Value to set, remove the file first, whether the file is written anew.
    for (auto [value, remove, written] : {std::tuple{0, false, true},
                                          {0, false, false},
                                          {1, false, true},
                                          {1, true, true},
                                          {1, false, false}}) {
        if (remove)
            std::filesystem::remove(path);
        const ino_t before = Inode(path);
        EXPECT_EQ(Api().setIniValueInt(h, "CurrentSkinIndex", value), INI_OK);
        EXPECT_EQ(Inode(path) != before, written) << value << remove;
        EXPECT_NE(ReadFile(path).find("CurrentSkinIndex=" + std::to_string(value)), std::string::npos);
    }
}

TEST_F(IniFileTest, MissingOrUnusableValuesLeaveTheDefault)
{
    const uint32_t h = Open("a.ini");
    int32_t value = 0;
    EXPECT_EQ(Api().getIniValueInt(h, "Nothing", 9, &value), INI_DEFAULT_USED);
    EXPECT_EQ(value, 9);
    Api().setIniValueStr(h, "Text", "12abc");
    EXPECT_EQ(Api().getIniValueInt(h, "Text", 4, &value), INI_NOT_A_NUMBER);
    EXPECT_EQ(value, 4);
    Api().setIniValueStr(h, "Big", "2147483648");
    EXPECT_EQ(Api().getIniValueInt(h, "Big", 4, &value), INI_NOT_A_NUMBER);
    int32_t result = 0;
    EXPECT_EQ(Str(h, "Nothing", "fallback", &result), "fallback");
    EXPECT_EQ(result, INI_DEFAULT_USED);
    // Paths that the file format could not hold back are refused.
    for (const char* bad : {"a//b", "/a", "a/", "a=b", "[a]", "a\nb", "@version", " a"})
        EXPECT_EQ(Api().setIniValueInt(h, bad, 1), INI_BAD_ARGUMENT) << bad;
    EXPECT_EQ(Api().getIniValueInt(0, "a", 3, &value), INI_BAD_HANDLE);
    EXPECT_EQ(value, 3);
}

TEST_F(IniFileTest, LongValuesNeedASecondCallWithTheReportedSize)
{
    const uint32_t h = Open("long.ini");
    std::string longValue;
    for (int i = 0; longValue.size() < 3000; ++i)
        longValue += std::to_string(i) + ",";
    ASSERT_EQ(Api().setIniValueStr(h, "Recent", longValue.c_str()), INI_OK);

    char small[1024] = "junk";
    uint32_t needed = 0;
    EXPECT_EQ(Api().getIniValueStr(h, "Recent", "", small, sizeof small, &needed), INI_BUFFER_TOO_SMALL);
    EXPECT_EQ(needed, longValue.size() + 1);
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(Str(h, "Recent"), longValue);

    // 1023 bytes fit the first buffer exactly; 1024 do not.
    Api().setIniValueStr(h, "Edge", std::string(1023, 'e').c_str());
    EXPECT_EQ(Api().getIniValueStr(h, "Edge", "", small, sizeof small, &needed), INI_OK);
    EXPECT_EQ(Str(h, "Edge"), std::string(1023, 'e'));
    Api().setIniValueStr(h, "Edge", std::string(1024, 'f').c_str());
    EXPECT_EQ(Str(h, "Edge"), std::string(1024, 'f'));
}

TEST(IniStringRead, SecondCallFailureGivesAnEmptyTextAndOtherFailuresKeepTheValue)
{
    std::string value = "default";
    int calls = 0;
    EXPECT_EQ(ReadIniString(
                  [&](char*, uint32_t, uint32_t* need) {
                      *need = 5000;
                      return ++calls == 1 ? INI_BUFFER_TOO_SMALL : INI_IO_ERROR;
                  },
                  value),
              INI_IO_ERROR);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(value, "");

    value = "default";
    EXPECT_EQ(ReadIniString([](char*, uint32_t, uint32_t*) { return INI_NOT_FOUND; }, value), INI_NOT_FOUND);
    EXPECT_EQ(value, "default");

    // A reported size of 0 still gets a buffer; an unterminated fill is cut.
    EXPECT_EQ(ReadIniString(
                  [&](char* b, uint32_t n, uint32_t* need) {
                      *need = 0;
                      if (n == 1024)
                          return INI_BUFFER_TOO_SMALL;
                      b[0] = 'x';
                      return INI_OK;
                  },
                  value),
              INI_OK);
    EXPECT_EQ(value, "");
}

TEST_F(IniFileTest, ArraysAreNumberedKeys)
{
    const uint32_t h = Open("arrays.ini");
    uint32_t count = 99;
    EXPECT_EQ(Api().getArrayCount(h, "Files", &count), INI_OK);
    EXPECT_EQ(count, 0u);
    for (int i = 0; i < 12; ++i)
        ASSERT_EQ(Api().setArrayItemAt(h, "Files", i, ("f" + std::to_string(i)).c_str()), INI_OK);
    // Beyond one past the end would leave a gap.
    EXPECT_EQ(Api().setArrayItemAt(h, "Files", 13, "gap"), INI_NOT_FOUND);
    EXPECT_EQ(Api().setArrayItemAt(h, "Files", -1, "neg"), INI_BAD_ARGUMENT);

    EXPECT_EQ(Api().removeArrayItemAt(h, "Files", 3), INI_OK);
    EXPECT_EQ(Api().removeArrayItemAt(h, "Files", 11), INI_NOT_FOUND);
    Api().getArrayCount(h, "Files", &count);
    EXPECT_EQ(count, 11u);
    EXPECT_EQ(Item(h, "Files", 2), "f2");
    EXPECT_EQ(Item(h, "Files", 3), "f4");
    EXPECT_EQ(Item(h, "Files", 10), "f11");
    EXPECT_EQ(Item(h, "Files", 11), "");

    EXPECT_EQ(Api().setArrayCount(h, "Files", 2), INI_OK);
    EXPECT_EQ(Api().setArrayCount(h, "Files", 4), INI_OK);
    Api().getArrayCount(h, "Files", &count);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(Item(h, "Files", 1), "f1");
    EXPECT_EQ(Item(h, "Files", 3), "");
    EXPECT_EQ(Api().setArrayCount(h, "Files", -1), INI_BAD_ARGUMENT);

    EXPECT_EQ(Api().setArrayCount(h, "Files", 0), INI_OK);
    EXPECT_FALSE(Api().doesNodeExist(h, "Files"));
    // The emptied array is gone from the file too.
    Api().closeIniFile(h, 1);
    EXPECT_EQ(ReadFile(mFolder / "arrays.ini").find("Files"), std::string::npos);
}

TEST_F(IniFileTest, KeysAreListedInTheOrderTheyWereMade)
{
    const uint32_t h = Open("keys.ini");
    Api().setIniValueInt(h, "Zeta", 1);
    Api().setIniValueInt(h, "Alpha/x", 2);
    Api().setIniValueInt(h, "Mid", 3);
    uint32_t count = 0;
    EXPECT_EQ(Api().getKeyCount(h, "", &count), INI_OK);
    EXPECT_EQ(count, 3u);
    std::vector<std::string> names;
    for (int32_t i = 0; i <= int32_t(count); ++i) {
        std::string name = "unchanged";
        const int32_t r = ReadIniString(
            [&](char* b, uint32_t n, uint32_t* need) { return Api().getKeyNameAt(h, "", i, b, n, need); },
            name);
        if (r == INI_OK)
            names.push_back(name);
        else
            EXPECT_EQ(r, INI_NOT_FOUND);
    }
    EXPECT_EQ(names, std::vector<std::string>({"Zeta", "Alpha", "Mid"}));
}

TEST_F(IniFileTest, HandEditedFileLoadsWhatItCanAndSkipsTheRest)
{
    {
        std::ofstream out(mFolder / "edited.ini");
        out << "; comment\r\n"
               "@version=0_9\n"
               "Top = 5\n"
               "no equals sign\n"
               "[Window]\n"
               "Left=-3\n"
               "Size/Width=800\n"
               "[broken\n"
               "Lost=1\n"
               "[Audio/Out]\n"
               "Rate=48000\n";
    }
    const uint32_t h = Open("edited.ini");
    int32_t v = 0;
    EXPECT_EQ(Api().getIniValueInt(h, "Top", 0, &v), INI_OK);
    EXPECT_EQ(v, 5);
    Api().getIniValueInt(h, "Window/Left", 0, &v);
    EXPECT_EQ(v, -3);
    Api().getIniValueInt(h, "Window/Size/Width", 0, &v);
    EXPECT_EQ(v, 800);
    EXPECT_FALSE(Api().doesNodeExist(h, "Lost"));
    EXPECT_FALSE(Api().doesNodeExist(h, "Window/Lost"));
    Api().getIniValueInt(h, "Audio/Out/Rate", 0, &v);
    EXPECT_EQ(v, 48000);
    // The next write records the caller's version.
    Api().setIniValueInt(h, "Window/Left", 0);
    EXPECT_NE(ReadFile(mFolder / "edited.ini").find("@version=1_0_0"), std::string::npos);
}

TEST(IniFileLibrary, MissingLibraryIsReportedAndEverythingStaysUnset)
{
    TestFolder empty;
    IniFileLibrary lib;
    EXPECT_EQ(lib.Load(empty.Path()), IniFileLibrary::LoadResult::LibraryMissing);
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_FALSE(lib.LastError().empty());
    EXPECT_EQ(lib.EntryPoints().openIniFile, nullptr);
    EXPECT_EQ(lib.Unload(), 1);
}

TEST(IniFileLibrary, EmptyFolderMeansTheProgramFolderThenTheLoadersSearch)
{
    EXPECT_EQ(IniFileLibrary::LibraryPath(""), BinFolder() + "/libIniFileManager.so");
    EXPECT_EQ(IniFileLibrary().Load(""), IniFileLibrary::LoadResult::Loaded);

    TestFolder empty;
    ScopedEnv program("TAVO_PROGRAM_DIR", empty.Path());
    EXPECT_EQ(IniFileLibrary::LibraryPath(""), "libIniFileManager.so");
    {
        // A program folder whose name ends in a backslash holds its own copy.
        const std::string odd = empty.Path() + "/prog\\";
        std::filesystem::create_directory(odd);
        std::filesystem::copy_file(BinFolder() + "/libIniFileManager.so", odd + "/libIniFileManager.so");
        ScopedEnv oddProgram("TAVO_PROGRAM_DIR", odd);
        EXPECT_EQ(IniFileLibrary::LibraryPath(""), odd + "/libIniFileManager.so");
        EXPECT_EQ(IniFileLibrary().Load(""), IniFileLibrary::LoadResult::Loaded);
    }
    // The loader reads its path when a process starts: ask a fresh copy of this one.
    ScopedEnv loaderPath("LD_LIBRARY_PATH", BinFolder());
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(IniFileLibrary().Load("") == IniFileLibrary::LoadResult::Loaded ? 0 : 1),
                ::testing::ExitedWithCode(0), "");
}
