#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Application/ApplicationBase.h"
#include "Application/CommandLine.h"

namespace {

Tavo::WString W(const char* text)
{
    return Tavo::WString(Tavo::NString(text));
}

std::string N(const Tavo::WString& text)
{
    return Tavo::NString(text).c_str();
}

// The value, "<none>" for no match.
std::string Value(const char* line, const char* name)
{
    Tavo::WString value = W("untouched");
    return FindSwitch(W(line), W(name), &value) ? N(value) : "<none>";
}

TEST(FindSwitch, PlainSwitchesNeedASpaceOrTheEndAfterThem)
{
    EXPECT_TRUE(FindSwitch(W("-SILENT"), W("-SILENT"), nullptr));
    EXPECT_TRUE(FindSwitch(W("-x -silent -y"), W("-SILENT"), nullptr));
    EXPECT_FALSE(FindSwitch(W("-SILENTLY"), W("-SILENT"), nullptr));
    EXPECT_FALSE(FindSwitch(W(""), W("-SILENT"), nullptr));
    // Only the first occurrence counts, so a longer switch given first hides
    // the shorter one.
    EXPECT_FALSE(FindSwitch(W("-SILENT_IF_UPDATE_NOT_NEEDED -SILENT"), W("-SILENT"), nullptr));
    EXPECT_TRUE(
        FindSwitch(W("-SILENT -SILENT_IF_UPDATE_NOT_NEEDED"), W("-SILENT_IF_UPDATE_NOT_NEEDED"), nullptr));
    // Names too short or without the dash never match.
    EXPECT_FALSE(FindSwitch(W("- -"), W("-"), nullptr));
    EXPECT_FALSE(FindSwitch(W("SILENT"), W("SILENT"), nullptr));
}

TEST(FindSwitch, ValuesKeepTheirCaseAndStopAtASpaceOrTheClosingQuote)
{
    const char* name = "-ABSOLUTE_FIRMWARE_FILE_PATH=";
    EXPECT_EQ(Value("-absolute_firmware_file_path=/Tmp/Image.syx -SILENT", name), "/Tmp/Image.syx");
    EXPECT_EQ(Value("-ABSOLUTE_FIRMWARE_FILE_PATH=\"/tmp/my images/a b.bin\" -SILENT", name),
              "/tmp/my images/a b.bin");
    EXPECT_EQ(Value("-ABSOLUTE_FIRMWARE_FILE_PATH=\"/tmp/open ended", name), "/tmp/open ended");
    EXPECT_EQ(Value("-ABSOLUTE_FIRMWARE_FILE_PATH=", name), "");
    EXPECT_EQ(Value("-ABSOLUTE_FIRMWARE_FILE_PATH= /tmp/x.bin", name), "<none>");
    EXPECT_EQ(Value("-FIRMWARE_IMAGE_NAME=new.syx", "-FIRMWARE_IMAGE_NAME="), "new.syx");
    // Non-ASCII text keeps its place through the upper-casing.
    EXPECT_EQ(Value("-é -FIRMWARE_IMAGE_NAME=Grüße.syx", "-FIRMWARE_IMAGE_NAME="), "Grüße.syx");
}

TEST(JoinCommandLine, QuotesValuesWithSpacesOnceSoFindSwitchGetsThemBack)
{
    struct Case
    {
        std::vector<const char*> argv;
        const char* line;
        const char* path;  // what the switch finder reads back
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        const Tavo::WString line = W(Tavo::JoinCommandLine(int(c.argv.size()), c.argv.data()).c_str());
        EXPECT_EQ(N(line), c.line);
        Tavo::WString value;
        ASSERT_TRUE(FindSwitch(line, W("-ABSOLUTE_FIRMWARE_FILE_PATH="), &value)) << c.line;
        EXPECT_EQ(N(value), c.path);
    }
    EXPECT_TRUE(Tavo::JoinCommandLine(0, nullptr).empty());
}

}  // namespace
