#include <gtest/gtest.h>

#include "Platform/App/MessageBox.h"
#include "Platform/App/MessageLoop.h"
#include "Window/Native/FileDialog.h"
#include "tests/Common/TempFolder.h"

#include <sys/stat.h>

using namespace Tavo;

namespace {

std::string N(const WString& text)
{
    return NString(text).c_str();
}

// A folder first (and alone) on PATH holding a stand-in chooser that records
// its arguments, one a line, then prints out and exits with status.
struct Chooser
{
    TempFolder bin;
    ScopedEnv path{"PATH", bin.Path()};

    void Install(const std::string& name, const std::string& out, int status)
    {
        bin.Write(name, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + bin.Join("args") +
                            "'\nprintf '%s' '" + out + "'\nexit " + std::to_string(status) + "\n");
        chmod(bin.Join(name).c_str(), 0755);
    }
    std::string Args() const { return bin.Read("args"); }
};

const WString kFilter = u"Firmware Files (*.bin)|*.bin;*.hex|All files (*.*)|*.*";

}  // namespace

TEST(FileDialog, ChoosesThroughEitherChooserHonouringCancelFilterAndFolder)
{
    struct Case
    {
        const char* program;
        const char* out;
        int status;
        bool multiple;
        TavoResult result;
        const char* fileName;
        const char* folder;
        std::vector<const char*> results;
        std::vector<const char*> args;  // each must be one whole argument
    };
    const Case cases[] = {
        {"zenity",
         "/data/fw/k620.bin\n",
         0,
         false,
         S_OK,
         "/data/fw/k620.bin",
         "/data/fw",
         {},
         {"--file-selection", "--title=Pick", "--filename=/start/",
          "--file-filter=Firmware Files (*.bin) | *.bin *.hex", "--file-filter=All files (*.*) | *.*"}},
        {"zenity", "", 1, false, E_FAIL, "", "/start", {}, {"--file-selection"}},
        {"zenity", "/data/a.bin", 5, false, E_FAIL, "", "/start", {}, {}},
        {"zenity",
         "/d/a.bin\n/d/b.bin\n/d/c.bin\n",
         0,
         true,
         S_OK,
         "/d",
         "/d",
         {"/d/a.bin", "/d/b.bin", "/d/c.bin"},
         {"--multiple", "--separator=\n"}},
        {"kdialog",
         "/k/one.bin\n",
         0,
         false,
         S_OK,
         "/k/one.bin",
         "/k",
         {},
         {"--getopenfilename", "/start/", "*.bin *.hex|Firmware Files (*.bin)\n*.*|All files (*.*)", "Pick"}},
        {"kdialog",
         "/k/one.bin\n",
         0,
         true,
         S_OK,
         "/k",
         "/k",
         {"/k/one.bin"},
         {"--multiple", "--separate-output"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.out);
        Chooser chooser;
        chooser.Install(c.program, c.out, c.status);
        Platform::App::MessageLoop loop;
        RCPtr<LFileDialog> dialog(new LFileDialog(u"/start"));
        dialog->SetMessageLoop(&loop);
        EXPECT_EQ(dialog->DoModal(kFilter, u"*.bin", u"Pick", c.multiple), c.result);
        EXPECT_EQ(N(dialog->GetFileName()), c.fileName);
        EXPECT_EQ(N(dialog->GetFolder()), c.folder);
        ASSERT_EQ(dialog->GetResults().GetCount(), c.results.size());
        for (uint32_t i = 0; i < c.results.size(); ++i)
            EXPECT_EQ(N(dialog->GetResults()[i]), c.results[i]);
        const std::string args = "\n" + chooser.Args();
        for (const char* a : c.args)
            EXPECT_NE(args.find("\n" + std::string(a) + "\n"), std::string::npos) << a << " in" << args;
    }
}

TEST(FileDialog, NextUseOpensInTheChosenFolderAndTheLoopKeepsRunning)
{
    Chooser chooser;
    chooser.Install("zenity", "/first/place/x.bin", 0);
    Platform::App::MessageLoop loop;
    RCPtr<LFileDialog> dialog(new LFileDialog(u""));
    dialog->SetMessageLoop(&loop);
    bool ranWhileOpen = false;
    loop.Post([&] { ranWhileOpen = true; });
    ASSERT_EQ(dialog->DoModal(u"All|*", u"", u"", false), S_OK);
    EXPECT_TRUE(ranWhileOpen);
    EXPECT_EQ(chooser.Args().find("--filename"), std::string::npos);

    chooser.Install("zenity", "", 1);
    EXPECT_EQ(dialog->DoModal(u"All|*", u"", u"", false), E_FAIL);
    EXPECT_NE(chooser.Args().find("--filename=/first/place/\n"), std::string::npos);
    EXPECT_EQ(N(dialog->GetFolder()), "/first/place");
}

TEST(FileDialog, DefaultExtensionWithOrWithoutStarDotCompletesATypedName)
{
    for (const char16_t* extension : {u"*.bin", u"bin", u".bin"}) {
        Chooser chooser;
        chooser.bin.Write("image.bin", "x");
        chooser.Install("zenity", chooser.bin.Join("image"), 0);
        Platform::App::MessageLoop loop;
        RCPtr<LFileDialog> dialog(new LFileDialog(u""));
        dialog->SetMessageLoop(&loop);
        ASSERT_EQ(dialog->DoModal(u"Firmware", extension, u"", false), S_OK);
        EXPECT_EQ(N(dialog->GetFileName()), chooser.bin.Join("image.bin"));
        // A filter without a pattern filters nothing.
        EXPECT_EQ(chooser.Args().find("--file-filter"), std::string::npos);
    }
}

TEST(FileDialog, WithoutAChooserTheUserIsToldAndTheDialogCancels)
{
    TempFolder empty;
    ScopedEnv path("PATH", empty.Path());
    std::string told;
    Platform::App::SetMessageBoxHook(
        [&](uintptr_t, const std::string& text, const std::string& caption, uint32_t) {
            told = caption + ": " + text;
            return std::optional<int32_t>(Platform::App::IDOK);
        });
    Platform::App::MessageLoop loop;
    RCPtr<LFileDialog> dialog(new LFileDialog(u"/keep"));
    dialog->SetMessageLoop(&loop);
    EXPECT_EQ(dialog->DoModal(kFilter, u"bin", u"Open", false), E_FAIL);
    Platform::App::SetMessageBoxHook(nullptr);
    EXPECT_EQ(told.rfind("Open: No file chooser", 0), 0u) << told;
    EXPECT_EQ(N(dialog->GetFolder()), "/keep");
}
