#include "tools/mixer-sim/MadeFolders.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace MixerSim {

void MadeFolders::NoteAbsent(const std::string& path)
{
    struct stat st
    {
    };
    for (std::string p = path; p.size() > 1 && lstat(p.c_str(), &st) != 0 && errno == ENOENT;
         p = p.substr(0, p.rfind('/'))) {
        if (std::find(mAbsent.begin(), mAbsent.end(), p) == mAbsent.end())
            mAbsent.push_back(p);
        if (p.rfind('/') == std::string::npos)
            break;
    }
}

void MadeFolders::RemoveEmpty() const
{
    // A folder's path is longer than its parent's: longest first.
    std::vector<std::string> folders = mAbsent;
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    // rmdir takes only an empty folder.
    for (const std::string& folder : folders)
        rmdir(folder.c_str());
}

}  // namespace MixerSim
