#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "Application/ApplicationBase.h"
#include "Application/CommandLine.h"

namespace {

const auto W = [](const char* text) { return Tavo::WString(Tavo::NString(text)); };
const auto N = [](const Tavo::WString& text) { return std::string(Tavo::NString(text).c_str()); };

TEST(FindSwitch, OneArgumentIsOneSwitchAndAValueIsTheRestOfItsArgument)
{
    const char* path = "-ABSOLUTE_FIRMWARE_FILE_PATH=";
    // What the switch finder reads back: "<none>" for no match, "-" for a plain switch found. A plain
    // switch is a whole argument; only the first argument starting with the name counts, so a longer
    // switch given first hides the shorter one; the program's own name is no switch; names too short or
    // without the dash never match; non-ASCII text keeps its place through the upper-casing.
    const std::array<const char*, 3> cases[] = {
        {"p -SILENT", "-SILENT", "-"},
        {"p -x -silent -y", "-SILENT", "-"},
        {"p -SILENTLY", "-SILENT", "<none>"},
        {"", "-SILENT", "<none>"},
        {"-SILENT", "-SILENT", "<none>"},
        {"p -SILENT_IF_UPDATE_NOT_NEEDED -SILENT", "-SILENT", "<none>"},
        {"p -SILENT -SILENT_IF_UPDATE_NOT_NEEDED", "-SILENT_IF_UPDATE_NOT_NEEDED", "-"},
        {"p - -", "-", "<none>"},
        {"p SILENT", "SILENT", "<none>"},
        // A switch inside another argument is none.
        {"p \"/a -SILENT b\"", "-SILENT", "<none>"},
        {"p x-SILENT", "-SILENT", "<none>"},
        {"p -absolute_firmware_file_path=/Tmp/Image.syx -SILENT", path, "/Tmp/Image.syx"},
        {"p -ABSOLUTE_FIRMWARE_FILE_PATH=\"/tmp/my images/a b.bin\" -SILENT", path, "/tmp/my images/a b.bin"},
        {"p -ABSOLUTE_FIRMWARE_FILE_PATH=", path, ""},
        {"p -ABSOLUTE_FIRMWARE_FILE_PATH= /tmp/x.bin", path, ""},
        {"p -é -FIRMWARE_IMAGE_NAME=Grüße.syx", "-FIRMWARE_IMAGE_NAME=", "Grüße.syx"},
        // Quotes that reached the program literally: one pair around the
        // whole value or the whole switch is the documented quoting; any
        // other quote is a character of the name.
        {"p \"-ABSOLUTE_FIRMWARE_FILE_PATH=\\\"/a b/c.syx\\\"\"", path, "/a b/c.syx"},
        {"p \"\\\"-ABSOLUTE_FIRMWARE_FILE_PATH=/d/x y.syx\\\"\"", path, "/d/x y.syx"},
        {"p \"\\\"-SILENT\\\"\"", "-SILENT", "-"},
        {"p \"-ABSOLUTE_FIRMWARE_FILE_PATH=/d/fw\\\" v2.syx\"", path, "/d/fw\" v2.syx"},
        {"p \"-ABSOLUTE_FIRMWARE_FILE_PATH=\\\"/d/open\"", path, "\"/d/open"},
        {"p \"-FIRMWARE_IMAGE_NAME=\\\"\\\"fw\\\"\\\"\"", "-FIRMWARE_IMAGE_NAME=", "\"fw\""},
        {"p \"-ABSOLUTE_FIRMWARE_FILE_PATH=/d/a \\\" -SILENT\" -X", "-SILENT", "<none>"}};
    for (const auto& [line, name, expected] : cases) {
        Tavo::WString value = W("-");
        EXPECT_EQ(FindSwitch(W(line), W(name), &value) ? N(value) : "<none>", expected) << line;
    }
}

// Whatever an argument holds, the joined line splits back into exactly the
// arguments, and the switch finder reads the image's path whole.
TEST(JoinCommandLine, SplitsBackIntoExactlyTheArguments)
{
    const struct
    {
        std::vector<std::string> arguments;
        const char* path;
    } cases[] = {
        {{"/opt/my apps/FirmwareUpdater", "-SILENT", "-ABSOLUTE_FIRMWARE_FILE_PATH=/tmp/a dir/fw 1.syx"},
         "/tmp/a dir/fw 1.syx"},
        {{"p", "-ABSOLUTE_FIRMWARE_FILE_PATH=/d/fw\" v2.syx", "-SILENT"}, "/d/fw\" v2.syx"},
        {{"p", "-ABSOLUTE_FIRMWARE_FILE_PATH=\"/d/fw", "\"", "x\""}, "\"/d/fw"},
        {{"p", "-ABSOLUTE_FIRMWARE_FILE_PATH=/d/a\\\" b\\\\\" c\\", "\\\\", "\\\"", "a\\b"},
         "/d/a\\\" b\\\\\" c\\"},
        {{"p", "-ABSOLUTE_FIRMWARE_FILE_PATH=/d/tab\there\nline", "", " ", "end\\"}, "/d/tab\there\nline"},
        {{"p", "\"-ABSOLUTE_FIRMWARE_FILE_PATH=/d/x y.syx\"", "-FIRMWARE_IMAGE_NAME=\"fw"}, "/d/x y.syx"},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv;
        for (const std::string& a : c.arguments)
            argv.push_back(a.c_str());
        const std::string line = Tavo::JoinCommandLine(int(argv.size()), argv.data());
        EXPECT_EQ(Tavo::SplitCommandLine(line), c.arguments) << line;
        Tavo::WString value;
        EXPECT_TRUE(FindSwitch(W(line.c_str()), W("-ABSOLUTE_FIRMWARE_FILE_PATH="), &value)) << line;
        EXPECT_EQ(N(value), c.path) << line;
    }
    EXPECT_TRUE(Tavo::JoinCommandLine(0, nullptr).empty());
    // Plain arguments stay as they are.
    const char* plain[] = {"u", "-SILENT", "-ABSOLUTE_FIRMWARE_FILE_PATH=/x\\y.syx"};
    EXPECT_EQ(Tavo::JoinCommandLine(3, plain), "u -SILENT -ABSOLUTE_FIRMWARE_FILE_PATH=/x\\y.syx");
}

}  // namespace
