#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// A private temporary folder, removed with its contents afterwards.
class TestFolder
{
public:
    TestFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavo-test-XXXXXX").string();
        mPath = mkdtemp(pattern.data());
    }
    ~TestFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(mPath, ec);
    }
    const std::string& Path() const { return mPath; }
    std::string operator/(const std::string& name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

// Sets an environment variable for the scope and restores the old value.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::string& value) : mName(name)
    {
        if (const char* old = std::getenv(name))
            mOld = old, mHadOld = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (mHadOld)
            setenv(mName.c_str(), mOld.c_str(), 1);
        else
            unsetenv(mName.c_str());
    }

private:
    std::string mName;
    std::string mOld;
    bool mHadOld = false;
};
