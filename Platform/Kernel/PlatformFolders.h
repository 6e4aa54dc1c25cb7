#pragma once

#include <string>

namespace Tavo::Platform {

// Folder that holds the simulated platform (registry tree, MIDI port sockets,
// driver sockets): $TAVO_PLATFORM_ROOT, else $XDG_RUNTIME_DIR/tavo-platform,
// else /tmp/tavo-platform-<uid>. Only computes the path.
std::string PlatformRoot();

// PlatformRoot()/<name> (the root itself for an empty name), with both
// folders created (mode 0700) when missing. Empty when a folder cannot be
// made or is not ours.
std::string PlatformFolder(const std::string& name);

// PlatformRoot()/<name> when both are folders of this user already; else
// empty. Makes nothing: a run that only looks leaves the root as it found it.
std::string ExistingPlatformFolder(const std::string& name);

// Creates `path` and its missing parents with mode 0700; false when it is
// not a directory owned by this user afterwards.
bool MakePrivateFolder(const std::string& path);

}  // namespace Tavo::Platform
