#pragma once

#include "CleanEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// A private temporary folder, removed with its contents afterwards. Inside
// the folder the test's launcher removes after the test, so that a crashed
// test leaves nothing either; in the system's own when run without it.
class TestFolder
{
public:
    TestFolder()
    {
        const char* launcher = std::getenv(kTestFolderVariable);
        std::string pattern = launcher && *launcher
                                  ? std::string(launcher) + "/XXXXXX"
                                  : (std::filesystem::temp_directory_path() / "tavo-test-XXXXXX").string();
        // Without it every path would name the root's entries instead.
        if (!mkdtemp(pattern.data())) {
            std::perror(pattern.c_str());
            std::abort();
        }
        mPath = pattern;
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
