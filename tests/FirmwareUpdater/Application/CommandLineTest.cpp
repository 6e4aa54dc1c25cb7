#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "Application/ApplicationBase.h"
#include "Application/CommandLine.h"

namespace {

const auto W = [](const char* text) { return Tavo::WString(Tavo::NString(text)); };
const auto N = [](const Tavo::WString& text) { return std::string(Tavo::NString(text).c_str()); };

TEST(FindSwitch, SwitchesEndAtASpaceAndValuesKeepTheirCaseUpToASpaceOrTheClosingQuote)
{
    const char* path = "-ABSOLUTE_FIRMWARE_FILE_PATH=";
    // What the switch finder reads back: "<none>" for no match, "-" for a plain switch found. A plain
    // switch needs a space or the end after it; only the first occurrence counts, so a longer switch given
    // first hides the shorter one; names too short or without the dash never match; non-ASCII text keeps
    // its place through the upper-casing.
    const std::array<const char*, 3> cases[] = {
        {"-SILENT", "-SILENT", "-"},
        {"-x -silent -y", "-SILENT", "-"},
        {"-SILENTLY", "-SILENT", "<none>"},
        {"", "-SILENT", "<none>"},
        {"-SILENT_IF_UPDATE_NOT_NEEDED -SILENT", "-SILENT", "<none>"},
        {"-SILENT -SILENT_IF_UPDATE_NOT_NEEDED", "-SILENT_IF_UPDATE_NOT_NEEDED", "-"},
        {"- -", "-", "<none>"},
        {"SILENT", "SILENT", "<none>"},
        {"-absolute_firmware_file_path=/Tmp/Image.syx -SILENT", path, "/Tmp/Image.syx"},
        {"-ABSOLUTE_FIRMWARE_FILE_PATH=\"/tmp/my images/a b.bin\" -SILENT", path, "/tmp/my images/a b.bin"},
        {"-ABSOLUTE_FIRMWARE_FILE_PATH=\"/tmp/open ended", path, "/tmp/open ended"},
        {"-ABSOLUTE_FIRMWARE_FILE_PATH=", path, ""},
        {"-ABSOLUTE_FIRMWARE_FILE_PATH= /tmp/x.bin", path, "<none>"},
        {"-é -FIRMWARE_IMAGE_NAME=Grüße.syx", "-FIRMWARE_IMAGE_NAME=", "Grüße.syx"}};
    for (const auto& [line, name, expected] : cases) {
        Tavo::WString value = W("-");
        EXPECT_EQ(FindSwitch(W(line), W(name), &value) ? N(value) : "<none>", expected) << line;
    }
}

TEST(JoinCommandLine, QuotesValuesWithSpacesOnceSoFindSwitchGetsThemBack)
{
    const struct
    {
        std::vector<const char*> argv;
        const char *line, *path;
    } cases[] = {
        {{"/opt/my apps/FirmwareUpdater", "-SILENT", "-ABSOLUTE_FIRMWARE_FILE_PATH=/tmp/a dir/fw 1.syx",
          "/tmp/plain path"},
         "\"/opt/my apps/FirmwareUpdater\" -SILENT -ABSOLUTE_FIRMWARE_FILE_PATH=\"/tmp/a dir/fw 1.syx\" "
         "\"/tmp/plain path\"",
         "/tmp/a dir/fw 1.syx"},
        // Quoted by the caller already: kept as it came.
        {{"u", "-ABSOLUTE_FIRMWARE_FILE_PATH=\"/a b/img.syx\"", "\"/c d\""},
         "u -ABSOLUTE_FIRMWARE_FILE_PATH=\"/a b/img.syx\" \"/c d\"",
         "/a b/img.syx"},
        {{"u", "-ABSOLUTE_FIRMWARE_FILE_PATH=/x.syx", "a=b c"},
         "u -ABSOLUTE_FIRMWARE_FILE_PATH=/x.syx a=\"b c\"",
         "/x.syx"},
    };
    for (const auto& c : cases) {
        const Tavo::WString line = W(Tavo::JoinCommandLine(int(c.argv.size()), c.argv.data()).c_str());
        EXPECT_EQ(N(line), c.line);
        Tavo::WString value;
        EXPECT_TRUE(FindSwitch(line, W("-ABSOLUTE_FIRMWARE_FILE_PATH="), &value) && N(value) == c.path)
            << c.line;
    }
    EXPECT_TRUE(Tavo::JoinCommandLine(0, nullptr).empty());
}

}  // namespace
