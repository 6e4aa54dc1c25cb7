#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/File.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

using namespace Tavo;

namespace {

std::vector<std::string> Sorted(const Array<WString>& list)
{
    std::vector<std::string> out;
    for (uint32_t i = 0; i < list.GetCount(); ++i)
        out.push_back(NString(list.At(i)).c_str());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(Folder, CreateFolderMakesEveryLevel)
{
    TempFolder dir;
    EXPECT_EQ(File::CreateFolder(dir.WPath("x/y/z")), S_OK);
    EXPECT_TRUE(File::IsFolder(dir.WPath("x/y/z")));
    EXPECT_EQ(File::CreateFolder(dir.WPath("x/y")), S_FALSE);
    dir.Write("file", "");
    EXPECT_EQ(File::CreateFolder(dir.WPath("file")), E_FAIL);
    EXPECT_EQ(File::CreateFolder(dir.WPath("file/sub")), E_FAIL);
}

TEST(Folder, IsFolderAndFileExistsTellThemApart)
{
    TempFolder dir;
    dir.Write("f.txt", "x");
    EXPECT_TRUE(File::IsFolder(dir.WPath()));
    EXPECT_TRUE(File::IsFolder(dir.WPath() + WString(u"/")));  // trailing separator dropped
    EXPECT_TRUE(File::IsFolder(WString(u"/")));
    EXPECT_FALSE(File::IsFolder(dir.WPath("f.txt")));
    EXPECT_FALSE(File::IsFolder(dir.WPath("none")));
    EXPECT_TRUE(File::FileExists(dir.WPath("f.txt")));
    EXPECT_FALSE(File::FileExists(dir.WPath()));

    FileStatus status;
    EXPECT_TRUE(File::GetStatus(dir.WPath("f.txt"), status));
    EXPECT_EQ(status.size, 1u);
    EXPECT_FALSE(File::GetStatus(dir.WPath("none"), status));
}

TEST(Folder, ListFolderMatchesPatternAndLeavesOutFolders)
{
    TempFolder dir;
    dir.Write("a.xml", "");
    dir.Write("B.XML", "");
    dir.Write("c.txt", "");
    std::filesystem::create_directory(dir.Join("d.xml"));

    Array<WString> list{WString(u"stale")};
    EXPECT_EQ(File::ListFolder(dir.WPath(), WString(u"*.xml"), list), 2);
    EXPECT_EQ(Sorted(list), (std::vector<std::string>{dir.Join("B.XML"), dir.Join("a.xml")}));

    EXPECT_EQ(File::ListFolder(dir.WPath(), WString(u"*.*"), list), 3);
    EXPECT_EQ(File::ListFolder(dir.WPath("missing"), WString(u"*"), list), 0);
    EXPECT_EQ(list.GetCount(), 0u);
}

TEST(Folder, PathTextOperations)
{
    EXPECT_TRUE(File::MakeValidFileName(WString(u"a/b:c(d)")) == u"a_b_c_d_");
    EXPECT_TRUE(File::MakeValidFileName(WString(u"\\/:*?\"<>|&;,^()ok")) == u"_______________ok");
    EXPECT_TRUE(File::MakeValidFileName(WString(u"Tessaro DJ")) == u"Tessaro DJ");

    EXPECT_TRUE(File::GetFolderPart(WString(u"C:\\data\\a.bin")) == u"C:\\data");
    EXPECT_TRUE(File::GetFolderPart(WString(u"/opt/data/a.bin")) == u"/opt/data");
    EXPECT_TRUE(File::GetFolderPart(WString(u"a.bin")) == u"a.bin");

    EXPECT_TRUE(File::GetFileNamePart(WString(u"C:/data/a.bin")) == u"a.bin");
    EXPECT_TRUE(File::GetFileNamePart(WString(u"C:\\data/x\\a.bin")) == u"a.bin");
    EXPECT_TRUE(File::GetFileNamePart(WString(u"C:\\data\\")) == u"C:\\data\\");
    EXPECT_TRUE(File::GetFileNamePart(WString(u"a.bin")) == u"a.bin");
    EXPECT_TRUE(File::GetNamePart(WString(u"/x/y")) == u"y");
}

TEST(Folder, LongPathNameResolvesOrKeepsTheInput)
{
    TempFolder dir;
    dir.Write("f", "");
    std::filesystem::create_directory(dir.Join("sub"));
    const std::string canonical = std::filesystem::canonical(dir.Path()).string() + "/f";
    EXPECT_TRUE(File::GetLongPathName(dir.WPath("sub/../f")) == WString(NString(canonical.c_str())));
    EXPECT_TRUE(File::GetLongPathName(WString(u"no/such")) == u"no/such");
}
