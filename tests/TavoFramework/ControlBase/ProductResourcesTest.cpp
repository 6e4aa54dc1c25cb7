#include "ControlBase/ControlFactory.h"

#include <gtest/gtest.h>

#include "tests/Common/TestScope.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace Tavo;

namespace {

const std::filesystem::path kSource = TAVO_SOURCE_DIR;
const WString kAppName = u"Tessaro DJ_DEVICE_FAMILY_NAME_String_FirmwareUpdater";

std::string ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The same document as UTF-16LE with a byte-order mark and a matching declaration.
std::string ToUtf16(std::string utf8)
{
    const std::string from = "encoding=\"UTF-8\"";
    if (auto pos = utf8.find(from); pos != std::string::npos)
        utf8.replace(pos, from.size(), "encoding=\"UTF-16\"");
    const WString wide(utf8.c_str());
    std::string out = "\xFF\xFE";
    for (char16_t ch : std::u16string_view(wide.c_str())) {
        out.push_back(static_cast<char>(ch & 0xFF));
        out.push_back(static_cast<char>(ch >> 8));
    }
    return out;
}

class ProductResources : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        // Inside the test's own folder, which goes however the test ends.
        mDir = mFolder.Path();
        auto copy = [this](const std::filesystem::path& from, const char* name) {
            std::string bytes = ReadFile(from);
            ASSERT_FALSE(bytes.empty()) << from;
            std::ofstream(mDir / name, std::ios::binary) << (GetParam() ? ToUtf16(bytes) : bytes);
        };
        copy(kSource / "FirmwareUpdater/Resources/Skins.xml", "Skins.xml");
        copy(kSource / "FirmwareUpdater/Resources/StringTables.xml", "StringTables.xml");
        copy(kSource / "TavoFramework/Resources/FrameworkStrings.xml", "FrameworkStrings.xml");
        mFactory = LControlFactory::Create(kAppName);
        ASSERT_EQ(mFactory->LoadResources(ToWString(mDir.u16string()), 1033), S_OK)
            << NString(mFactory->GetLastErrorText()).c_str();
    }

    WString Text(const WString& table, const WString& id)
    {
        auto t = mFactory->GetStringTable(table);
        WString text = u"<missing>";
        if (t)
            t->FindString(id, text);
        return text;
    }

    TestFolder mFolder;
    std::filesystem::path mDir;
    RCPtr<LControlFactory> mFactory;
};

}  // namespace

// Both encodings read the same tree and texts, including the characters
// beyond ASCII and the white space the product keeps.
TEST_P(ProductResources, SkinAndStringTablesReadInEitherEncoding)
{
    ASSERT_EQ(mFactory->GetSkinCount(), 1);
    EXPECT_EQ(mFactory->GetApplicationName(), kAppName);
    auto main = mFactory->FindDescriptorByName(u"mainControl");
    ASSERT_TRUE(main);
    EXPECT_EQ(main->GetChildren().size(), 17u);
    EXPECT_FALSE(mFactory->FindDescriptorByName(u"mainMenu"));  // not at the top level
    // The framework makes these two by name from the skin.
    for (auto [name, cls] :
         {std::pair{u"toolTip", u"Framework.ToolTip"}, {u"contextMenu", u"Framework.PopupMenu"}}) {
        ASSERT_TRUE(mFactory->FindDescriptorByName(name));
        EXPECT_EQ(mFactory->FindDescriptorByName(name)->GetClassName(), cls);
    }

    const WString mc = u"FirmwareUpdater.MainControl|";
    EXPECT_EQ(Text(mc + u"labelFirmwareFileInformation", u"LABEL_FIRMARE_FILE_FOUND_VERSION_KNOWN"), u"   ");
    EXPECT_EQ(
        Text(mc + u"labelDeviceInformation", u"LABEL_NO_DEVICE_FOUND"),
        u"K620 ZENTA device not found.\nPlug in the K620 ZENTA and click the \"SCAN FOR DEVICE\" button.");
    EXPECT_GE(Text(mc + u"labelUpdateProcessInformation", u"LABEL")
                  .Find(u"4. Once \u201CUPDATE FIRMWARE?\u201D is displayed release the buttons.\n5."),
              0);
    EXPECT_EQ(Text(mc + u"mainMenu", u"CONTEXT_MENU0.00.NID_MENU_FILE_SELECT"), u"Select Firmware File");
    EXPECT_EQ(Text(u"Framework.ProgressBar|percentCompleteLabel", u"LABEL"), u"99");
    WString text;
    EXPECT_TRUE(mFactory->GetFrameworkStringTable()->FindString(u"GL_ERROR_CAPTION", text));
    EXPECT_EQ(text, u"OpenGL Error");
}

INSTANTIATE_TEST_SUITE_P(Encodings, ProductResources, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Utf16" : "Utf8"; });

TEST(EmbeddedResources, LoadThroughTheResourceLookup)
{
    const std::string skins = ReadFile(kSource / "FirmwareUpdater/Resources/Skins.xml");
    const std::string app = ReadFile(kSource / "FirmwareUpdater/Resources/StringTables.xml");
    const std::string fw = ReadFile(kSource / "TavoFramework/Resources/FrameworkStrings.xml");
    std::vector<WString> asked;
    LControlFactory::SetResourceLookup([&](const WString& type, const WString& name) {
        asked.push_back(type + u":" + name);
        const std::string* bytes = name == u"APP_SKINS"           ? &skins
                                   : name == u"APP_STRINGS"       ? &app
                                   : name == u"FRAMEWORK_STRINGS" ? &fw
                                                                  : nullptr;
        if (!bytes)
            return std::span<const uint8_t>();
        return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
    });
    auto f = LControlFactory::Create(kAppName);
    f->SetResourceBasePath(u"::");
    EXPECT_EQ(f->LoadStringTables(u"::APP_STRINGS", u"::FRAMEWORK_STRINGS", 1033), S_OK);
    EXPECT_EQ(f->LoadSkins(u"::APP.SKINS"), S_OK);
    EXPECT_EQ(f->LoadSkins(u"::MISSING"), E_FAIL);
    LControlFactory::SetResourceLookup(nullptr);
    EXPECT_TRUE(f->FindDescriptorByName(u"mainControl"));
    EXPECT_EQ(asked.front(), u"TavoXML:APP_STRINGS");
    EXPECT_EQ(asked[asked.size() - 2], u"TavoXML:APP_SKINS");
}
