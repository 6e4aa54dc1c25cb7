#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/File.h"

#include "tests/Common/TempFolder.h"

#include <gtest/gtest.h>

#include "tests/Common/ThrownText.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

using namespace Tavo;

TEST(File, OpenModesCreateExclusivelyAndNeverTruncate)
{
    TempFolder dir;
    const uint32_t createRw = File::kModeCreate | File::kModeReadWrite;
    {
        File created(dir.WPath(), WString(u"new.bin"), createRw | File::kModeExclusive);
        ASSERT_TRUE(created.IsOpen());
        EXPECT_EQ(created.Write("hello world", 11, -1), 11);
        // Already open: nothing changes.
        EXPECT_EQ(created.Open(dir.WPath("other"), WString(), File::kModeReadWrite), S_FALSE);
    }
    EXPECT_FALSE(File(dir.WPath("new.bin"), WString(), createRw | File::kModeExclusive).IsOpen());
    EXPECT_TRUE(File(dir.WPath("new.bin"), WString(), File::kModeExclusive).IsOpen());
    {
        File rw(dir.WPath("new.bin"), WString(), createRw);
        EXPECT_EQ(rw.Write("J", 1, 6), 1);
    }
    EXPECT_EQ(dir.Read("new.bin"), "hello Jorld");

    EXPECT_FALSE(File(dir.WPath("absent.bin"), WString(), File::kModeReadWrite).IsOpen());
    // Only a regular file opens, and nothing else is waited for: not a FIFO
    // without a writer, whatever the mode.
    ASSERT_EQ(mkfifo(dir.Join("fifo").c_str(), 0600), 0);
    for (const WString& other : {dir.WPath(), dir.WPath("fifo"), WString(u"/dev/null")}) {
        for (const uint32_t mode : {File::kModeRead, File::kModeReadWrite}) {
            File file;
            EXPECT_EQ(file.Open(other, WString(), mode), E_FAIL) << NString(other).c_str();
            EXPECT_FALSE(file.IsOpen());
        }
    }
    EXPECT_EQ(
        ThrownText<std::runtime_error>([] {
            File f{WString(), WString()};
        }),
        "Runtime Error : invalid pathname : Tavo::File::Open : Utilities\\Storage\\TavoFile : Line 318");
}

TEST(File, ReadsAtPositionsAndReportsFailuresWithTheirTexts)
{
    TempFolder dir;
    dir.Write("data.bin", "0123456789");
    File file(dir.WPath("data.bin"), WString());
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 4, 3), 4);
    EXPECT_EQ(std::string(buffer, 4), "3456");
    EXPECT_EQ(file.Read(buffer, 16, -1), 3);  // from the current position, short at the end
    EXPECT_EQ(file.Seek(-2, 2), 8);
    EXPECT_EQ(file.Seek(-1, 0), -1);

    EXPECT_EQ(ThrownText<std::runtime_error>([&] { file.Read(buffer, 1, -5); }),
              "Runtime Error : lseek : Tavo::File::Read : Utilities\\Storage\\TavoFile : Line 472");
    EXPECT_EQ(
        ThrownText<std::runtime_error>([&] { file.Write("x", 1, 0); }),
        "Runtime Error : file is read only : Tavo::File::Write : Utilities\\Storage\\TavoFile : Line 579");
    File rw(dir.WPath("data.bin"), WString(), File::kModeReadWrite);
    EXPECT_EQ(ThrownText<std::runtime_error>([&] { rw.Write("x", 1, -7); }),
              "Runtime Error : lseek : Tavo::File::Write : Utilities\\Storage\\TavoFile : Line 588");
    File closed;
    EXPECT_EQ(ThrownText<std::runtime_error>([&] { closed.Read(buffer, 1, -1); }),
              "Runtime Error : read : Tavo::File::Read : Utilities\\Storage\\TavoFile : Line 500");
}

TEST(File, DeleteOnCloseRemovesTheFileOnlyWhenClosed)
{
    TempFolder dir;
    File temp(dir.WPath("temp.bin"), WString(),
              File::kModeCreate | File::kModeReadWrite | File::kModeDeleteOnClose);
    ASSERT_TRUE(temp.IsOpen());
    EXPECT_TRUE(File::FileExists(dir.WPath("temp.bin")));
    EXPECT_EQ(temp.Close(), S_OK);
    EXPECT_FALSE(File::FileExists(dir.WPath("temp.bin")));
    EXPECT_EQ(temp.Close(), S_OK);
    {
        File viaDestructor(dir.WPath("temp2.bin"), WString(), File::kModeCreate | File::kModeDeleteOnClose);
        File kept(dir.WPath("kept.bin"), WString(), File::kModeCreate);
    }
    EXPECT_FALSE(File::FileExists(dir.WPath("temp2.bin")));
}

TEST(File, FoldersAreCreatedListedAndToldApart)
{
    TempFolder dir;
    EXPECT_EQ(File::CreateFolder(dir.WPath("x/y/z")), S_OK);
    dir.Write("file", "");
    EXPECT_EQ(File::CreateFolder(dir.WPath("file/sub")), E_FAIL);
    EXPECT_TRUE(File::IsFolder(dir.WPath() + WString(u"/")));  // trailing separator dropped
    EXPECT_TRUE(File::IsFolder(WString(u"/")));
    EXPECT_FALSE(File::IsFolder(dir.WPath("x") + WString(u"\\")));  // "x\" is another name
    EXPECT_FALSE(File::IsFolder(dir.WPath("file")));

    dir.Write("a.xml", "");
    dir.Write("B.XML", "");
    std::filesystem::create_directory(dir.Join("d.xml"));
    Array<WString> list{WString(u"stale")};
    EXPECT_EQ(File::ListFolder(dir.WPath(), WString(u"*.xml"), list), 2);
    std::vector<std::string> names;
    for (const WString& w : list)
        names.push_back(NString(w).c_str());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{dir.Join("B.XML"), dir.Join("a.xml")}));
    EXPECT_EQ(File::ListFolder(dir.WPath("missing"), WString(u"*"), list), 0);
    EXPECT_EQ(list.GetCount(), 0u);

    const std::string canonical = std::filesystem::canonical(dir.Path()).string() + "/file";
    EXPECT_TRUE(File::GetLongPathName(dir.WPath("x/../file")) == WString(NString(canonical.c_str())));
}

TEST(File, PathTextOperations)
{
    struct Case
    {
        WString (*op)(const WString&);
        const char16_t* in;
        const char16_t* out;
    } cases[] = {{File::MakeValidFileName, u"\\/:*?\"<>|&;,^()ok", u"_______________ok"},
                 // Only "/" separates: a backslash is a character of a name.
                 {File::GetFolderPart, u"/d/a\\b.bin", u"/d"},
                 {File::GetFolderPart, u"C:\\data\\a.bin", u"C:\\data\\a.bin"},
                 {File::GetFolderPart, u"a.bin", u"a.bin"},
                 {File::GetFileNamePart, u"/data/x\\a.bin", u"x\\a.bin"},
                 {File::GetFileNamePart, u"/data/x\\", u"x\\"},
                 {File::GetFileNamePart, u"/data/", u"/data/"},
                 {File::GetNamePart, u"/x/y", u"y"}};
    for (const Case& c : cases)
        EXPECT_TRUE(c.op(WString(c.in)) == c.out) << NString(WString(c.in)).c_str();
}
