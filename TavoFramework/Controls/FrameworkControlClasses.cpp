#include "Controls/FrameworkControlClasses.h"

#include "Controls/Button.h"
#include "Controls/CenteredSlider.h"
#include "Controls/CheckedComboBox.h"
#include "Controls/CheckedListBox.h"
#include "Controls/ComboBox.h"
#include "Controls/ComboMenu.h"
#include "Controls/ComboSlider.h"
#include "Controls/FileDropper.h"
#include "Controls/Knob.h"
#include "Controls/Label.h"
#include "Controls/LevelMeter.h"
#include "Controls/ListBox.h"
#include "Controls/ListBoxItem.h"
#include "Controls/MainMenu.h"
#include "Controls/MenuListBoxItem.h"
#include "Controls/NumericUpDown.h"
#include "Controls/MultiColumnListBox.h"
#include "Controls/Panel.h"
#include "Controls/PopupMenu.h"
#include "Controls/ProgressBar.h"
#include "Controls/Scrollbar.h"
#include "Controls/Slider.h"
#include "Controls/SplitterH.h"
#include "Controls/SplitterV.h"
#include "Controls/StatusBar.h"
#include "Controls/TextBox.h"
#include "Controls/TabControl.h"
#include "Controls/ToolTip.h"
#include "Controls/TreeView.h"

namespace Tavo {

namespace {

// Each widget fills in its create function as it lands; a row still without
// one registers nothing. The line is the one a failed registration names.
constexpr ControlClassRow kControlClasses[] = {
    {u"Framework.Button", &LButton::Create, 94},
    {u"Framework.OverlayButton", &LListBoxItem::Create, 97},
    {u"Framework.ListBox", &LListBox::Create, 99},
    {u"Framework.listboxNoScroll", &LListBox::Create, 100},
    {u"Framework.ListBoxItem", &LListBoxItem::Create, 101},
    {u"Framework.CheckedListBox", &LCheckedListBox::Create, 102},
    {u"Framework.CheckedListBoxItem", &LCheckedListBoxItem::Create, 103},
    {u"Framework.ListBoxWithIcons", &LCheckedListBox::Create, 104},
    {u"Framework.listbox2ColumnSortable", &LMultiColumnListBox::Create, 105},
    {u"Framework.ScrollBar", &LScrollbar::Create, 106},
    {u"Framework.ScrollChannel", &LPanel::Create, 107},
    {u"Framework.ComboBox", &LComboBox::Create, 108},
    {u"Framework.ComboTextBox", &LComboBox::Create, 109},
    {u"Framework.CheckedComboBox", &LCheckedComboBox::Create, 110},
    {u"Framework.ComboBoxWithIcons", &LCheckedComboBox::Create, 111},
    {u"Framework.ComboSlider", &LComboSlider::Create, 112},
    {u"Framework.ComboSlider.DropDownPanel", &LPanel::Create, 113},
    {u"Framework.Slider", &LSlider::Create, 114},
    {u"Framework.Knob", &LKnob::Create, 115},
    {u"Framework.TabControl", &LTabControl::Create, 116},
    {u"Framework.Label", &LLabel::Create, 117},
    {u"Framework.TextBox", &LTextBox::Create, 118},
    {u"Framework.NumericUpDown", &LNumericUpDown::Create, 119},
    {u"Framework.Panel", &LPanel::Create, 120},
    {u"Framework.ToolTip", &LToolTip::Create, 121},
    {u"Framework.PopupMenu", &LPopupMenu::Create, 122},
    {u"Framework.MenuItem", &LMenuListBoxItem::Create, 123},
    {u"Framework.ComboMenu", &LComboMenu::Create, 124},
    {u"Framework.MainMenu", &LMainMenu::Create, 125},
    {u"Framework.FileDropper", &LFileDropper::Create, 126},
    {u"Framework.StatusBar", &LStatusBar::Create, 127},
    {u"Framework.SplitterH", &LSplitterH::Create, 128},
    {u"Framework.SplitterV", &LSplitterV::Create, 129},
    {u"Framework.LevelMeter", &LLevelMeter::Create, 130},
    {u"Framework.ProgressBar", &LProgressBar::Create, 131},
    {u"Framework.TreeView", &LTreeView::Create, 132},
    {u"Framework.TreeViewItem", &LTreeViewItem::Create, 133},
    {u"Framework.CenteredSlider", &LCenteredSlider::Create, 135},
    {u"Framework.CenteredSliderBounds", &LPanel::Create, 136},
};

}  // namespace

std::span<const ControlClassRow> FrameworkControlClasses()
{
    return kControlClasses;
}

}  // namespace Tavo
