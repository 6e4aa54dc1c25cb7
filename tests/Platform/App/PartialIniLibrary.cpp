// A settings library that lacks most entry points, for the loader's tests.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t OpenIniFile(const char*, const char*, const char*,
                                                                      uint32_t* handle)
{
    *handle = 42;
    return 0;
}
