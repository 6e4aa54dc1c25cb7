#pragma once

#include <string>
#include <vector>

namespace MixerSim {

// The folders a run finds absent and makes. On the way out it removes those
// that are empty again, so it leaves behind what was there before and what
// others put there, nothing of its own.
class MadeFolders
{
public:
    // Notes `path` and its parents that do not exist yet; before making them.
    void NoteAbsent(const std::string& path);
    // Removes every noted folder that is empty, deepest first.
    void RemoveEmpty() const;

private:
    std::vector<std::string> mAbsent;
};

}  // namespace MixerSim
