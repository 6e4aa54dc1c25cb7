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
    // Prints the bytes of out as they are, for names no shell quoting survives.
    void InstallRaw(const std::string& name, const std::string& out)
    {
        bin.Write("out", out);
        bin.Write(name, "#!/bin/sh\nPATH=/usr/bin:/bin exec cat '" + bin.Join("out") + "'\n");
        chmod(bin.Join(name).c_str(), 0755);
    }
    std::string Args() const { return bin.Read("args"); }
};

// Every "@" of text becomes folder.
std::string At(std::string text, const std::string& folder)
{
    for (size_t i = text.find('@'); i != std::string::npos; i = text.find('@', i + folder.size()))
        text.replace(i, 1, folder);
    return text;
}

// Records what the user is told instead of showing it.
struct ToldUser
{
    std::string text;
    ToldUser()
    {
        Platform::App::SetMessageBoxHook(
            [this](uintptr_t, const std::string& t, const std::string& caption, uint32_t) {
                text += caption + ": " + t + "\n";
                return std::optional<int32_t>(Platform::App::IDOK);
            });
    }
    ~ToldUser() { Platform::App::SetMessageBoxHook(nullptr); }
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
         "@/fw/k620.bin\n",
         0,
         false,
         S_OK,
         "@/fw/k620.bin",
         "@/fw",
         {},
         {"--file-selection", "--title=Pick", "--filename=/start/",
          "--file-filter=Firmware Files (*.bin) | *.bin *.hex", "--file-filter=All files (*.*) | *.*"}},
        {"zenity", "", 1, false, E_FAIL, "", "/start", {}, {"--file-selection"}},
        {"zenity", "/data/a.bin", 5, false, E_FAIL, "", "/start", {}, {}},
        {"zenity",
         "@/d/a.bin\n@/d/b.bin\n@/d/c.bin\n",
         0,
         true,
         S_OK,
         "@/d",
         "@/d",
         {"@/d/a.bin", "@/d/b.bin", "@/d/c.bin"},
         {"--multiple", "--separator=\n"}},
        {"kdialog",
         "@/k/one.bin\n",
         0,
         false,
         S_OK,
         "@/k/one.bin",
         "@/k",
         {},
         {"--getopenfilename", "/start/", "*.bin *.hex|Firmware Files (*.bin)\n*.*|All files (*.*)", "Pick"}},
        {"kdialog",
         "@/k/one.bin\n",
         0,
         true,
         S_OK,
         "@/k",
         "@/k",
         {"@/k/one.bin"},
         {"--multiple", "--separate-output"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.out);
        // The chosen files exist: the dialog hands back no path to nothing.
        TempFolder files;
        for (const char* sub : {"fw", "d", "k"})
            mkdir(files.Join(sub).c_str(), 0700);
        for (const char* name : {"fw/k620.bin", "d/a.bin", "d/b.bin", "d/c.bin", "k/one.bin"})
            files.Write(name, "x");
        const std::string root = files.Path();
        Chooser chooser;
        chooser.Install(c.program, At(c.out, root), c.status);
        Platform::App::MessageLoop loop;
        RCPtr<LFileDialog> dialog(new LFileDialog(u"/start"));
        dialog->SetMessageLoop(&loop);
        EXPECT_EQ(dialog->DoModal(kFilter, u"*.bin", u"Pick", c.multiple), c.result);
        EXPECT_EQ(N(dialog->GetFileName()), At(c.fileName, root));
        EXPECT_EQ(N(dialog->GetFolder()), At(c.folder, root));
        ASSERT_EQ(dialog->GetResults().GetCount(), c.results.size());
        for (uint32_t i = 0; i < c.results.size(); ++i)
            EXPECT_EQ(N(dialog->GetResults()[i]), At(c.results[i], root));
        const std::string args = "\n" + chooser.Args();
        for (const char* a : c.args)
            EXPECT_NE(args.find("\n" + std::string(a) + "\n"), std::string::npos) << a << " in" << args;
    }
}

TEST(FileDialog, NextUseOpensInTheChosenFolderAndTheLoopKeepsRunning)
{
    TempFolder first;
    first.Write("x.bin", "x");
    const std::string place = first.Path();
    Chooser chooser;
    chooser.Install("zenity", first.Join("x.bin"), 0);
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
    EXPECT_NE(chooser.Args().find("--filename=" + place + "/\n"), std::string::npos);
    EXPECT_EQ(N(dialog->GetFolder()), place);
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

// Names as the choosers print them: each full path, then a line feed. What
// comes back must be the very file chosen, or nothing and a word to the user.
TEST(FileDialog, ChosenNamesComeBackExactlyOrTheChoiceFailsAndTheUserIsTold)
{
    struct Case
    {
        const char* name;
        bool exact;
    };
    const Case cases[] = {
        {"two words.bin", true},
        {"it's \"quoted\" `$(x)`.bin", true},
        {"Grüße – 固件.bin", true},
        {"-leading dash.bin", true},
        {"back\\slash and \r inside.bin", true},
        {"line1\nline2.bin", false},
        {"ends in a line feed\n", false},
        {"trailing.bin\r", false},
    };
    for (const char* program : {"zenity", "kdialog"}) {
        for (bool multiple : {false, true}) {
            for (const auto& c : cases) {
                SCOPED_TRACE(std::string(program) + (multiple ? " multiple " : " single ") + c.name);
                TempFolder files;
                files.Write(c.name, "x");
                // What a cut or trimmed name would point at is there too.
                files.Write("line1", "x");
                files.Write("trailing.bin", "x");
                files.Write("ends in a line feed", "x");
                files.Write("other.bin", "x");
                const std::string path = files.Join(c.name);
                Chooser chooser;
                // A multiple choice holds a good name beside the one tried.
                chooser.InstallRaw(program, (multiple ? files.Join("other.bin") + "\n" : "") + path + "\n");
                Platform::App::MessageLoop loop;
                RCPtr<LFileDialog> dialog(new LFileDialog(u"/before"));
                dialog->SetMessageLoop(&loop);
                ToldUser told;
                const TavoResult result = dialog->DoModal(kFilter, u"*.bin", u"Open", multiple);
                if (c.exact) {
                    EXPECT_EQ(result, S_OK);
                    EXPECT_EQ(told.text, "");
                    if (multiple) {
                        ASSERT_EQ(dialog->GetResults().GetCount(), 2u);
                        EXPECT_EQ(N(dialog->GetResults()[1]), path);
                    } else {
                        EXPECT_EQ(N(dialog->GetFileName()), path);
                    }
                    EXPECT_EQ(N(dialog->GetFolder()), files.Path());
                } else {
                    EXPECT_EQ(result, E_FAIL);
                    EXPECT_EQ(told.text.rfind("Open: The chosen file's name holds a line break", 0), 0u)
                        << told.text;
                    EXPECT_EQ(N(dialog->GetFileName()), "");
                    EXPECT_EQ(dialog->GetResults().GetCount(), 0u) << "no part of the choice is kept";
                    EXPECT_EQ(N(dialog->GetFolder()), "/before");
                }
            }
        }
    }
}

TEST(FileDialog, AChosenFileThatIsNotThereIsAFailureTheUserIsToldOf)
{
    TempFolder files;
    files.Write("here.bin", "x");
    for (bool multiple : {false, true}) {
        Chooser chooser;
        // A relative name, and a full one of nothing.
        for (const std::string& out : {std::string("here.bin\n"), files.Join("gone.bin") + "\n"}) {
            SCOPED_TRACE(out);
            chooser.InstallRaw("zenity", (multiple ? files.Join("here.bin") + "\n" : "") + out);
            Platform::App::MessageLoop loop;
            RCPtr<LFileDialog> dialog(new LFileDialog(u"/before"));
            dialog->SetMessageLoop(&loop);
            ToldUser told;
            EXPECT_EQ(dialog->DoModal(kFilter, u"", u"Open", multiple), E_FAIL);
            EXPECT_NE(told.text, "");
            EXPECT_EQ(dialog->GetResults().GetCount(), 0u);
            EXPECT_EQ(N(dialog->GetFolder()), "/before");
        }
    }
}
