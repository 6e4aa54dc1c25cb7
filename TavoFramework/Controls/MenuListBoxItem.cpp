#include "Controls/MenuListBoxItem.h"

namespace Tavo {

bool LMenuListBoxItem::SetRowLook(int32_t index, float state)
{
    LCheckedListBoxItem::SetRowLook(index, state);
    return true;
}

}  // namespace Tavo
