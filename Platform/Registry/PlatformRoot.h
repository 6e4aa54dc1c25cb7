#pragma once

#include "Platform/Kernel/PlatformFolders.h"

namespace TavoPlatform {

using Tavo::Platform::MakePrivateFolder;
using Tavo::Platform::PlatformFolder;
using Tavo::Platform::PlatformRoot;

} // namespace TavoPlatform
