#include <gtest/gtest.h>

#include "Platform/App/FileChooser.h"
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
    // Also answers --help... with help, and counts its runs.
    void InstallWithHelp(const std::string& name, const std::string& help, const std::string& out)
    {
        bin.Write(name, "#!/bin/sh\nprintf x >> '" + bin.Join("runs") +
                            "'\ncase \"$1\" in --help*) printf '%s' '" + help +
                            "'; exit 0;; esac\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                            bin.Join("args") + "'\nprintf '%s' '" + out + "'\n");
        chmod(bin.Join(name).c_str(), 0755);
    }
    size_t Runs() const { return bin.Read("runs").size(); }
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

// A dialog opening in `folder`, run on its own loop.
struct Dialog
{
    explicit Dialog(const char16_t* folder) : dialog(new LFileDialog(folder))
    {
        dialog->SetMessageLoop(&loop);
    }
    LFileDialog* operator->() const { return dialog.Get(); }
    Platform::App::MessageLoop loop;
    RCPtr<LFileDialog> dialog;
};

const WString kFilter = u"Firmware Files (*.bin)|*.bin;*.hex|All files (*.*)|*.*";

}  // namespace

// What comes back is what the chooser printed (each path, then a line feed)
// when it exits with 0, else nothing; a multiple choice keeps every path
// and names their folder.
TEST(FileDialog, ChoosesThroughEitherChooserHonouringCancelFilterAndFolder)
{
    const struct
    {
        const char *program, *out;
        int status;
        bool multiple;
        std::vector<const char*> args;  // each must be one whole argument
    } cases[] = {
        {"zenity",
         "@/fw/k620.bin\n",
         0,
         false,
         {"--file-selection", "--title=Pick", "--filename=/start/",
          "--file-filter=Firmware Files (*.bin) | *.bin *.hex", "--file-filter=All files (*.*) | *.*"}},
        {"zenity", "", 1, false, {"--file-selection"}},
        {"zenity", "/data/a.bin", 5, false, {}},
        {"zenity", "@/d/a.bin\n@/d/b.bin\n@/d/c.bin\n", 0, true, {"--multiple", "--separator=\n"}},
        {"kdialog",
         "@/k/one.bin\n",
         0,
         false,
         {"--getopenfilename", "/start/", "*.bin *.hex|Firmware Files (*.bin)\n*.*|All files (*.*)", "Pick"}},
        {"kdialog", "@/k/one.bin\n", 0, true, {"--multiple", "--separate-output"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.out);
        // The chosen files exist: the dialog hands back no path to nothing.
        TempFolder files;
        for (const char* sub : {"fw", "d", "k"})
            mkdir(files.Join(sub).c_str(), 0700);
        for (const char* name : {"fw/k620.bin", "d/a.bin", "d/b.bin", "d/c.bin", "k/one.bin"})
            files.Write(name, "x");
        const std::string out = At(c.out, files.Path());
        std::vector<std::string> chosen;
        for (size_t at = 0, end; c.status == 0 && (end = out.find('\n', at)) != out.npos; at = end + 1)
            chosen.push_back(out.substr(at, end - at));
        const std::string folder = chosen.empty() ? "/start" : chosen[0].substr(0, chosen[0].rfind('/'));
        Chooser chooser;
        chooser.Install(c.program, out, c.status);
        Dialog dialog(u"/start");
        EXPECT_EQ(dialog->DoModal(kFilter, u"*.bin", u"Pick", c.multiple), chosen.empty() ? E_FAIL : S_OK);
        EXPECT_EQ(N(dialog->GetFileName()), chosen.empty() ? "" : c.multiple ? folder : chosen[0]);
        EXPECT_EQ(N(dialog->GetFolder()), folder);
        ASSERT_EQ(dialog->GetResults().GetCount(), c.multiple ? chosen.size() : 0u);
        for (uint32_t i = 0; i < dialog->GetResults().GetCount(); ++i)
            EXPECT_EQ(N(dialog->GetResults()[i]), chosen[i]);
        const std::string args = "\n" + chooser.Args();
        for (const char* a : c.args)
            EXPECT_NE(args.find("\n" + std::string(a) + "\n"), std::string::npos) << a << " in" << args;
    }
}

TEST(FileDialog, NextUseOpensInTheChosenFolderAndTheLoopKeepsRunning)
{
    TempFolder first;
    first.Write("x.bin", "x");
    Chooser chooser;
    chooser.Install("zenity", first.Join("x.bin"), 0);
    Dialog dialog(u"");
    bool ranWhileOpen = false;
    dialog.loop.Post([&] { ranWhileOpen = true; });
    ASSERT_EQ(dialog->DoModal(u"All|*", u"", u"", false), S_OK);
    EXPECT_TRUE(ranWhileOpen);
    EXPECT_EQ(chooser.Args().find("--filename"), std::string::npos);

    chooser.Install("zenity", "", 1);
    EXPECT_EQ(dialog->DoModal(u"All|*", u"", u"", false), E_FAIL);
    EXPECT_NE(chooser.Args().find("--filename=" + first.Path() + "/\n"), std::string::npos);
    EXPECT_EQ(N(dialog->GetFolder()), first.Path());
}

TEST(FileDialog, DefaultExtensionWithOrWithoutStarDotCompletesATypedName)
{
    for (const char16_t* extension : {u"*.bin", u"bin", u".bin"}) {
        Chooser chooser;
        chooser.bin.Write("image.bin", "x");
        chooser.Install("zenity", chooser.bin.Join("image"), 0);
        Dialog dialog(u"");
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
    ToldUser told;
    Dialog dialog(u"/keep");
    EXPECT_EQ(dialog->DoModal(kFilter, u"bin", u"Open", false), E_FAIL);
    EXPECT_EQ(told.text.rfind("Open: No file chooser", 0), 0u) << told.text;
    EXPECT_EQ(N(dialog->GetFolder()), "/keep");
}

// What comes back must be the very file chosen, or nothing and a word to
// the user: names no line-based output carries exactly, and files not there.
TEST(FileDialog, ChosenNamesComeBackExactlyOrTheChoiceFailsAndTheUserIsTold)
{
    const char* const kBreak = "Open: The chosen file's name holds a line break";
    const char* const kGone = "Open: The chosen file cannot be found";
    const char* const kNotUtf8 = "Open: The chosen file's name is not valid UTF-8";
    const struct
    {
        const char* name;
        const char* told;  // null when the name comes back
        bool full = true;  // printed as a full path
    } cases[] = {
        {"two words.bin", nullptr},
        {"it's \"quoted\" `$(x)`.bin", nullptr},
        {"Grüße – 固件.bin", nullptr},
        {"-leading dash.bin", nullptr},
        {"back\\slash and \r inside.bin", nullptr},
        {"line1\nline2.bin", kBreak},
        {"ends in a line feed\n", kBreak},
        {"trailing.bin\r", kBreak},
        {"gone.bin", kGone},
        {"other.bin", kBreak, false},  // no full path: no line of its own
        {"odd\xFF\xFE.bin", kNotUtf8},
    };
    for (const char* program : {"zenity", "kdialog"}) {
        for (bool multiple : {false, true}) {
            for (const auto& c : cases) {
                SCOPED_TRACE(std::string(program) + (multiple ? " multiple " : " single ") + c.name);
                TempFolder files;
                if (c.told != kGone)
                    files.Write(c.name, "x");
                // What a cut or trimmed name would point at is there too.
                for (const char* there : {"line1", "trailing.bin", "ends in a line feed", "other.bin",
                                          "odd\xEF\xBF\xBD\xEF\xBF\xBD.bin"})
                    files.Write(there, "x");
                const std::string path = c.full ? files.Join(c.name) : c.name;
                Chooser chooser;
                // A multiple choice holds a good name beside the one tried.
                chooser.InstallRaw(program, (multiple ? files.Join("other.bin") + "\n" : "") + path + "\n");
                Dialog dialog(u"/before");
                ToldUser told;
                const TavoResult result = dialog->DoModal(kFilter, u"*.bin", u"Open", multiple);
                if (!c.told) {
                    EXPECT_EQ(result, S_OK);
                    EXPECT_EQ(told.text, "");
                    EXPECT_EQ(N(multiple ? dialog->GetResults()[dialog->GetResults().GetCount() - 1]
                                         : dialog->GetFileName()),
                              path);
                    EXPECT_EQ(dialog->GetResults().GetCount(), multiple ? 2u : 0u);
                    EXPECT_EQ(N(dialog->GetFolder()), files.Path());
                } else {
                    EXPECT_EQ(result, E_FAIL);
                    EXPECT_EQ(told.text.rfind(c.told, 0), 0u) << told.text;
                    EXPECT_EQ(N(dialog->GetFileName()), "");
                    EXPECT_EQ(dialog->GetResults().GetCount(), 0u) << "no part of the choice is kept";
                    EXPECT_EQ(N(dialog->GetFolder()), "/before");
                }
            }
        }
    }
}

// The chooser goes over the window as its child only with the options its
// own help lists: a chooser that does not know one would fail every choice.
TEST(FileDialog, TheChooserIsPutOverTheParentAsFarAsItsHelpAllows)
{
    const std::string kZenityHelp =
        "General options\n  --attach=WINDOW   Set the parent window to attach to\n"
        "  --modal           Set the modal hint\n";
    const std::string kKDialogHelp =
        "Options:\n  --attach <winid>  Makes the dialog transient for an X app\n";
    const struct
    {
        const char* program;
        std::string help;
        uint64_t parent;
        std::vector<const char*> present, absent;  // whole lines of the arguments
        size_t runs;
    } cases[] = {
        {"zenity", kZenityHelp, 77594625, {"--attach=77594625", "--modal"}, {}, 2},
        {"kdialog", kKDialogHelp, 77594625, {"--attach", "77594625"}, {"--modal"}, 2},
        {"zenity", kZenityHelp, 0, {}, {"--attach=0", "--modal"}, 1},
        {"zenity",
         "  --attach-to-parent X\n  --modality\n  --no-modal\n",
         5,
         {},
         {"--attach=5", "--modal"},
         2},
        {"zenity", "--modal", 5, {}, {"--attach=5", "--modal"}, 2},
        {"kdialog", "", 5, {}, {"--attach", "5"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.help + " " + std::to_string(c.parent));
        TempFolder files;
        files.Write("a.bin", "x");
        Chooser chooser;
        chooser.InstallWithHelp(c.program, c.help, files.Join("a.bin") + "\n");
        Platform::App::MessageLoop loop;
        Platform::App::FileChooserRequest request;
        request.parent = c.parent;
        const auto result = Platform::App::RunFileChooser(loop, request);
        ASSERT_TRUE(result);
        ASSERT_EQ(result->paths, std::vector<std::string>{files.Join("a.bin")});
        const std::string args = "\n" + chooser.Args();
        for (const char* a : c.present)
            EXPECT_NE(args.find("\n" + std::string(a) + "\n"), std::string::npos) << a << " in" << args;
        for (const char* a : c.absent)
            EXPECT_EQ(args.find("\n" + std::string(a) + "\n"), std::string::npos) << a << " in" << args;
        EXPECT_EQ(chooser.Runs(), c.runs);
    }
}
