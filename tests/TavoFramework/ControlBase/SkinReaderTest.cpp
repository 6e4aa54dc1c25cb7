#include "ControlBase/ControlFactory.h"

#include <gtest/gtest.h>

#include "tests/Common/TempFolder.h"
#include "tests/Common/ThrownText.h"

#include <stdexcept>
#include <string>

using namespace Tavo;

namespace {

RCPtr<LControlFactory> Parse(const std::string& body)
{
    auto f = LControlFactory::Create(u"App");
    const std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root>" + body + "</Root>";
    EXPECT_EQ(f->ParseXML(doc.c_str(), 0), S_OK) << NString(f->GetLastErrorText()).c_str();
    return f;
}

const char* kLooks = R"(
<Colorizers>
  <Colorizer Name="c1" ColorType="SolidFill" Color="0xFF43E346"/>
  <Colorizer Name="c1" ColorType="SolidFill" Color="0xFF000000"/>
  <Colorizer Name="rgb" ColorType="SolidFill" Color="43E346"/>
  <Colorizer Name="grad" ColorType="LinearGradient" Color="0xFF000000" GradientEndColor="0xFFFFFFFF" GradientStartX="0" GradientStartY="0" GradientEndX="1" GradientEndY="1"/>
  <Colorizer Name="halfGrad" ColorType="LinearGradient" Color="0xFF000000" GradientEndColor="0xFFFFFFFF" GradientStartX="0" GradientStartY="0" GradientEndX="1"/>
  <Colorizer Name="noColor" ColorType="SolidFill"/>
</Colorizers>
<Parts>
  <Part Name="p1" Width="4" Height="5" ResizeType="Tile" ColorizerName="c1"/>
  <Part Name="p1" Width="9" Height="9" ResizeType="Center" ColorizerName="c1"/>
  <Part Name="img" Width="8" Height="6" ResizeType="Center" ImageFile="a.png" ImageLocX="1" ImageLocY="2"/>
  <Part Name="imgNoLoc" Width="8" Height="6" ResizeType="Stretch" ImageFile="a.png" ColorizerName="c1"/>
  <Part Name="imgNoLocNoColor" Width="8" Height="6" ResizeType="Stretch" ImageFile="a.png"/>
  <Part Name="noHeight" Width="8" ResizeType="Stretch" ColorizerName="c1"/>
</Parts>
<Looks>
  <Look Name="l1">
    <ClientPart Name="p1" OffsetLeft="1" OffsetTop="2" OffsetRight="3" OffsetBottom="4"/>
    <NonClientParts>
      <NonClientPart Name="img" OffsetLeft="5" OffsetBottom="6" Width="10"/>
      <NonClientPart Name="unknown" OffsetLeft="5"/>
    </NonClientParts>
    <TextProperties TextLeftRel="0" TextLeftAbs="1" TextRightRel="1" TextRightAbs="-1" TextHAlign="0.5" TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="p1"/>
  </Look>
  <Look Name="l2">
    <TextProperties TextLeftRel="0" TextLeftAbs="1" TextRightRel="1" TextRightAbs="-1" TextHAlign="0.5" TextTopRel="0" TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5"/>
  </Look>
</Looks>
<LookLists>
  <LookList Name="list" NumLooks="3"><Look Name="l1" Index="0"/><Look Name="l1" Index="2"/><Look Name="nope" Index="1"/><Look Name="l2" Index="99"/></LookList>
  <LookList Name="list" NumLooks="5"><Look Name="l2" Index="0"/></LookList>
  <LookList Name="huge" NumLooks="2000000000"/>
</LookLists>
)";

}  // namespace

TEST(SkinReader, RecordsAndFirstDefinitionWins)
{
    auto f = Parse(kLooks);
    ASSERT_TRUE(f->FindColorizer(u"c1"));
    EXPECT_EQ(f->FindColorizer(u"c1")->color.ToARGB(), 0xFF43E346u);
    EXPECT_EQ(f->FindColorizer(u"rgb")->color.ToARGB(), 0x0043E346u);
    EXPECT_EQ(f->FindColorizer(u"grad")->type, LColorizer::kLinearGradient);
    EXPECT_EQ(f->FindColorizer(u"halfGrad")->type, LColorizer::kSolid);
    EXPECT_FALSE(f->FindColorizer(u"noColor"));

    ASSERT_TRUE(f->FindPart(u"p1"));
    EXPECT_EQ(f->FindPart(u"p1")->width, 4);
    EXPECT_EQ(f->FindPart(u"img")->imageRect.y, 2);
    // Without a location the image is dropped; a colorizer still makes a part.
    ASSERT_TRUE(f->FindPart(u"imgNoLoc"));
    EXPECT_TRUE(f->FindPart(u"imgNoLoc")->image.IsEmpty());
    EXPECT_FALSE(f->FindPart(u"imgNoLocNoColor"));
    EXPECT_FALSE(f->FindPart(u"noHeight"));

    auto l1 = f->FindLook(u"l1");
    ASSERT_TRUE(l1 && l1->clientPart);
    EXPECT_EQ(l1->clientPart->offsetMask, 15);
    ASSERT_EQ(l1->dockedParts.size(), 1u);  // the unknown part is left out
    EXPECT_EQ(l1->dockedParts[0]->offsetMask, LDockedPart::kLeft | LDockedPart::kBottom);
    EXPECT_TRUE(l1->dockedParts[0]->fixedWidth && !l1->dockedParts[0]->fixedHeight);
    EXPECT_TRUE(l1->hasTextProperties);
    EXPECT_FALSE(f->FindLook(u"l2")->hasTextProperties);  // no foreground part

    // A second list of the same name keeps the first and its slots.
    auto list = f->FindLookList(u"list");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->GetCount(), 3u);
    EXPECT_EQ(*list->GetItemPtr(0), l1);
    EXPECT_EQ(*list->GetItemPtr(2), l1);
    EXPECT_FALSE(*list->GetItemPtr(1));
    EXPECT_FALSE(f->FindLookList(u"huge"));
}

TEST(SkinReader, SubControlLayoutAndSkins)
{
    auto f = Parse(std::string(kLooks) + R"(
<FontLocale LCID="0x0409"/>
<Skins>
  <Skin Name="S" FontName="Arial" FontSize="8.25" FontStyle="0">
    <SubControl Class="X.Main" Name="main" IsVisible="False" TabStop="7" XSizeAbs="300" FontName="Tahoma" FontSize="9">
      <Skin Name="mainSkin" LookList="list">
        <SubControl Class="X.B" Name="b" LayoutOrder="2" IsVisible="False" TabStop="3" ClipToParent="true"
          XPositionToControl="main" YPositionToControl="Screen" XSizeToControl="Children" YSizeToControl="Self"
          XMinSizeToControl="Self" XMaxSizeToControl="main" XPositionAbs="-12" YSizeRel="0.5"
          TextOverflowXType="Wrap" TextOverflowYType="Wrap" XIsDocked="True" YIsDocked="true"/>
        <SubControl Class="X.A" Name="a" LayoutOrder="1" TextOverflowXType="Expand" TextOverflowYType="Expand">
          <CreateParamList>
            <CreateParam ID="DEFER_CREATE"> true
</CreateParam>
            <CreateParam ID="TEXT">a &amp; b</CreateParam>
          </CreateParamList>
        </SubControl>
      </Skin>
    </SubControl>
  </Skin>
</Skins>)");
    ASSERT_EQ(f->GetSkinCount(), 1);
    auto root = f->GetSkinRoot(0);
    EXPECT_EQ(root->GetClassName(), u"Application");
    EXPECT_EQ(root->GetSkin()->fontSize, 8.25f);

    ASSERT_EQ(root->GetChildren().size(), 1u);
    auto main = root->GetChildren()[0];
    // Directly under a skin root, IsVisible and TabStop are ignored.
    EXPECT_TRUE(main->GetLayout()->visible);
    EXPECT_EQ(main->GetLayout()->tabStop, 0);
    EXPECT_EQ(main->GetLayout()->y.sizeAbs, 40.0);
    EXPECT_EQ(main->GetSkin()->fontStyle, -1);
    EXPECT_EQ(main->GetSkin()->lookList, f->FindLookList(u"list"));

    // Children end up sorted by layout order.
    ASSERT_EQ(main->GetChildren().size(), 2u);
    auto a = main->GetChildren()[0], b = main->GetChildren()[1];
    EXPECT_EQ(a->GetName(), u"a");
    const auto& lb = *b->GetLayout();
    EXPECT_FALSE(lb.visible);
    EXPECT_EQ(lb.tabStop, 3);
    EXPECT_FALSE(lb.clipToParent);  // only "True" is true
    EXPECT_TRUE(lb.x.docked && !lb.y.docked);
    EXPECT_EQ(lb.x.positionRef, 2);
    EXPECT_EQ(lb.y.positionRef, 0);
    EXPECT_EQ(lb.x.sizeRef, 3);
    EXPECT_EQ(lb.y.sizeRef, 2);
    EXPECT_EQ(lb.x.minRef, 0);
    EXPECT_EQ(lb.x.maxRef, 1);
    EXPECT_EQ(lb.x.sizeAbs, 16.0);
    EXPECT_EQ(lb.textOverflowX, 2);
    EXPECT_EQ(lb.textOverflowY, 0);
    EXPECT_EQ(a->GetLayout()->textOverflowY, 1);
    // A nested skin without font attributes on its SubControl is unset.
    EXPECT_FALSE(b->GetSkin());

    EXPECT_TRUE(a->IsDeferredCreate());
    WString text;
    EXPECT_TRUE(a->GetCreateParams()->FindString(u"TEXT", text));
    EXPECT_EQ(text, u"a & b");
}

TEST(SkinReader, FontTranslationFollowsTheLocale)
{
    auto f = LControlFactory::Create(u"App");
    // No source found: the fallback still ends on English.
    EXPECT_EQ(f->LoadStringTables(u"/nonexistent/a.xml", u"/nonexistent/b.xml", 1041), S_OK);
    ASSERT_EQ(f->GetCurrentLCID(), 9);
    // A hexadecimal font locale reads as 0 and never matches.
    const std::string doc = R"(<R>
      <FontLocale LCID="0x0009"/><FontXLat Name="Arial" XLat="Never"/>
      <FontLocale LCID="9"/><FontXLat Name="Arial" XLat="Gothic"/><FontXLat Name="Arial" XLat="Second"/>
      <Skin Name="S"><SubControl Class="C" Name="n" FontName="Arial"><Skin Name="inner"/></SubControl>
      <SubControl Class="C" Name="m" FontName="Tahoma"><Skin Name="inner"/></SubControl></Skin></R>)";
    ASSERT_EQ(f->ParseXML(doc.c_str(), 0), S_OK);
    EXPECT_EQ(f->GetSkinRoot(0)->GetChildren()[0]->GetSkin()->fontName, u"Gothic");
    EXPECT_EQ(f->GetSkinRoot(0)->GetChildren()[1]->GetSkin()->fontName, u"Tahoma");
}

TEST(SkinReader, BadInputGivesErrorsNotCrashes)
{
    auto f = LControlFactory::Create(u"App");
    const char* truncated =
        "<Root><Colorizers><Colorizer Name=\"c\" ColorType=\"SolidFill\" Color=\"FF00FF00\"/>\n<Parts";
    EXPECT_EQ(f->ParseXML(truncated, 0), E_FAIL);
    EXPECT_FALSE(f->GetLastErrorText().IsEmpty());
    EXPECT_EQ(f->GetLastErrorLine(), 2);
    // Records read before the error stay.
    EXPECT_TRUE(f->FindColorizer(u"c"));

    const std::string bad = "<Root>\n<Skin Name=\"S\">\n<SubControl Name=\"x\"/></Skin></Root>";
    EXPECT_EQ(ThrownText<Exception<std::runtime_error>>([&] { f->ParseXML(bad.c_str(), 0); }),
              "Runtime Error : Bad Subcontrol Element : Tavo::LControlFactory::XMLStartElement : "
              "ControlBase\\ControlFactory : Line 1089");
    EXPECT_EQ(f->GetLastErrorLine(), 3);

    // From a file the error is caught and reported.
    TempFolder dir;
    dir.Write("bad.xml", bad);
    EXPECT_EQ(f->LoadSkins(dir.WPath("bad.xml")), E_FAIL);
    EXPECT_EQ(std::string(NString(f->GetLastErrorText()).c_str()).find("Bad Subcontrol Element"), 16u);
    dir.Write("empty.xml", "");
    for (const WString& path : {dir.WPath("missing.xml"), WString(), dir.WPath(), dir.WPath("empty.xml")})
        EXPECT_EQ(f->LoadSkins(path), E_FAIL);

    // Absurdly deep trees are refused rather than exhausting the stack.
    std::string deep = "<R><Skin Name=\"S\">";
    for (int i = 0; i < 5000; ++i)
        deep += "<SubControl Class=\"C\" Name=\"n\">";
    EXPECT_THROW(f->ParseXML(deep.c_str(), 0), std::runtime_error);

    // Unknown elements, stray end tags and elements out of place are ignored.
    const char* odd =
        "<R><Whatever/><LookList Name=\"x\" NumLooks=\"-3\"/><Look Name=\"q\" Index=\"0\"/>"
        "<ClientPart Name=\"p\" OffsetLeft=\"0\" OffsetTop=\"0\" OffsetRight=\"0\" OffsetBottom=\"0\"/>"
        "<LookLists><Skin Name=\"S\"><SubControl Class=\"C\" "
        "Name=\"n\"><LookLists/></SubControl></Skin></LookLists>"
        "<CreateParam ID=\"x\">y</CreateParam><String ID=\"s\"><Locale LCID=\"0\">t</Locale></String></R>";
    EXPECT_EQ(f->ParseXML(odd, 0), S_OK);
    EXPECT_FALSE(f->FindLookList(u"x"));
}

TEST(StringTables, LocaleFallbackAndTables)
{
    TempFolder dir;
    dir.Write("app.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<Root><Application Name="Pellax">
  <StringTable ID="|Pellax">
    <String ID="A"><Locale LCID="0x0009">english</Locale><Locale LCID="0x7c04">chinese</Locale><Locale LCID="0x000400">four</Locale></String>
    <String ID="B"><Locale LCID="9">decimal nine</Locale><Locale LCID="0X0009">capital x</Locale></String>
    <String ID="D"><Locale LCID="1031">deutsch</Locale></String>
  </StringTable>
  <StringTable ID="Pellax|mainControl"><String ID="LABEL"><Locale LCID="0x0009"> two
lines </Locale></String></StringTable>
  <StringTable ID="|Pellax"><String ID="C"><Locale LCID="0x0009">more</Locale></String></StringTable>
</Application></Root>)");
    dir.Write("fw.xml", R"(<Root><StringTable ID="Framework">
    <String ID="HOURS"><Locale LCID="0x0009">Hours</Locale><Locale LCID="0x7c04">hours-zh</Locale></String>
    </StringTable></Root>)");
    const WString app = dir.WPath("app.xml"), fw = dir.WPath("fw.xml");

    struct Case
    {
        int32_t lcid;
        int32_t finalLcid;
        const char16_t* a;
    };
    // The framework source has no Simplified Chinese, so 2052 ends on 9.
    for (const Case& c : {Case{1033, 9, u"english"}, Case{1028, 31748, u"chinese"},
                          Case{3076, 31748, u"chinese"}, Case{5124, 31748, u"chinese"},
                          Case{2052, 9, u"four"}, Case{9, 9, u"english"}, Case{1031, 9, nullptr}}) {
        auto f = LControlFactory::Create(u"Unnamed");
        EXPECT_EQ(f->LoadStringTables(app, fw, c.lcid), S_OK);
        EXPECT_EQ(f->GetApplicationName(), u"Pellax");
        auto table = f->GetApplicationStringTable();
        ASSERT_TRUE(table) << c.lcid;
        WString text = u"unchanged";
        if (c.a) {
            EXPECT_TRUE(table->FindString(u"A", text)) << c.lcid;
            EXPECT_EQ(text, c.a) << c.lcid;
        } else {
            // Another language's texts add nothing, not even an empty entry.
            EXPECT_FALSE(table->FindString(u"A", text));
            EXPECT_TRUE(table->FindString(u"D", text));
        }
        EXPECT_EQ(f->GetCurrentLCID(), c.finalLcid) << c.lcid;
    }

    auto f = LControlFactory::Create(u"Unnamed");
    f->LoadStringTables(app, fw, 1033);
    WString text;
    auto table = f->GetApplicationStringTable();
    // "9" in decimal matches; "0X0009" reads as decimal 0 and does not.
    EXPECT_TRUE(table->FindString(u"B", text));
    EXPECT_EQ(text, u"decimal nine");
    EXPECT_TRUE(f->GetControlStringTable(nullptr, u"mainControl")->FindString(u"LABEL", text));
    EXPECT_EQ(text, u" two\nlines ");
    EXPECT_TRUE(f->GetFrameworkStringTable()->FindString(u"HOURS", text));
    // Lookups hand out copies.
    table->SetString(u"C", u"changed");
    f->GetApplicationStringTable()->FindString(u"C", text);
    EXPECT_EQ(text, u"more");
}

// A document whose entities expand without bound is refused by the parser,
// and the reason is kept like that of any other parse error.
TEST(SkinReader, ARefusedEntityExpansionKeepsTheParsersReason)
{
    std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE R [\n<!ENTITY a0 \"laughing\">\n";
    for (int i = 1; i <= 12; ++i)
        doc += "<!ENTITY a" + std::to_string(i) + " \"" + [&] {
            std::string ten;
            for (int k = 0; k < 10; ++k)
                ten += "&a" + std::to_string(i - 1) + ";";
            return ten;
        }() + "\">\n";
    doc += "]>\n<R><Colorizers><Colorizer Name=\"&a12;\" ColorType=\"SolidFill\" Color=\"FF00FF00\"/>"
           "</Colorizers></R>";
    auto f = LControlFactory::Create(u"App");
    EXPECT_EQ(f->ParseXML(doc.c_str(), 0), E_FAIL);
    const std::string reason = NString(f->GetLastErrorText()).c_str();
    EXPECT_FALSE(reason.empty());
    EXPECT_NE(reason.find("amplification"), std::string::npos) << reason;
    EXPECT_GT(f->GetLastErrorLine(), 0);

    // Read from a file, the same.
    TempFolder dir;
    dir.Write("laughs.xml", doc);
    EXPECT_EQ(f->LoadSkins(dir.WPath("laughs.xml")), E_FAIL);
    EXPECT_NE(std::string(NString(f->GetLastErrorText()).c_str()).find("amplification"), std::string::npos);
}
