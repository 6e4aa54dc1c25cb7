#pragma once

// The value widgets' skin, for the headless tests and the window test. The
// window shows "slider", "centered", "knob" and "combo"; the others stand
// outside it at (300, 300). Tracks run 127 pixels: one per unit of the range.

// clang-format off
#define VW_TRACK(name, cls, x, y, ex, ey, extra) R"(<SubControl Class=")" cls R"(" Name=")" name R"(" XPositionAbs=")" \
    x R"(" YPositionAbs=")" y R"(" XSizeAbs="147" YSizeAbs="30"><Skin Name="t" LookList="track"><SubControl Class=)" \
    R"("Framework.Button" Name="thumbStart" XSizeAbs="20" YSizeAbs="20"><Skin Name="h" LookList="thumb"/></SubControl>)" \
    R"(<SubControl Class="Framework.Button" Name="thumbEnd" XPositionAbs=")" ex R"(" YPositionAbs=")" ey \
    R"(" XSizeAbs="20" YSizeAbs="20"/>)" extra "</Skin></SubControl>"
#define VW_BOUNDS(name) R"(<SubControl Class="Framework.CenteredSliderBounds" Name=")" name R"(" YPositionAbs="22")" \
    R"( XSizeAbs="2" YSizeAbs="6"><Skin Name="b" LookList="thumb"><SubControl Class="Framework.Panel" Name="fill")" \
    R"( XSizeAbs="2" YSizeAbs="6"/></Skin></SubControl>)"
#define VW_KNOB(name, x, looks, params) R"(<SubControl Class="Framework.Knob" Name=")" name R"(" XPositionAbs=")" x \
    R"(" YPositionAbs="20" XSizeAbs="40" YSizeAbs="40"><Skin Name="k" LookList=")" looks R"("/><CreateParamList>)" \
    params "</CreateParamList></SubControl>"
#define VW_PARAM(id, text) R"(<CreateParam ID=")" id R"(">)" text "</CreateParam>"
#define VW_LOOK(name, argb) R"(<Colorizers><Colorizer Name=")" name R"(" ColorType="SolidFill" Color=")" argb \
    R"("/></Colorizers><Parts><Part Name=")" name R"(" Width="1" Height="1" ResizeType="Stretch" ColorizerName=")" \
    name R"("/></Parts><Looks><Look Name=")" name R"("><ClientPart Name=")" name \
    R"(" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/></Look></Looks>)"
#define VW_IN(look, index) R"(<Look Name=")" look R"(" Index=")" index R"("/>)"

inline const char* kValueWidgetsSkin = "<R>" VW_LOOK("bg", "0xFF202028") VW_LOOK("track", "0xFF505058")
    VW_LOOK("thumb", "0xFFE8A317") VW_LOOK("k0", "0xFF204020") VW_LOOK("k1", "0xFF40C040")
    VW_LOOK("focus", "0xFFFF0000") VW_LOOK("disabled", "0xFF0000FF") VW_LOOK("text", "0xFFF0F0F0")
    R"(<Looks><Look Name="face"><ClientPart Name="track" OffsetLeft="0" OffsetTop="0" OffsetRight="0" OffsetBottom="0"/>)"
    R"(<TextProperties TextLeftRel="0" TextLeftAbs="4" TextRightRel="1" TextRightAbs="0" TextHAlign="0" TextTopRel="0")"
    R"( TextTopAbs="0" TextBottomRel="1" TextBottomAbs="0" TextVAlign="0.5" TextForegroundPart="text"/></Look></Looks>)"
    R"(<LookLists><LookList Name="bg" NumLooks="1">)" VW_IN("bg", "0") R"(</LookList><LookList Name="thumb" NumLooks="1">)"
    VW_IN("thumb", "0") R"(</LookList><LookList Name="track" NumLooks="3">)" VW_IN("track", "0") VW_IN("track", "1")
    VW_IN("track", "2") R"(</LookList><LookList Name="knob" NumLooks="8">)" VW_IN("k0", "0") VW_IN("k1", "1")
    VW_IN("k0", "2") VW_IN("k1", "3") VW_IN("k0", "4") VW_IN("focus", "6") VW_IN("disabled", "7")
    R"(</LookList><LookList Name="face" NumLooks="7">)" VW_IN("face", "0") VW_IN("face", "1") VW_IN("face", "2")
    VW_IN("face", "3") VW_IN("face", "4") VW_IN("face", "5") VW_IN("face", "6") R"(</LookList></LookLists><Skins>)"
    R"(<Skin Name="S0" FontName="Sans" FontSize="9" FontStyle="0"><SubControl Class="Framework.Panel")"
    R"( Name="mainControl" XSizeAbs="320" YSizeAbs="200"><Skin Name="m" LookList="bg">)"
    VW_TRACK("slider", "Framework.Slider", "20", "20", "127", "0", "")
    VW_TRACK("centered", "Framework.CenteredSlider", "20", "60", "127", "0",
             VW_BOUNDS("lowRangeBounds") VW_BOUNDS("highRangeBounds"))
    VW_TRACK("vertical", "Framework.Slider", "300", "300", "0", "127", "")
    VW_TRACK("slanted", "Framework.Slider", "300", "300", "100", "50", "")
    VW_TRACK("slantedCentered", "Framework.CenteredSlider", "300", "300", "100", "50", VW_BOUNDS("lowRangeBounds"))
    R"(<SubControl Class="Framework.CenteredSlider" Name="bare"/>)" VW_KNOB("knob", "200", "knob", "")
    VW_KNOB("radial", "300", "knob", VW_PARAM("RADIAL_GESTURE_START_ANGLE", "225")
            VW_PARAM("RADIAL_GESTURE_END_ANGLE", "135"))
    VW_KNOB("bareKnob", "300", "none", VW_PARAM("RADIAL_GESTURE_START_ANGLE", "-45")
            VW_PARAM("RADIAL_GESTURE_END_ANGLE", "405") VW_PARAM("LINEAR_GESTURE_FULL_RANGE", "1"))
    VW_KNOB("flatKnob", "300", "none", VW_PARAM("FINE_ADJUST_MULTIPLIER", "x"))
    R"(<SubControl Class="Framework.ComboSlider" Name="combo" XPositionAbs="200" YPositionAbs="100" XSizeAbs="60")"
    R"( YSizeAbs="20"><Skin Name="c" LookList="face"><SubControl Class="Framework.ComboSlider.DropDownPanel")"
    R"( Name="dropDownPanel" YPositionAbs="20" XSizeAbs="160" YSizeAbs="40" ClipToParent="false" Z_Order="100">)"
    R"(<Skin Name="d" LookList="bg">)" VW_TRACK("slider", "Framework.Slider", "5", "5", "127", "0", "")
    "</Skin></SubControl></Skin></SubControl></Skin></SubControl></Skin></Skins></R>";
// clang-format on
