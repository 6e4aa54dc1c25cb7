// The firmware file: its state, its version from the name, the version
// compare of the interface, and reading the image.

#include "Engine/FirmwareImage.h"
#include "EngineTestSupport.h"
#include "tests/Common/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace EngineTest;
using Posts = std::vector<std::string>;
using E = LUpdateEngineInterface;

namespace {

class FirmwareFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mRecorder = PostRecorder::Create();
        mEngine = ScriptedEngine::Create();
    }
    void TearDown() override
    {
        mEngine = nullptr;
        mRecorder->Take();
        mRecorder->UnsubscribeAll();
    }

    WString Make(const std::string& name, const std::string& content = "image")
    {
        mFolder.Write(name, content);
        return mFolder.WPath(name);
    }
    static WString Wide(const std::string& text) { return WString(NString(text.c_str())); }

    RCPtr<PostRecorder> mRecorder;
    RCPtr<ScriptedEngine> mEngine;
    TempFolder mFolder;
};

TEST_F(FirmwareFile, PresentFileGetsTheFixedVersionWhateverItsName)
{
    const WString path = Make("FW_V9_99.bin");
    EXPECT_EQ(S_OK, mEngine->SetFirmwareFile(path));
    EXPECT_EQ(E::kFileValid, mEngine->GetFileState());
    Version v;
    EXPECT_EQ(S_OK, mEngine->GetFileFirmwareVersion(v));
    EXPECT_EQ((std::vector<uint32_t>{0, 0, 3, 7}), std::vector<uint32_t>(v.mNumbers, v.mNumbers + 4));
    WString text;
    EXPECT_EQ(S_OK, mEngine->GetFileFirmwareVersionText(text));
    EXPECT_TRUE(text == u"1.2");
    EXPECT_EQ((Posts{"NID_FIRMWARE_FILE_STATE_CHANGE 3 0"}), mRecorder->Take());

    // The same file again changes nothing; a missing one keeps its path.
    EXPECT_EQ(S_OK, mEngine->SetFirmwareFile(path));
    const WString missing = Wide(mFolder / "missing.bin");
    EXPECT_EQ(E_FAIL, mEngine->SetFirmwareFile(missing));
    EXPECT_EQ((Posts{"NID_FIRMWARE_FILE_STATE_CHANGE 1 3"}), mRecorder->Take());
    WString stored;
    EXPECT_EQ(S_OK, mEngine->GetFirmwarePath(stored));
    EXPECT_TRUE(stored == missing);
    EXPECT_EQ(E_FAIL, mEngine->GetFileFirmwareVersionText(text));
    EXPECT_TRUE(text == u"N/A");
    // The version read before stays, but is not vouched for.
    EXPECT_EQ(E_FAIL, mEngine->GetFileFirmwareVersion(v));
    EXPECT_EQ(7u, v.mNumbers[3]);

    // A folder is no firmware file.
    EXPECT_EQ(E_FAIL, mEngine->SetFirmwareFile(Wide(mFolder.Path())));
    EXPECT_EQ(E::kFileMissing, mEngine->GetFileState());
}

TEST_F(FirmwareFile, VersionPromotesOnlyAFileOfUnknownVersion)
{
    mEngine->SetFirmwareFile(Make("a.bin"));
    mRecorder->Take();
    mEngine->SetFirmwareVersion(MakeVersion(2, 0, 0, 0, u"2.0.0"));
    EXPECT_EQ(E::kFileValid, mEngine->GetFileState());

    mEngine->SetFileState(E::kFileVersionUnknown);
    WString text;
    EXPECT_EQ(E_FAIL, mEngine->GetFileFirmwareVersionText(text));
    EXPECT_TRUE(text == u"N/A");
    mEngine->SetFirmwareVersion(MakeVersion(2, 1, 0, 0, u"2.1.0"));
    EXPECT_EQ((Posts{"NID_FIRMWARE_FILE_STATE_CHANGE 2 3", "NID_FIRMWARE_FILE_STATE_CHANGE 3 2"}),
              mRecorder->Take());

    mEngine->SetFileState(E::kFileMissing);
    mEngine->SetFirmwareVersion(MakeVersion(3, 0, 0, 0));
    EXPECT_EQ(E::kFileMissing, mEngine->GetFileState());
}

TEST_F(FirmwareFile, VersionFromTheFileName)
{
    struct Case
    {
        std::string path;
        bool parsed;
        std::vector<uint32_t> numbers;
        const char16_t* text;
    } cases[] = {
        {"/fw/FW_V12_34.syx", true, {12, 3, 4, 0}, u"12.3.4"},
        {"/fw/name_v1_23.bin", true, {1, 2, 3, 0}, u"1.2.3"},
        // A backslash is a character of the name, not a separator.
        {"/fw/X_V0_379\\a.bin", true, {0, 3, 7, 0}, u"0.3.7"},
        {"/fw/dir_V1_23\\plain.bin", true, {1, 2, 3, 0}, u"1.2.3"},
        {"fw/a_V1_23_V2_34", true, {1, 2, 3, 0}, u"1.2.3"},
        {"/fw/name_v07_1x.bin", false, {}, nullptr},
        {"/fw/name_V1_2", false, {}, nullptr},
        {"/fw/name_V1-23", false, {}, nullptr},
        {"/fw/nameV1_23", false, {}, nullptr},
        {"/dir_V1_23/plain.bin", false, {}, nullptr},
    };
    for (const Case& c : cases) {
        const Version before = MakeVersion(9, 9, 9, 9, u"before");
        mEngine->SetFirmwareFile(Wide(c.path), before);
        EXPECT_EQ(c.parsed, mEngine->ParseFirmwareVersion()) << c.path;
        Version v;
        mEngine->GetFileFirmwareVersion(v);
        if (c.parsed) {
            EXPECT_EQ(c.numbers, std::vector<uint32_t>(v.mNumbers, v.mNumbers + 4)) << c.path;
            EXPECT_TRUE(v.mText == c.text) << c.path;
        } else {
            EXPECT_EQ(9u, v.mNumbers[0]) << c.path;
            EXPECT_TRUE(v.mText == u"before") << c.path;
        }
    }
    mEngine->SetFirmwareFile(WString(), MakeVersion(0, 0, 0, 0));
    EXPECT_FALSE(mEngine->ParseFirmwareVersion());
}

TEST_F(FirmwareFile, InterfaceCompareLooksAtThreeNumbersOnly)
{
    mEngine->SetSupportedDevices({});
    struct Case
    {
        Version device;
        Version file;
        bool newer;
    } cases[] = {
        {MakeVersion(1, 2, 3, 0), MakeVersion(1, 2, 3, 9), false},
        {MakeVersion(1, 2, 3, 0), MakeVersion(1, 2, 4, 0), true},
        {MakeVersion(1, 2, 3, 0), MakeVersion(1, 3, 0, 0), true},
        {MakeVersion(1, 9, 9, 0), MakeVersion(2, 0, 0, 0), true},
        {MakeVersion(2, 0, 0, 0), MakeVersion(1, 9, 9, 0), false},
        {MakeVersion(0x80000000u, 0, 0, 0), MakeVersion(1, 0, 0, 0), false},
    };
    const WString path = Make("a.bin");
    for (const Case& c : cases) {
        mEngine->scanResult = {{false, 0, c.device}};
        mEngine->ScanForDevices();
        mEngine->SetFirmwareFile(path, c.file);
        EXPECT_EQ(c.newer, mEngine->IsFileNewerThanDevice());
    }
    // Nothing to compare with: no file, or no device selected.
    mEngine->SetFileState(E::kFileVersionUnknown);
    EXPECT_FALSE(mEngine->IsFileNewerThanDevice());
    mEngine->SetFirmwareFile(path, MakeVersion(9, 0, 0, 0));
    mEngine->scanResult = {{}, {}};
    mEngine->ScanForDevices();
    EXPECT_FALSE(mEngine->IsFileNewerThanDevice());
}

TEST_F(FirmwareFile, ImageIsReadWholeOrNotAtAll)
{
    std::string content(1000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7);
    Array<uint8_t> image;
    EXPECT_EQ(S_OK, ReadFirmwareImage(Make("fw.bin", content), image));
    ASSERT_EQ(content.size(), image.GetCount());
    EXPECT_EQ(0, std::memcmp(content.data(), image.GetData(), content.size()));

    // A backslash is a character of the name: that file is not there, and
    // the one a separator in its place would name is not read instead.
    EXPECT_EQ(E_FAIL, ReadFirmwareImage(Wide(mFolder.Path() + "\\fw.bin"), image));
    EXPECT_EQ(0u, image.GetCount());

    for (const WString& bad : {Make("empty.bin", ""), Wide(mFolder / "missing.bin"), Wide(mFolder.Path()),
                               WString(u"fw.bin"), WString(), Wide(mFolder.Path() + "/")}) {
        EXPECT_EQ(E_FAIL, ReadFirmwareImage(bad, image)) << NString(bad).c_str();
        EXPECT_EQ(0u, image.GetCount());
    }
}

}  // namespace
