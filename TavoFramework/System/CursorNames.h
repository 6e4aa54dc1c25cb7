#pragma once

#include <string>

namespace Tavo {

// Cursor names that controls ask the application for. Each is one shared
// object, so a lookup may compare by identity as well as by text.
const std::u16string& UI_CURSOR_APP_STARTING();
const std::u16string& UI_CURSOR_ARROW();
// The root window's own constant for its default cursor; same text.
const std::u16string& UI_CURSOR_ARROW_DEFAULT();
const std::u16string& UI_CURSOR_CROSS();
const std::u16string& UI_CURSOR_DROP_COPY();
const std::u16string& UI_CURSOR_DROP_MOVE();
const std::u16string& UI_CURSOR_HAND();
const std::u16string& UI_CURSOR_HELP();
const std::u16string& UI_CURSOR_IBEAM();
const std::u16string& UI_CURSOR_MAG();
const std::u16string& UI_CURSOR_MAG_MINUS();
const std::u16string& UI_CURSOR_MAG_PLUS();
const std::u16string& UI_CURSOR_NO_DROP();
const std::u16string& UI_CURSOR_ROTATE();
const std::u16string& UI_CURSOR_SIZE_ALL();
const std::u16string& UI_CURSOR_SIZE_NESW();
const std::u16string& UI_CURSOR_SIZE_NS();
const std::u16string& UI_CURSOR_SIZE_NWSE();
const std::u16string& UI_CURSOR_SIZE_WE();
const std::u16string& UI_CURSOR_SPLIT_H();
const std::u16string& UI_CURSOR_SPLIT_V();
const std::u16string& UI_CURSOR_UP_ARROW();
const std::u16string& UI_CURSOR_WAIT();

}  // namespace Tavo
