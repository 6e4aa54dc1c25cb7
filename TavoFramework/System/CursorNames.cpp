#include "System/CursorNames.h"

namespace Tavo {

// Built on first use and never destroyed, like every process-wide global.
#define TAVO_CURSOR_NAME(fn, text)                                                                           \
    const WString& fn()                                                                                      \
    {                                                                                                        \
        static const auto* name = new WString(text);                                                         \
        return *name;                                                                                        \
    }

TAVO_CURSOR_NAME(UI_CURSOR_APP_STARTING, u"UI_CURSOR_APP_STARTING")
TAVO_CURSOR_NAME(UI_CURSOR_ARROW, u"UI_CURSOR_ARROW")
TAVO_CURSOR_NAME(UI_CURSOR_CROSS, u"UI_CURSOR_CROSS")
TAVO_CURSOR_NAME(UI_CURSOR_DROP_COPY, u"UI_CURSOR_DROP_COPY")
TAVO_CURSOR_NAME(UI_CURSOR_DROP_MOVE, u"UI_CURSOR_DROP_MOVE")
TAVO_CURSOR_NAME(UI_CURSOR_HAND, u"UI_CURSOR_HAND")
TAVO_CURSOR_NAME(UI_CURSOR_HELP, u"UI_CURSOR_HELP")
TAVO_CURSOR_NAME(UI_CURSOR_IBEAM, u"UI_CURSOR_IBEAM")
TAVO_CURSOR_NAME(UI_CURSOR_MAG, u"UI_CURSOR_MAG")
TAVO_CURSOR_NAME(UI_CURSOR_MAG_MINUS, u"UI_CURSOR_MAG_MINUS")
TAVO_CURSOR_NAME(UI_CURSOR_MAG_PLUS, u"UI_CURSOR_MAG_PLUS")
TAVO_CURSOR_NAME(UI_CURSOR_NO_DROP, u"UI_CURSOR_NO_DROP")
TAVO_CURSOR_NAME(UI_CURSOR_ROTATE, u"UI_CURSOR_ROTATE")
TAVO_CURSOR_NAME(UI_CURSOR_SIZE_ALL, u"UI_CURSOR_SIZE_ALL")
TAVO_CURSOR_NAME(UI_CURSOR_SIZE_NESW, u"UI_CURSOR_SIZE_NESW")
TAVO_CURSOR_NAME(UI_CURSOR_SIZE_NS, u"UI_CURSOR_SIZE_NS")
TAVO_CURSOR_NAME(UI_CURSOR_SIZE_NWSE, u"UI_CURSOR_SIZE_NWSE")
TAVO_CURSOR_NAME(UI_CURSOR_SIZE_WE, u"UI_CURSOR_SIZE_WE")
TAVO_CURSOR_NAME(UI_CURSOR_SPLIT_H, u"UI_CURSOR_SPLIT_H")
TAVO_CURSOR_NAME(UI_CURSOR_SPLIT_V, u"UI_CURSOR_SPLIT_V")
TAVO_CURSOR_NAME(UI_CURSOR_UP_ARROW, u"UI_CURSOR_UP_ARROW")
TAVO_CURSOR_NAME(UI_CURSOR_WAIT, u"UI_CURSOR_WAIT")
TAVO_CURSOR_NAME(UI_CURSOR_ARROW_DEFAULT, u"UI_CURSOR_ARROW")

#undef TAVO_CURSOR_NAME

}  // namespace Tavo
