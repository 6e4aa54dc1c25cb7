#pragma once

#include "Utilities/Storage/StringT.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A fresh folder under the temporary directory, removed with its contents.
class TempFolder
{
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavo-files-XXXXXX").string();
        mPath = mkdtemp(pattern.data());
    }
    ~TempFolder() { std::filesystem::remove_all(mPath); }

    const std::string& Path() const { return mPath; }
    std::string Join(const std::string& name) const { return mPath + "/" + name; }
    Tavo::WString WPath(const std::string& name = {}) const
    {
        return Tavo::WString(Tavo::NString((name.empty() ? mPath : Join(name)).c_str()));
    }
    void Write(const std::string& name, const std::string& content) const
    {
        std::ofstream(Join(name), std::ios::binary) << content;
    }
    std::string Read(const std::string& name) const
    {
        std::ifstream in(Join(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::string mPath;
};
