#pragma once

#include "Platform/App/MessageLoop.h"

#include <optional>
#include <string>
#include <vector>

namespace Tavo::Platform::App {

// The desktop's own file chooser, run as a child process that prints the
// chosen paths on its standard output.
enum class FileChooserKind { None, Zenity, KDialog };

struct FileFilter
{
    std::string description;
    // Patterns separated by ";", as in "*.bin;*.hex"; empty filters nothing.
    std::string patterns;
};

struct FileChooserRequest
{
    std::string title;
    std::vector<FileFilter> filters;
    // Where the chooser opens; empty for its own default.
    std::string folder;
    bool multiple = false;
    // The window (an X window id) the chooser is put over as its child; 0
    // for none.
    uint64_t parent = 0;
};

// Options of the installed chooser that put it over the program's window,
// as its help lists them.
struct ChooserOptions
{
    bool attach = false;  // made the child of a window given by its id
    bool modal = false;   // marked modal on that window
};

struct FileChooserResult
{
    // False when the user cancelled or the chooser failed.
    bool chosen = false;
    std::vector<std::string> paths;
    // Why the chooser's answer cannot be used although a file was chosen (a
    // name it cannot print exactly); empty otherwise.
    std::string error;
};

// The full path of an executable file named name in a folder of $PATH, or
// empty.
std::string FindOnPath(const std::string& name);

// The first chooser installed: zenity, then kdialog.
FileChooserKind FindFileChooser();

// The command line (program name first) that asks kind for an existing file;
// over the request's parent where options allow it.
std::vector<std::string> FileChooserArguments(FileChooserKind kind, const FileChooserRequest& request,
                                              const ChooserOptions& options = {});

// The command line that prints kind's help on all its options.
std::vector<std::string> ChooserHelpArguments(FileChooserKind kind);
// Which of the options ChooserOptions names the help text lists.
ChooserOptions ReadChooserHelp(const std::string& help);

// Reads the chooser's output: one full path per line, a single line unless
// multiple. Output that cannot be told apart from a name holding a line
// break, or ending in a carriage return, is refused with an error.
FileChooserResult ParseChooserOutput(const std::string& output, int exitStatus, bool multiple = false);

// Runs the installed chooser and waits for it inside loop, which keeps
// dispatching (painting, timers) meanwhile. With a parent, the chooser's help
// is read first (inside loop as well) and the chooser put over the parent as
// far as it can be. Nothing when no chooser is installed. A quit that reaches
// the inner run ends the chooser and is passed on to the outer run.
std::optional<FileChooserResult> RunFileChooser(IMessageLoop& loop, const FileChooserRequest& request);

}  // namespace Tavo::Platform::App
