# The program's version texts: the one place they are written. The version
# number is the top-level project's.
set(TAVO_VERSION_COMPANY_NAME "Tessaro DJ")
set(TAVO_VERSION_PRODUCT_NAME "k620 Zenta Firmware Updater")
set(TAVO_VERSION_PRODUCT_VERSION "${CMAKE_PROJECT_VERSION}")
# English (United States), UTF-16.
set(TAVO_VERSION_LANGUAGE 0x0409)
set(TAVO_VERSION_CODE_PAGE 1200)

# Writes the C++ source of the version block to OUT (rewritten only when the
# texts change).
function(tavo_generate_version_info out)
  set(fields COMPANY_NAME PRODUCT_NAME PRODUCT_VERSION)
  foreach(f ${fields})
    string(REPLACE "\\" "\\\\" v "${TAVO_VERSION_${f}}")
    string(REPLACE "\"" "\\\"" v "${v}")
    set(ESC_${f} "${v}")
  endforeach()
  file(CONFIGURE OUTPUT ${out} @ONLY CONTENT [=[
// Generated from cmake/VersionInfo.cmake; do not edit.
#include "Platform/Kernel/VersionResource.h"

namespace Tavo::Platform {

namespace {

const VersionString kStrings[] = {
    {"CompanyName", u"@ESC_COMPANY_NAME@"},
    {"ProductName", u"@ESC_PRODUCT_NAME@"},
    {"ProductVersion", u"@ESC_PRODUCT_VERSION@"},
};

const VersionTranslation kTranslations[] = {
    {@TAVO_VERSION_LANGUAGE@, @TAVO_VERSION_CODE_PAGE@, kStrings, sizeof kStrings / sizeof kStrings[0]},
};

const VersionResource kResource = {kTranslations, 1};

}  // namespace

const VersionResource* GetProgramVersionResource()
{
    return &kResource;
}

}  // namespace Tavo::Platform
]=])
endfunction()
