#pragma once

// The environment the tests give every program they start: a clean list and
// what the test sets, never the rest of the caller's. A TAVO_RUNTIME_DIR,
// HOME or DISPLAY of whoever runs the tests reaches no program, so no result
// depends on who runs them. ctest starts every test through tavo_clean_env,
// which gives the test itself the same.

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// The folder the launcher (CleanEnvMain.cpp) makes for one test and removes
// after it, however it ended; the test's temporary folders go inside.
inline constexpr const char kTestFolderVariable[] = "TAVO_TEST_FOLDER";

// Taken from this process: where programs are found, the sanitizers'
// settings (the leak checker's suppressions, say) and the test's folder.
inline constexpr const char* kKeptVariables[] = {
    "PATH",         "ASAN_OPTIONS",         "LSAN_OPTIONS",         "UBSAN_OPTIONS",    "TSAN_OPTIONS",
    "MSAN_OPTIONS", "ASAN_SYMBOLIZER_PATH", "LLVM_SYMBOLIZER_PATH", kTestFolderVariable};

// The clean list, then `given` ("NAME=VALUE"): an entry replaces an earlier
// one of the same name; one without "=" is left out.
inline std::vector<std::string> CleanEnvironment(const std::vector<std::string>& given = {})
{
    // One locale whoever runs the tests; it shows the US English texts.
    // Without HOME, Mesa would keep its shader cache in the real user's home.
    std::vector<std::string> env = {"LANG=C.UTF-8", "MESA_SHADER_CACHE_DISABLE=true"};
    for (const char* name : kKeptVariables)
        if (const char* value = std::getenv(name))
            env.push_back(std::string(name) + "=" + value);
    for (const std::string& entry : given) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string_view name(entry.data(), equals + 1);
        std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
        env.push_back(entry);
    }
    return env;
}

// "NAME=VALUE" of a variable this test set in its own process, to pass it
// on; empty (left out by CleanEnvironment) when unset.
inline std::string PassOn(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(name) + "=" + value : std::string();
}

// The strings as the array of pointers exec and posix_spawn take; valid
// while `strings` lives unchanged.
inline std::vector<char*> CStrings(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}
