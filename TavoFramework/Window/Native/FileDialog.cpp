#include "Window/Native/FileDialog.h"

#include "Application/FrameworkApp.h"
#include "Platform/App/FileChooser.h"
#include "Platform/App/MessageBox.h"
#include "Platform/Kernel/TextCoding.h"
#include "Window/Native/WindowHost.h"

#include <sys/stat.h>

namespace Tavo {

namespace {

std::string Narrow(const WString& text)
{
    return Platform::ToUtf8(std::u16string(text.c_str()));
}
WString Wide(const std::string& text)
{
    return WString(Platform::FromUtf8(text).c_str());
}

bool FileExists(const std::string& path)
{
    struct stat st
    {
    };
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The folder part of a path: up to its last "/", the whole text without one.
std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return path;
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::vector<Platform::App::FileFilter> ParseFilter(const std::string& filter)
{
    std::vector<Platform::App::FileFilter> out;
    size_t start = 0;
    bool description = true;
    while (start <= filter.size() && !filter.empty()) {
        size_t end = filter.find('|', start);
        if (end == std::string::npos)
            end = filter.size();
        std::string part = filter.substr(start, end - start);
        if (description) {
            if (part.empty() && end == filter.size())
                break;  // a trailing "|"
            out.push_back({part, {}});
        } else {
            out.back().patterns = part;
        }
        description = !description;
        start = end + 1;
    }
    return out;
}

// A name typed without extension takes the default one when that file exists.
std::string WithDefaultExtension(const std::string& path, const std::string& extension)
{
    if (extension.empty() || FileExists(path))
        return path;
    size_t slash = path.rfind('/');
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (name.find('.') != std::string::npos)
        return path;
    std::string extended = path + "." + extension;
    return FileExists(extended) ? extended : path;
}

void Tell(const WString& text, const WString& title)
{
    const uint32_t style = Platform::App::MB_OK | Platform::App::MB_ICONERROR;
    if (LFrameworkApp* app = GetFrameworkApp())
        app->MessageBox(text, title, style);
    else
        Platform::App::ShowMessageBox(0, Narrow(text), Narrow(title), style);
}

// The window the chooser goes over: the active one of the program's, else
// its first; 0 when it has none on the display.
uint64_t OwnerWindow()
{
    LFrameworkApp* app = GetFrameworkApp();
    if (!app)
        return 0;
    RCPtr<IAppRootWindow> owner = app->GetTopRootWindow();
    if (!owner && !app->GetRootWindows().empty())
        owner = app->GetRootWindows().front();
    return owner ? owner->GetNativeHandle() : 0;
}

// While the chooser runs, the program's windows take no input: another
// program's dialog is modal on them. They still paint and hear the rest.
class InputToChooser
{
public:
    InputToChooser() : mBefore(WindowHost::ModalWindow())
    {
        WindowHost::SetModalWindow(WindowHost::kOtherProgramsWindow);
    }
    ~InputToChooser() { WindowHost::SetModalWindow(mBefore); }
    InputToChooser(const InputToChooser&) = delete;
    InputToChooser& operator=(const InputToChooser&) = delete;

private:
    Platform::Window::WindowId mBefore;
};

}  // namespace

LFileDialog::LFileDialog(const WString& initialFolder) : mFolder(initialFolder) {}

LFileDialog::~LFileDialog() = default;

TavoResult LFileDialog::DoModal(const WString& filter, const WString& defaultExtension, const WString& title,
                                bool multiple)
{
    if (mOpen)
        return E_FAIL;
    mFileName = WString();

    std::string extension = Narrow(defaultExtension);
    if (extension.rfind("*.", 0) == 0)
        extension.erase(0, 2);
    else if (extension.rfind('.', 0) == 0)
        extension.erase(0, 1);

    Platform::App::FileChooserRequest request;
    request.title = Narrow(title);
    request.filters = ParseFilter(Narrow(filter));
    request.folder = Narrow(mFolder);
    request.multiple = multiple;
    request.parent = OwnerWindow();

    std::optional<Platform::App::FileChooserResult> result;
    {
        mOpen = true;
        InputToChooser modal;
        result = Platform::App::RunFileChooser(mLoop ? *mLoop : Platform::App::MainMessageLoop(), request);
        mOpen = false;
    }

    if (!result) {
        Tell(u"No file chooser is available on this desktop. Install zenity or kdialog to choose files.",
             title);
        return E_FAIL;
    }
    if (!result->error.empty()) {
        Tell(Wide(result->error), title);
        return E_FAIL;
    }
    if (!result->chosen)
        return E_FAIL;

    // Only files that are there: nothing the chooser printed may turn into
    // a path of something else.
    std::vector<std::string> paths;
    for (const auto& chosen : result->paths) {
        std::string path = WithDefaultExtension(chosen, extension);
        if (!FileExists(path)) {
            Tell(WString(u"The chosen file cannot be found: ") + Wide(path), title);
            return E_FAIL;
        }
        paths.push_back(std::move(path));
    }
    if (multiple) {
        for (const auto& path : paths)
            mResults.Add(Wide(path));
        mFolder = Wide(FolderOf(paths.front()));
        mFileName = mFolder;
    } else {
        mFileName = Wide(paths.front());
        mFolder = Wide(FolderOf(paths.front()));
    }
    return S_OK;
}

}  // namespace Tavo
