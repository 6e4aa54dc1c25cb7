#include "Notification/NotificationID.h"

#include "Utilities/Storage/StringT.h"

#include <deque>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace Tavo {

namespace {

struct IdTable
{
    // A deque never moves its entries, and entries are never removed, so the
    // characters they share stay put for the run.
    std::deque<WString> names;
    std::unordered_map<std::u16string_view, LNotificationId> byText;
    std::unordered_set<LNotificationId> ids;
};

IdTable& Table()
{
    static auto* table = new IdTable;
    return *table;
}

}  // namespace

Mutex& GetFrameworkLock()
{
    static auto* lock = new Mutex;
    return *lock;
}

LNotificationId GetNotificationID(const char16_t* name)
{
    if (!name || !name[0])
        return nullptr;
    MutexLocker lock(GetFrameworkLock());
    IdTable& table = Table();
    // Ids come back far more often than texts: try the address first.
    if (table.ids.count(name))
        return name;
    std::u16string_view text(name);
    auto found = table.byText.find(text);
    if (found != table.byText.end())
        return found->second;
    const WString& entry = table.names.emplace_back(name);
    LNotificationId id = entry.c_str();
    table.byText.emplace(std::u16string_view(id, text.size()), id);
    table.ids.insert(id);
    return id;
}

const char16_t* const kSystemNotificationNames[kSystemNotificationNameCount] = {
    u"NID_FIRMWARE_UPDATE_COMPLETED",
    u"NID_FIRMWARE_UPDATE_PROGRESS",
    u"NID_DEVICE_STATE_CHANGE",
    u"NID_FIRMWARE_FILE_STATE_CHANGE",
    u"NID_FOUND_DEVICE_LIST_CHANGE",
    u"NID_APP_EXIT_REQ",
    u"NID_MIDI_DATA_CAPTURED",
    u"NID_IDLE",
    u"NID_CLIENT_EXTENT_CHANGE",
    u"NID_LEFT_CLICK",
    u"NID_MENU_FILE_EXIT_REQ",
    u"NID_MENU_FILE_SELECT",
    u"NID_MENU_OPTIONS_ALLOW_DOWNGRADE",
    u"NID_MOUSE_MOVE",
    u"NID_MOUSE_DOWN",
    u"NID_MOUSE_UP",
    u"NID_MIDDLE_CLICK",
    u"NID_RIGHT_CLICK",
    u"NID_CONDITION_CHANGE",
    u"NID_HAS_FOCUS_CONDITION_CHANGE",
    u"NID_CONTAINS_FOCUS_CONDITION_CHANGE",
    u"NID_HOVER_CONDITION_CHANGE",
    u"NID_CAPTURE_CONDITION_CHANGE",
    u"NID_LEFT_DRAG_CONDITION_CHANGE",
    u"NID_MIDDLE_DRAG_CONDITION_CHANGE",
    u"NID_RIGHT_DRAG_CONDITION_CHANGE",
    u"NID_ENABLED_CONDITION_CHANGE",
    u"NID_VISIBLITY_CONDITION_CHANGE",
    u"NID_VALUE_CHANGE",
    u"NID_SCROLL_OFFSET_CHANGE",
    u"NID_SIBLING_KEY",
    u"NID_MIDI_INPUT_DEVICE_CONNECTION_STATUS_CHANGED",
    u"NID_MIDI_OUTPUT_DEVICE_CONNECTION_STATUS_CHANGED",
    u"NID_EDIT_CUT_REQ",
    u"NID_EDIT_COPY_REQ",
    u"NID_EDIT_PASTE_REQ",
    u"NID_EDIT_DELETE_REQ",
    u"NID_BUTTON_AUTOREPEAT",
    u"NID_SIMULATE_CLICK",
    u"NID_SELECTION_CHANGE",
    u"NID_ITEM_ACTIVATED",
    u"NID_ITEM_LEFT_DRAG_CONDITION_CHANGE",
    u"NID_ITEM_HOVER_CONDITION_CHANGE",
    u"NID_ITEM_DOUBLE_CLICKED",
    u"NID_ITEM_RIGHT_CLICK",
    u"NID_TEXTBOX_VALIDATING",
    u"NID_TEXTBOX_VALIDATED",
    u"NID_TEXTBOX_TEXT_CHANGE",
    u"NID_DROPDOWN_OPENING",
    u"NID_ITEM_CHECK_CHANGE",
    u"NID_ITEM_CHECKBOX_CLICKED",
    u"NID_TAB_SELECTED",
    u"NID_TAB_BUTTON_CLICKED",
    u"NID_TAB_BECOMING_UNSELECTED",
    u"NID_VALUE_CHANGE_KEY_DOWN",
    u"NID_VALUE_CHANGE_KEY_UP",
    u"NID_VALUE_CHANGE_CAPTURE",
    u"NID_SET_STATUS_TEXT",
    u"NID_CLIPLIGHT_UNLATCHED",
    u"NID_DIALOG_CLOSING",
    u"NID_DIALOG_CLOSED",
};

}  // namespace Tavo
