#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    EXPECT_TRUE(FindSwitch(W("-SILENT -SILENT_IF_UPDATE_NOT_NEEDED"), W("-SILENT_IF_UPDATE_NOT_NEEDED"), nullptr));
    // Names too short or without the dash never match.
    EXPECT_FALSE(FindSwitch(W("- -"), W("-"), nullptr));
    EXPECT_FALSE(FindSwitch(W("SILENT"), W("SILENT"), nullptr));
}

TEST(FindSwitch, ValuesKeepTheirCaseAndStopAtASpaceOrTheClosingQuote)
{
    const char* name = "-ABSOLUTE_FIRMWARE_FILE_PATH=";
    EXPECT_EQ(Value("-absolute_firmware_file_path=/Tmp/Image.syx -SILENT", name), "/Tmp/Image.syx");
    EXPECT_EQ(Value("-ABSOLUTE_FIRMWARE_FILE_PATH=\"/tmp/my images/a b.bin\" -SILENT", name), "/tmp/my images/a b.bin");
    EXPECT_EQ(Value("-ABSOLUTE_FIRMWARE_FILE_PATH=\"/tmp/open ended", name), "/tmp/open ended");
    EXPECT_EQ(Value("-ABSOLUTE_FIRMWARE_FILE_PATH=", name), "");
    EXPECT_EQ(Value("-ABSOLUTE_FIRMWARE_FILE_PATH= /tmp/x.bin", name), "<none>");
    EXPECT_EQ(Value("-FIRMWARE_IMAGE_NAME=new.syx", "-FIRMWARE_IMAGE_NAME="), "new.syx");
    // Non-ASCII text keeps its place through the upper-casing.
    EXPECT_EQ(Value("-é -FIRMWARE_IMAGE_NAME=Grüße.syx", "-FIRMWARE_IMAGE_NAME="), "Grüße.syx");
}

TEST(JoinCommandLine, QuotesValuesWithSpacesSoFindSwitchGetsThemBack)
{
    std::vector<const char*> argv = {"/opt/my apps/FirmwareUpdater", "-SILENT", "-ABSOLUTE_FIRMWARE_FILE_PATH=/tmp/a dir/fw 1.syx",
                                     "/tmp/plain path", "-FIRMWARE_IMAGE_NAME=x.syx"};
    const Tavo::WString line = JoinCommandLine(int(argv.size()), argv.data());
    EXPECT_EQ(N(line), "\"/opt/my apps/FirmwareUpdater\" -SILENT -ABSOLUTE_FIRMWARE_FILE_PATH=\"/tmp/a dir/fw 1.syx\" \"/tmp/plain path\" "
                       "-FIRMWARE_IMAGE_NAME=x.syx");
    Tavo::WString value;
    ASSERT_TRUE(FindSwitch(line, W("-ABSOLUTE_FIRMWARE_FILE_PATH="), &value));
    EXPECT_EQ(N(value), "/tmp/a dir/fw 1.syx");
    EXPECT_TRUE(FindSwitch(line, W("-SILENT"), nullptr));

    EXPECT_TRUE(JoinCommandLine(0, nullptr).IsEmpty());
}

} // namespace
