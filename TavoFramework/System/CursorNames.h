#pragma once

#include "Utilities/Storage/StringT.h"

namespace Tavo {

// Cursor names that controls ask the application for. Each is one shared
// object, so a lookup may compare by identity as well as by text.
const WString& UI_CURSOR_APP_STARTING();
const WString& UI_CURSOR_ARROW();
// The root window's own constant for its default cursor; same text.
const WString& UI_CURSOR_ARROW_DEFAULT();
const WString& UI_CURSOR_CROSS();
const WString& UI_CURSOR_DROP_COPY();
const WString& UI_CURSOR_DROP_MOVE();
const WString& UI_CURSOR_HAND();
const WString& UI_CURSOR_HELP();
const WString& UI_CURSOR_IBEAM();
const WString& UI_CURSOR_MAG();
const WString& UI_CURSOR_MAG_MINUS();
const WString& UI_CURSOR_MAG_PLUS();
const WString& UI_CURSOR_NO_DROP();
const WString& UI_CURSOR_ROTATE();
const WString& UI_CURSOR_SIZE_ALL();
const WString& UI_CURSOR_SIZE_NESW();
const WString& UI_CURSOR_SIZE_NS();
const WString& UI_CURSOR_SIZE_NWSE();
const WString& UI_CURSOR_SIZE_WE();
const WString& UI_CURSOR_SPLIT_H();
const WString& UI_CURSOR_SPLIT_V();
const WString& UI_CURSOR_UP_ARROW();
const WString& UI_CURSOR_WAIT();

}  // namespace Tavo
