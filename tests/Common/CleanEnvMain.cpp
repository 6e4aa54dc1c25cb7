// tavo_clean_env PROGRAM [ARGUMENT...]: runs PROGRAM (found on PATH) with
// the tests' clean environment (CleanEnvironment.h) and nothing else of the
// caller's. ctest starts every test through it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "CleanEnvironment.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: tavo_clean_env PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    std::vector<std::string> env = CleanEnvironment();
    std::vector<char*> envp = CStrings(env);
    execvpe(argv[1], argv + 1, envp.data());
    std::fprintf(stderr, "tavo_clean_env: cannot run %s: %s\n", argv[1], std::strerror(errno));
    return 127;
}
