#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

#include "Platform/App/Folders.h"
#include "Platform/App/IniFileLibrary.h"
#include "Platform/App/MessageBox.h"
#include "Platform/App/ProfileStore.h"
#include "tests/Common/TestScope.h"

using namespace Tavo::Platform::App;
namespace fs = std::filesystem;

namespace {

// Points every folder at a private tree so the real home is never touched.
class FoldersTest : public ::testing::Test
{
protected:
    TestFolder mRoot;
    ScopedEnv mHome{"HOME", mRoot / "home"};
    ScopedEnv mCommon{"TAVO_COMMON_APPDATA_DIR", mRoot / "common/"};
    ScopedEnv mUser{"TAVO_USER_APPDATA_DIR", mRoot / "user"};
    ScopedEnv mDocs{"TAVO_DOCUMENTS_DIR", mRoot / "docs"};
    ScopedEnv mConfig{"TAVO_CONFIG_DIR", mRoot / "config"};
};

}  // namespace

TEST_F(FoldersTest, OverridesAreHonouredAndCreated)
{
    EXPECT_EQ(GetSystemFolder(FolderId::CommonAppData), mRoot / "common");
    EXPECT_EQ(GetSystemFolder(FolderId::UserAppData), mRoot / "user");
    EXPECT_EQ(GetSystemFolder(FolderId::Documents), mRoot / "docs");
    EXPECT_EQ(GetSystemFolder(FolderId::UserConfig), mRoot / "config");
    EXPECT_TRUE(fs::is_directory(mRoot / "user"));
    EXPECT_EQ(GetSystemFolder(FolderId::Program), fs::read_symlink("/proc/self/exe").parent_path().string());
    {
        ScopedEnv program("TAVO_PROGRAM_DIR", "/opt/zenta/");
        EXPECT_EQ(GetSystemFolder(FolderId::Program), "/opt/zenta");
    }
    // A folder that cannot be made gives the empty text.
    std::ofstream(mRoot / "file") << "x";
    ScopedEnv blocked("TAVO_USER_APPDATA_DIR", mRoot / "file/sub");
    EXPECT_EQ(GetSystemFolder(FolderId::UserAppData), "");
    EXPECT_EQ(GetProgramDataFolder(FolderId::UserAppData, "Co", "Prod"), "");
}

TEST_F(FoldersTest, XdgFoldersAreUsedWithoutOverrides)
{
    unsetenv("TAVO_USER_APPDATA_DIR");
    unsetenv("TAVO_DOCUMENTS_DIR");
    unsetenv("TAVO_CONFIG_DIR");
    unsetenv("XDG_DOCUMENTS_DIR");
    {
        ScopedEnv data("XDG_DATA_HOME", mRoot / "xdgdata");
        EXPECT_EQ(GetSystemFolder(FolderId::UserAppData), mRoot / "xdgdata");
    }
    {
        // A relative XDG value does not count.
        ScopedEnv data("XDG_DATA_HOME", "relative");
        EXPECT_EQ(GetSystemFolder(FolderId::UserAppData), mRoot / "home/.local/share");
    }
    ScopedEnv config("XDG_CONFIG_HOME", mRoot / "cfg");
    EXPECT_EQ(GetSystemFolder(FolderId::Documents), mRoot / "home");
    fs::create_directories(mRoot / "cfg");
    std::ofstream(mRoot / "cfg/user-dirs.dirs")
        << "# written by the desktop\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
    EXPECT_EQ(GetSystemFolder(FolderId::Documents), mRoot / "home/Papers");
}

TEST_F(FoldersTest, ProgramDataFolderUsesValidNamesAndCreatesEachLevel)
{
    const std::string folder =
        GetProgramDataFolder(FolderId::CommonAppData, "Tessaro: DJ", "k620 (Zenta)/A&B");
    EXPECT_EQ(folder, mRoot / "common/Tessaro_ DJ/k620 _Zenta__A_B");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(MakeValidFileName("a\\b/c:d*e?f\"g<h>i|j&k;l,m^n(o)p"), "a_b_c_d_e_f_g_h_i_j_k_l_m_n_o_p");
}

TEST_F(FoldersTest, ProfileStoreKeepsThePlacementAndIgnoresAWrongSize)
{
    WindowPlacementBytes placement{};
    for (size_t i = 0; i < placement.size(); ++i)
        placement[i] = uint8_t(i * 7);
    {
        FileProfileStore store("Tessaro DJ", "Zenta");
        EXPECT_FALSE(ReadWindowPlacement(store, "Zenta"));
        ASSERT_TRUE(WriteWindowPlacement(store, "Zenta", placement));
        EXPECT_TRUE(store.WriteBinary("Other", "WP", {1, 2, 3}));
        EXPECT_EQ(store.Path(), mRoot / "config/Tessaro DJ/Zenta.profile");
    }
    FileProfileStore store("Tessaro DJ", "Zenta");
    EXPECT_EQ(ReadWindowPlacement(store, "Zenta"), placement);
    EXPECT_EQ(store.GetBinary("Other", "WP"), std::vector<uint8_t>({1, 2, 3}));
    EXPECT_FALSE(ReadWindowPlacement(store, "Other"));
    store.WriteBinary("Zenta", "WP", std::vector<uint8_t>(45, 1));
    EXPECT_FALSE(ReadWindowPlacement(store, "Zenta"));

    // A damaged line is skipped, the rest still read.
    std::ofstream(store.Path(), std::ios::app) << "Broken/WP=zz\nHalf/WP=abc\n";
    EXPECT_FALSE(store.GetBinary("Broken", "WP"));
    EXPECT_FALSE(store.GetBinary("Half", "WP"));
    EXPECT_TRUE(store.GetBinary("Other", "WP"));
    EXPECT_FALSE(store.WriteBinary("Bad=Section", "WP", {1}));

    MemoryProfileStore memory;
    memory.WriteBinary("App", "WP", std::vector<uint8_t>(43, 0));
    EXPECT_FALSE(ReadWindowPlacement(memory, "App"));
    WriteWindowPlacement(memory, "App", placement);
    EXPECT_EQ(ReadWindowPlacement(memory, "App"), placement);
}

// Every file read from the user's folders may be a FIFO a user or another
// program left there: opening it for reading would wait for a writer.
TEST_F(FoldersTest, FifosWhereUserFilesBelongAreRefusedWithoutWaiting)
{
    unsetenv("TAVO_DOCUMENTS_DIR");
    unsetenv("XDG_DOCUMENTS_DIR");
    ScopedEnv config("XDG_CONFIG_HOME", mRoot / "cfg");
    IniFileLibrary library;
    ASSERT_EQ(library.Load(fs::read_symlink("/proc/self/exe").parent_path().string()),
              IniFileLibrary::LoadResult::Loaded);
    const struct
    {
        const char* name;
        std::string fifo;
        // What the reader gives: the defaults.
        std::function<bool()> readsDefaults;
    } cases[] = {
        {"user folders", mRoot / "cfg/user-dirs.dirs",
         [&] { return GetSystemFolder(FolderId::Documents) == mRoot / "home"; }},
        {"window profile", mRoot / "config/Tessaro DJ/Zenta.profile",
         [] {
             FileProfileStore store("Tessaro DJ", "Zenta");
             return !store.GetBinary("Zenta", "WP") && !store.WriteBinary("Zenta", "WP", {1});
         }},
        {"settings", mRoot / "user/UserSettings.ini",
         [&] {
             uint32_t handle = 7;
             const std::string path = mRoot / "user/UserSettings.ini";
             return library.EntryPoints().openIniFile(path.c_str(), "1_0_0", "Zenta", &handle) ==
                        INI_NOT_A_FILE &&
                    handle == 0;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(fs::path(c.fifo).parent_path());
        ASSERT_EQ(mkfifo(c.fifo.c_str(), 0600), 0);
        auto read = std::async(std::launch::async, c.readsDefaults);
        if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "blocked on the FIFO";
            // A writer that comes and goes lets the reader on.
            close(open(c.fifo.c_str(), O_WRONLY | O_NONBLOCK));
        }
        EXPECT_TRUE(read.get());
        EXPECT_TRUE(fs::is_fifo(c.fifo));
    }
}

TEST(MessageBox, WritesToStderrAndAnswersWithoutADisplay)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessageBox(0, "The application encountered problems.", "Error", MB_ICONERROR), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: The application encountered problems.\n");

    EXPECT_EQ(DefaultMessageBoxAnswer(MB_YESNO), IDYES);
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_RETRYCANCEL | MB_ICONWARNING), IDRETRY);

    // A hook that cannot show a box leaves the default; one that can answers.
    std::string seen;
    SetMessageBoxHook([&](uintptr_t owner, const std::string& text, const std::string&,
                          uint32_t style) -> std::optional<int32_t> {
        seen = text;
        if (owner == 0)
            return std::nullopt;
        return (style & 0xF) == MB_OKCANCEL ? IDCANCEL : IDOK;
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessageBox(0, "a", "c", MB_OKCANCEL), IDOK);
    EXPECT_EQ(ShowMessageBox(5, "b", "c", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "c: a\nc: b\n");
    EXPECT_EQ(seen, "b");
    SetMessageBoxHook(nullptr);
}
