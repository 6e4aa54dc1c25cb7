#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "Application/ApplicationBase.h"
#include "Application/CommandLine.h"
#include "Platform/Kernel/TextCoding.h"

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

// Random arguments of quotes, backslashes, blanks, line breaks, empty ones
// and every form that is not UTF-8 come back one for one from the joined
// line, through the wide text the program reads it as: each exactly, or
// with U+FFFD for the bytes that are not UTF-8, so the image's path is then
// refused. Nothing is cut off, and nothing runs into the next argument.
TEST(JoinCommandLine, RandomArgumentsComeBackOneForOneOrAreRefused)
{
    const char* const pieces[] = {"\"",
                                  "\\",
                                  " ",
                                  "\t",
                                  "\n",
                                  "a",
                                  "-SILENT",
                                  "x.syx",
                                  "\xC3\xA9",
                                  "\xF0\x9F\x8E\xB9",
                                  "\xEF\xBF\xBD",
                                  "\xFF",
                                  "\xE9",
                                  "\xC0\xAF",
                                  "\xED\xA0\x80",
                                  "\xED\xBF\xBF",
                                  "\xF4\x90\x80\x80",
                                  "\xE2\x82"};
    std::mt19937 random(20261208);
    const auto argument = [&] {
        std::string a;
        for (size_t n = random() % 6; n > 0; --n)
            a += pieces[random() % std::size(pieces)];
        return a;
    };
    for (int round = 0; round < 2000; ++round) {
        const std::string path = "/" + argument();
        std::vector<std::string> arguments{"p", "-ABSOLUTE_FIRMWARE_FILE_PATH=" + path};
        for (size_t n = random() % 5; n > 0; --n)
            arguments.insert(arguments.begin() + 1 + random() % arguments.size(), argument());
        std::vector<const char*> argv;
        for (const std::string& a : arguments)
            argv.push_back(a.c_str());
        const std::string line = Tavo::JoinCommandLine(int(argv.size()), argv.data());
        const Tavo::WString wide(line.c_str());
        const std::vector<std::u16string> split =
            Tavo::SplitCommandLine(std::u16string_view(wide.c_str(), wide.GetLength()));
        ASSERT_EQ(split.size(), arguments.size()) << line;
        for (size_t i = 0; i < split.size(); ++i)
            EXPECT_EQ(split[i], Tavo::Platform::FromUtf8(arguments[i])) << line;
        Tavo::WString value;
        ASSERT_TRUE(FindSwitch(wide, W("-ABSOLUTE_FIRMWARE_FILE_PATH="), &value)) << line;
        if (Tavo::Platform::IsExactUtf8(path))
            EXPECT_EQ(N(value), path) << line;
        else
            EXPECT_GE(value.Find(u'\uFFFD'), 0) << line;
    }
}

}  // namespace
