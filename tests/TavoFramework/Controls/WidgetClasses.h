#pragma once

#include "ControlBase/Control.h"
#include "ControlBase/ControlFactory.h"
#include "Controls/FrameworkControlClasses.h"

// Every framework widget class, and a plain control as "Test.Panel".
inline void RegisterWidgetClasses(Tavo::LControlFactory& factory)
{
    for (const Tavo::ControlClassRow& row : Tavo::FrameworkControlClasses())
        if (row.create)
            factory.RegisterControlClass(row.name, row.create);
    factory.RegisterControlClass(u"Test.Panel", &Tavo::LControl::CreateT<Tavo::LControl>);
}
