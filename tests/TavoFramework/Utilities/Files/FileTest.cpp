#include "Utilities/Storage/File.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

using namespace Tavo;

namespace {

template <class F>
std::string ThrownText(F&& f)
{
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "nothing thrown";
}

}  // namespace

TEST(File, OpensFolderAndNameOrAFullPath)
{
    TempFolder dir;
    dir.Write("a.bin", "abc");

    File joined(dir.WPath(), WString(u"a.bin"));
    EXPECT_TRUE(joined.IsOpen());
    EXPECT_TRUE(joined.GetName() == u"a.bin");
    EXPECT_TRUE(joined.GetPath() == dir.WPath("a.bin"));
    EXPECT_EQ(joined.GetMode(), File::kModeRead);
    EXPECT_EQ(joined.GetLength(), 3u);
    // Already open: nothing changes.
    EXPECT_EQ(joined.Open(dir.WPath("other"), WString(), File::kModeReadWrite), S_FALSE);
    EXPECT_TRUE(joined.GetPath() == dir.WPath("a.bin"));

    File full(dir.WPath("a.bin"), WString());
    EXPECT_TRUE(full.IsOpen());
    EXPECT_TRUE(full.GetName().IsEmpty());

    File missing(dir.WPath("none.bin"), WString());
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.GetLength(), 0u);
    EXPECT_EQ(missing.Open(dir.WPath(), WString(), File::kModeRead), E_FAIL);  // a folder is no file

    EXPECT_EQ(ThrownText([] { File f{WString(), WString()}; }),
              "Runtime Error : invalid pathname : Tavo::File::Open : Utilities\\Storage\\TavoFile : Line 318");
}

TEST(File, CreateExclusiveAndKeepsExistingContents)
{
    TempFolder dir;
    const uint32_t createRw = File::kModeCreate | File::kModeReadWrite;
    {
        File created(dir.WPath("new.bin"), WString(), createRw | File::kModeExclusive);
        ASSERT_TRUE(created.IsOpen());
        EXPECT_EQ(created.Write("hello world", 11, -1), 11);
    }
    // Exclusive create fails on an existing file; exclusive alone is ignored.
    File again(dir.WPath("new.bin"), WString(), createRw | File::kModeExclusive);
    EXPECT_FALSE(again.IsOpen());
    File readOnly(dir.WPath("new.bin"), WString(), File::kModeExclusive);
    EXPECT_TRUE(readOnly.IsOpen());

    // Opening for writing never truncates.
    {
        File rw(dir.WPath("new.bin"), WString(), createRw);
        EXPECT_EQ(rw.Write("J", 1, 6), 1);
    }
    EXPECT_EQ(dir.Read("new.bin"), "hello Jorld");

    // Without create, a missing file is not made.
    File absent(dir.WPath("absent.bin"), WString(), File::kModeReadWrite);
    EXPECT_FALSE(absent.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(dir.Join("absent.bin")));
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
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(file.Read(buffer, 4, 100), 0);  // beyond the end
    EXPECT_EQ(file.Seek(-2, 2), 8);
    EXPECT_EQ(file.Read(buffer, 4, -1), 2);
    EXPECT_EQ(file.Seek(-1, 0), -1);

    EXPECT_EQ(ThrownText([&] { file.Read(buffer, 1, -5); }),
              "Runtime Error : lseek : Tavo::File::Read : Utilities\\Storage\\TavoFile : Line 472");
    // Read-only is refused before the file is touched.
    EXPECT_EQ(ThrownText([&] { file.Write("x", 1, 0); }),
              "Runtime Error : file is read only : Tavo::File::Write : Utilities\\Storage\\TavoFile : Line 579");
    EXPECT_EQ(dir.Read("data.bin"), "0123456789");

    File rw(dir.WPath("data.bin"), WString(), File::kModeReadWrite);
    EXPECT_EQ(ThrownText([&] { rw.Write("x", 1, -7); }),
              "Runtime Error : lseek : Tavo::File::Write : Utilities\\Storage\\TavoFile : Line 588");

    File closed;
    EXPECT_EQ(ThrownText([&] { closed.Read(buffer, 1, -1); }),
              "Runtime Error : read : Tavo::File::Read : Utilities\\Storage\\TavoFile : Line 500");
}

TEST(File, DeleteOnCloseRemovesTheFileOnlyWhenClosed)
{
    TempFolder dir;
    {
        File temp(dir.WPath("temp.bin"), WString(),
                  File::kModeCreate | File::kModeReadWrite | File::kModeDeleteOnClose);
        ASSERT_TRUE(temp.IsOpen());
        temp.Write("abc", 3, 0);
        EXPECT_TRUE(File::FileExists(dir.WPath("temp.bin")));
        EXPECT_EQ(temp.Close(), S_OK);
        EXPECT_FALSE(File::FileExists(dir.WPath("temp.bin")));
        EXPECT_EQ(temp.Close(), S_OK);
    }
    {
        File viaDestructor(dir.WPath("temp2.bin"), WString(), File::kModeCreate | File::kModeDeleteOnClose);
        EXPECT_TRUE(viaDestructor.IsOpen());
    }
    EXPECT_FALSE(File::FileExists(dir.WPath("temp2.bin")));

    // A plain file stays.
    {
        File kept(dir.WPath("kept.bin"), WString(), File::kModeCreate);
    }
    EXPECT_TRUE(File::FileExists(dir.WPath("kept.bin")));
}
