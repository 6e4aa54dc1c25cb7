#pragma once

#include <string>
#include <vector>
#include <string_view>

namespace Tavo::Platform::App {

// Each folder can be replaced through an environment variable so that tests
// and packaged runs never touch the real home folder:
//   Program        TAVO_PROGRAM_DIR         else the folder of /proc/self/exe
//   CommonAppData  TAVO_COMMON_APPDATA_DIR  else first of $XDG_DATA_DIRS, /usr/local/share
//   UserAppData    TAVO_USER_APPDATA_DIR    else $XDG_DATA_HOME, ~/.local/share
//   Documents      TAVO_DOCUMENTS_DIR       else $XDG_DOCUMENTS_DIR, user-dirs.dirs, ~
//   UserConfig     TAVO_CONFIG_DIR          else $XDG_CONFIG_HOME, ~/.config
enum class FolderId { Program, CommonAppData, UserAppData, Documents, UserConfig };

// The folder without a trailing "/", created when missing (except Program);
// empty when it cannot be found or made.
std::string GetSystemFolder(FolderId id);

// The data folder of a program: base + "/" + company + "/" + product, each
// name made a valid file name and each level created when missing (a
// failed creation still returns the path). Empty when the base is.
std::string GetProgramDataFolder(FolderId base, std::string_view company, std::string_view product);

// Replaces every character that may not appear in a file name on the
// program's original platform with "_".
std::string MakeValidFileName(std::string_view name);

// A per-user folder of mode 0700 for locks and sockets. TAVO_RUNTIME_DIR
// alone when set; else the first that can be trusted of $XDG_RUNTIME_DIR/tavo,
// $TMPDIR (or /tmp)/tavo-<uid> and $XDG_CACHE_HOME (or ~/.cache)/tavo-run. A folder is
// trusted when it is a real folder (no symbolic link) owned by this user
// with no rights for anyone else.
struct RuntimeFolder
{
    std::string path;  // empty when none can be trusted
    // Each folder passed over, as "FOLDER: why".
    std::vector<std::string> refused;
};
RuntimeFolder FindUserRuntimeFolder();
// Its path alone.
std::string UserRuntimeFolder();

// mkdir -p; true when the folder exists afterwards.
bool CreateFolderPath(const std::string& path, unsigned mode);

}  // namespace Tavo::Platform::App
