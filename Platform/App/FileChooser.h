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

// The command line (program name first) that asks kind for an existing file.
std::vector<std::string> FileChooserArguments(FileChooserKind kind, const FileChooserRequest& request);

// Reads the chooser's output: one full path per line, a single line unless
// multiple. Output that cannot be told apart from a name holding a line
// break, or ending in a carriage return, is refused with an error.
FileChooserResult ParseChooserOutput(const std::string& output, int exitStatus, bool multiple = false);

// Runs the installed chooser and waits for it inside loop, which keeps
// dispatching (painting, timers) meanwhile. Nothing when no chooser is
// installed. A quit that reaches the inner run ends the chooser and is passed
// on to the outer run.
std::optional<FileChooserResult> RunFileChooser(IMessageLoop& loop, const FileChooserRequest& request);

}  // namespace Tavo::Platform::App
