#pragma once

#include <cstdint>

// The entry points of the settings library libIniFileManager.so, shared by
// the library and its loader so that both agree on names and arguments.
// Texts are NUL-terminated UTF-8; key paths are "/"-separated; arrays are
// the children "0", "1", ... of a key. String reads fill a buffer of the
// given size and report the size the text needs, terminator included; they
// return INI_BUFFER_TOO_SMALL when it does not fit.

namespace Tavo::Platform::App {

inline constexpr int32_t INI_OK = 0;
inline constexpr int32_t INI_DEFAULT_USED = 1;  // no value under the key
inline constexpr int32_t INI_BAD_HANDLE = -1;
inline constexpr int32_t INI_BUFFER_TOO_SMALL = -2;
inline constexpr int32_t INI_BAD_ARGUMENT = -3;
inline constexpr int32_t INI_NOT_FOUND = -4;
inline constexpr int32_t INI_IO_ERROR = -5;
inline constexpr int32_t INI_NOT_A_NUMBER = -6;
// The file has no write permission for its owner: it is read, never written.
inline constexpr int32_t INI_READ_ONLY = -7;
// Something other than a regular file (a FIFO, a device, a folder) is at the path.
inline constexpr int32_t INI_NOT_A_FILE = -8;

using OpenIniFileFn = int32_t (*)(const char* path, const char* settingsVersion, const char* productName,
                                  uint32_t* handle);
using WriteIniFileFn = int32_t (*)(uint32_t handle);
// save != 0 writes pending changes first.
using CloseIniFileFn = int32_t (*)(uint32_t handle, int32_t save);
using DoesNodeExistFn = uint8_t (*)(uint32_t handle, const char* path);
using GetIniValueIntFn = int32_t (*)(uint32_t handle, const char* path, int32_t defaultValue, int32_t* value);
using SetIniValueIntFn = int32_t (*)(uint32_t handle, const char* path, int32_t value);
using GetIniValueStrFn = int32_t (*)(uint32_t handle, const char* path, const char* defaultValue,
                                     char* buffer, uint32_t bufferSize, uint32_t* neededSize);
using SetIniValueStrFn = int32_t (*)(uint32_t handle, const char* path, const char* value);
using GetKeyCountFn = int32_t (*)(uint32_t handle, const char* path, uint32_t* count);
using GetKeyNameAtFn = int32_t (*)(uint32_t handle, const char* path, int32_t index, char* buffer,
                                   uint32_t bufferSize, uint32_t* neededSize);
using GetArrayCountFn = int32_t (*)(uint32_t handle, const char* path, uint32_t* count);
using SetArrayCountFn = int32_t (*)(uint32_t handle, const char* path, int32_t count);
using GetArrayItemAtFn = int32_t (*)(uint32_t handle, const char* path, int32_t index, char* buffer,
                                     uint32_t bufferSize, uint32_t* neededSize);
using SetArrayItemAtFn = int32_t (*)(uint32_t handle, const char* path, int32_t index, const char* value);
using RemoveArrayItemAtFn = int32_t (*)(uint32_t handle, const char* path, int32_t index);

}  // namespace Tavo::Platform::App
