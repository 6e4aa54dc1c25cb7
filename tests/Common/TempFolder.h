#pragma once

#include "Utilities/Storage/StringT.h"
#include "tests/Common/TestScope.h"

#include <fstream>
#include <string>

// A private temporary folder with wide paths and whole-file helpers.
class TempFolder : public TestFolder
{
public:
    std::string Join(const std::string& name) const { return *this / name; }
    Tavo::WString WPath(const std::string& name = {}) const
    {
        return Tavo::WString(Tavo::NString((name.empty() ? Path() : Join(name)).c_str()));
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
};
