#include "Controls/MainMenu.h"

#include "ControlBase/ControlEnvironment.h"
#include "ControlBase/ControlFactory.h"
#include "Notification/NotificationParams.h"
#include "Window/RootWindow.h"

#include <map>

namespace Tavo {

namespace {

constexpr int32_t kMaxMenuNumber = 10000;

// A whole decimal number of at most five digits, else -1.
int32_t ReadMenuNumber(const WString& text)
{
    const uint32_t length = text.GetLength();
    if (length == 0 || length > 5)
        return -1;
    int32_t n = 0;
    for (uint32_t i = 0; i < length; ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return -1;
        n = n * 10 + (text[i] - u'0');
    }
    return n <= kMaxMenuNumber ? n : -1;
}

// A title's menu number, read as the runtime's text-to-integer conversion
// reads it (text without digits reads 0). A negative number or one past the
// cap names no menu: -1.
int32_t ReadTitleNumber(const WString& text)
{
    const int32_t n = text.ToInt();
    return n >= 0 && n <= kMaxMenuNumber ? n : -1;
}

}  // namespace

std::vector<WString> LMainMenu::CollectTitles(const LStringTable::Pairs& pairs)
{
    const WString prefix(u"MENU_LABEL.");
    std::vector<WString> titles;
    for (uint32_t i = 0; i < pairs.GetCount(); ++i) {
        const WString& key = pairs[i].first;
        if (key.Left(int32_t(prefix.GetLength())) != prefix)
            continue;
        const int32_t n = ReadTitleNumber(key.Mid(int32_t(prefix.GetLength())));
        if (n < 0)
            continue;
        if (titles.size() <= size_t(n))
            titles.resize(size_t(n) + 1);
        titles[size_t(n)] = pairs[i].second;
    }
    return titles;
}

std::vector<RCPtr<LMenuDescriptor>> LMainMenu::CollectMenus(const LStringTable::Pairs& pairs)
{
    const WString prefix(u"CONTEXT_MENU");
    std::map<int32_t, LMenuDescriptor::KeyTextPairs> groups;
    for (uint32_t i = 0; i < pairs.GetCount(); ++i) {
        const WString& key = pairs[i].first;
        if (key.Left(int32_t(prefix.GetLength())) != prefix)
            continue;
        const WString rest = key.Mid(int32_t(prefix.GetLength()));
        const int32_t dot = rest.Find(u'.');
        const int32_t n = dot > 0 ? ReadMenuNumber(rest.Left(dot)) : -1;
        if (n >= 0)
            groups[n].Add({rest.Mid(dot + 1), pairs[i].second});
    }
    std::vector<RCPtr<LMenuDescriptor>> menus;
    if (groups.empty())
        return menus;
    menus.resize(size_t(groups.rbegin()->first) + 1);
    for (auto& [n, entries] : groups)
        menus[size_t(n)] = LMenuDescriptor::BuildFromKeyTextPairs(entries);
    return menus;
}

std::vector<LComboMenu*> LMainMenu::Menus()
{
    std::vector<LComboMenu*> menus;
    for (uint32_t i = 0; i < mChildren.Count(); ++i)
        if (auto* menu = dynamic_cast<LComboMenu*>(mChildren.GetAt(i).Get()))
            menus.push_back(menu);
    return menus;
}

const RCPtr<LMenuItemUpdater>& LMainMenu::OwnUpdater()
{
    if (!mOwnUpdater)
        mOwnUpdater = LMenuItemUpdater::Create(RCPtr<LControl>(this));
    return mOwnUpdater;
}

void LMainMenu::ConnectPopup(LComboMenu* menu)
{
    // A press on a title leaves the keys with its open menu, or with the
    // control that has them; closing the menu gives them back.
    menu->SetNoFocusOnPress(true);
    IMenuPopup* popup = menu->GetPopup();
    if (!popup)
        return;
    popup->SetItemUpdater(OwnUpdater());
    if (LRootWindow* window = GetRootWindow())
        if (RCPtr<LNotificationReceiver> queue = window->GetMenuListener())
            popup->SetNotificationTarget(queue);
}

TavoResult LMainMenu::SetMenuItemUpdater(const RCPtr<LMenuItemUpdater>& updater)
{
    const bool same = mAppUpdater.Get() == updater.Get();
    mAppUpdater = updater;
    return same ? 1 : 0;
}

int32_t LMainMenu::GetMenuCount()
{
    return int32_t(Menus().size());
}

RCPtr<LComboMenu> LMainMenu::GetMenuAt(int32_t index)
{
    auto menus = Menus();
    return index >= 0 && size_t(index) < menus.size() ? RCPtr<LComboMenu>(menus[size_t(index)]) : nullptr;
}

WString LMainMenu::GetMenuName(int32_t index)
{
    RCPtr<LComboMenu> menu = index >= 0 ? GetMenuAt(index + mFixedCount) : nullptr;
    return menu ? menu->GetName() : WString();
}

int32_t LMainMenu::FindMenuByName(const WString& name)
{
    auto menus = Menus();
    for (size_t i = size_t(mFixedCount); i < menus.size(); ++i)
        if (menus[i]->GetName() == name)
            return int32_t(i) - mFixedCount;
    return -1;
}

TavoResult LMainMenu::CreateMenuControl(const WString& name)
{
    if (FindChildByName(name))
        return E_INVALIDARG;
    // Without a template there is nothing to clone a menu from.
    if (!mTemplate || !ControlEnvironment().factory)
        return E_FAIL;
    RCPtr<LLayoutDescriptor> layout =
        mTemplate->GetLayout() ? mTemplate->GetLayout()->Clone() : LLayoutDescriptor::Create();
    auto menus = Menus();
    if (!menus.empty() && (int32_t(menus.size()) > mFixedCount || !mHasTemplate)) {
        // Starts at the right edge of the previous menu.
        layout->x.positionRef = 2;
        layout->x.positionRefName = menus.back()->GetName();
        layout->x.positionRel = 1.0f;
        layout->x.positionAbs = 0.0;
    }
    RCPtr<LControlDescriptor> descriptor = LControlDescriptor::CloneWithLayout(mTemplate, layout, name);
    RCPtr<LControl> control = ControlEnvironment().factory->CreateControl(descriptor, RCPtr<LControl>(this));
    auto* menu = dynamic_cast<LComboMenu*>(control.Get());
    if (!menu) {
        if (control)
            RemoveChild(control);
        return E_FAIL;
    }
    ConnectPopup(menu);
    return S_OK;
}

TavoResult LMainMenu::AddMenu(int32_t index, const WString& name, const WString& label,
                              const RCPtr<LMenuDescriptor>& menu)
{
    const int32_t added = GetMenuCount() - mFixedCount;
    if (index < 0 || index > added)
        return E_INVALIDARG;
    return InsertMenu(index == added ? WString() : GetMenuName(index), name, label, menu);
}

TavoResult LMainMenu::InsertMenu(const WString& beforeName, const WString& name, const WString& label,
                                 const RCPtr<LMenuDescriptor>& menu)
{
    int32_t position = GetMenuCount();
    if (!beforeName.IsEmpty()) {
        const int32_t found = FindMenuByName(beforeName);
        if (found < 0)
            return E_INVALIDARG;
        position = found + mFixedCount;
    }
    const TavoResult created = CreateMenuControl(name);
    if (Failed(created))
        return created;
    auto menus = Menus();
    for (int32_t i = int32_t(menus.size()) - 1; i > position; --i) {
        LComboMenu* to = menus[size_t(i)];
        LComboMenu* from = menus[size_t(i) - 1];
        if (to->GetPopup() && from->GetPopup() && from->GetPopup()->GetMenuDescriptor())
            to->GetPopup()->SetMenuDescriptor(from->GetPopup()->GetMenuDescriptor());
        to->SetText(from->GetText());
        const WString moved = from->GetName();
        mChildren.RenameChild(RCPtr<LControl>(from), moved + u"_");
        mChildren.RenameChild(RCPtr<LControl>(to), moved);
    }
    LComboMenu* at = menus[size_t(position)];
    at->SetText(label);
    if (at->GetPopup() && menu)
        at->GetPopup()->SetMenuDescriptor(menu);
    mChildren.RenameChild(RCPtr<LControl>(at), name);
    return position - mFixedCount;
}

TavoResult LMainMenu::AdoptChild(const RCPtr<LControl>& child, const RCPtr<LControlDescriptor>& descriptor)
{
    if (!child && descriptor && descriptor->GetName() == u"templateMenu") {
        mTemplate = descriptor;
        return S_OK;
    }
    if (!descriptor)
        return S_OK;
    const TavoResult result = LControl::AdoptChild(child, descriptor);
    if (!mTemplate && dynamic_cast<LComboMenu*>(child.Get()))
        mTemplate = descriptor;
    return result;
}

TavoResult LMainMenu::Initialize()
{
    const TavoResult result = LControl::Initialize();
    SetNotFocusable(true);
    mFixedCount = 0;
    for (uint32_t i = mChildren.Count(); i-- > 0;) {
        RCPtr<LControl> child = mChildren.GetAt(i);
        auto* menu = dynamic_cast<LComboMenu*>(child.Get());
        if (!menu)
            continue;
        if (child->GetName() == u"templateMenu") {
            mTemplate = child->GetDescriptor();
            mHasTemplate = true;
            child->Detach();
            continue;
        }
        ConnectPopup(menu);
        ++mFixedCount;
        if (!mTemplate)
            mTemplate = child->GetDescriptor();
    }
    if (mStringTable) {
        LStringTable::Pairs pairs;
        mStringTable->GetPairs(pairs);
        const std::vector<WString> titles = CollectTitles(pairs);
        const std::vector<RCPtr<LMenuDescriptor>> menus = CollectMenus(pairs);
        if (!menus.empty() && menus.size() == titles.size()) {
            int32_t skipped = 0;
            for (size_t i = 0; i < menus.size(); ++i)
                if (Failed(AddMenu(int32_t(i) - skipped, titles[i], titles[i], menus[i])))
                    ++skipped;
        }
    }
    return result;
}

TavoResult LMainMenu::SetDescriptor(const RCPtr<LControlDescriptor>& descriptor)
{
    mTemplate = nullptr;
    struct Kept
    {
        RCPtr<LMenuDescriptor> menu;
        WString text, name;
    };
    std::vector<Kept> kept;
    auto menus = Menus();
    for (size_t i = size_t(mFixedCount); i < menus.size(); ++i) {
        IMenuPopup* popup = menus[i]->GetPopup();
        kept.push_back(
            {popup ? popup->GetMenuDescriptor() : nullptr, menus[i]->GetText(), menus[i]->GetName()});
    }
    const TavoResult result = LControl::SetDescriptor(descriptor);
    if (!IsCreated())
        return result;
    // The template child was taken out at creation, so no child adopts it.
    if (descriptor)
        for (const auto& child : descriptor->GetChildren())
            if (child && child->GetName() == u"templateMenu")
                mTemplate = child, mHasTemplate = true;
    // Children the new skin no longer lists went; the added menus follow.
    for (const Kept& k : kept) {
        if (RCPtr<LControl> stale = FindChildByName(k.name))
            RemoveChild(stale);
        if (Failed(CreateMenuControl(k.name)))
            continue;
        auto* menu = dynamic_cast<LComboMenu*>(FindChildByName(k.name).Get());
        if (IMenuPopup* popup = menu ? menu->GetPopup() : nullptr; popup && k.menu)
            popup->SetMenuDescriptor(k.menu);
        if (menu)
            menu->SetText(k.text);
    }
    return result;
}

TavoResult LMainMenu::ProcessRootWindowAquired()
{
    for (LComboMenu* menu : Menus())
        ConnectPopup(menu);
    return LControl::ProcessRootWindowAquired();
}

TavoResult LMainMenu::UpdateMenuItemState(const RCPtr<LMenuDescriptor>& menu, int32_t item,
                                          const WString& command, uint32_t& state)
{
    if (!mAppUpdater)
        return 1;
    if (!mAppUpdater->GetControl())
        return E_FAIL;
    return mAppUpdater->GetControl()->UpdateMenuItemState(menu, item, command, state);
}

RCPtr<LControl> LMainMenu::FindEditTarget()
{
    if (mFocusBeforeMenu && mFocusBeforeMenu->AcceptsEditCommands())
        return mFocusBeforeMenu;
    return LControl::FindEditTarget();
}

void LMainMenu::RememberFocus()
{
    LRootWindow* window = GetRootWindow();
    RCPtr<LControl> focus = window ? window->GetFocusControl() : nullptr;
    for (LControl* c = focus.Get(); c; c = c->GetParent())
        if (c == this)
            return;  // focus moving within the bar
    if (focus)
        mFocusBeforeMenu = focus;
}

TavoResult LMainMenu::ReleaseInternalReferences()
{
    if (mOwnUpdater)
        mOwnUpdater->Drop();
    mOwnUpdater = nullptr;
    mAppUpdater = nullptr;
    mTemplate = nullptr;
    mFocusBeforeMenu = nullptr;
    return LControl::ReleaseInternalReferences();
}

}  // namespace Tavo
