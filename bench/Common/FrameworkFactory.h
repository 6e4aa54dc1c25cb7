#pragma once

// Building framework controls from descriptors, without a skin file.

#include "ControlBase/ControlFactory.h"
#include "ControlBase/SkinDescriptors.h"
#include "Controls/FrameworkControlClasses.h"
#include "Controls/TreeView.h"

#include <string>
#include <vector>

namespace Tavo {

// A descriptor of class cls at (x, y), w x h in absolute pixels.
inline RCPtr<LControlDescriptor> Child(const char16_t* cls, const WString& name, double x, double y, double w,
                                       double h)
{
    RCPtr<LLayoutDescriptor> layout = LLayoutDescriptor::Create();
    layout->x.positionAbs = x, layout->y.positionAbs = y;
    layout->x.sizeRef = layout->y.sizeRef = 2;
    layout->x.sizeAbs = w, layout->y.sizeAbs = h;
    RCPtr<LControlDescriptor> descriptor = LControlDescriptor::Create(cls, name, nullptr);
    descriptor->SetLayout(layout);
    return descriptor;
}

inline void RegisterFrameworkControls(LControlFactory& factory)
{
    for (const ControlClassRow& row : FrameworkControlClasses())
        if (row.create)
            factory.RegisterControlClass(row.name, row.create);
}

// The benches' factory with every framework control class, made once.
inline RCPtr<LControlFactory> FrameworkFactory()
{
    static auto* factory = [] {
        auto* f = new RCPtr<LControlFactory>(LControlFactory::Create(u"Bench"));
        RegisterFrameworkControls(**f);
        return f;
    }();
    return *factory;
}

// "Firmware image 0" to "Firmware image <count - 1>": list texts that
// widen as they go.
inline std::vector<WString> ImageNames(uint32_t count)
{
    std::vector<WString> names;
    for (uint32_t i = 0; i < count; ++i)
        names.push_back(WString(NString(("Firmware image " + std::to_string(i)).c_str())));
    return names;
}

// A 300 x 200 tree view with check-box rows from the factory, in `window`.
template <class Window>
RCPtr<LTreeView> MakeCheckTree(const RCPtr<LControlFactory>& factory, Window* window)
{
    RCPtr<LControlDescriptor> item = Child(u"Framework.TreeViewItem", u"templateItem", 0, 0, 200, 20);
    item->AddChild(Child(u"Framework.Button", u"checkBox", 0, 0, 16, 16));
    RCPtr<LControlDescriptor> d = Child(u"Framework.TreeView", u"tree", 0, 0, 300, 200);
    d->AddChild(item);
    RCPtr<LTreeView> tree = RCPtrDynamicCast<LTreeView>(factory->CreateControl(d, nullptr));
    tree->SetRootWindow(window);
    tree->UpdateGeometry();
    return tree;
}

}  // namespace Tavo
