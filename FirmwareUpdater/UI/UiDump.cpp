#include "UI/UiDump.h"

#include "ControlBase/Control.h"
#include "Platform/Kernel/AtomicFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Tavo {

namespace {

void AppendEscaped(std::string& out, const std::string& text)
{
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
}

void AppendTree(std::string& out, LControl& control, const PointT<double>& origin)
{
    const PointT<double> p = control.GetAbsolutePosition();
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "\t%d\t%d\t%ld\t%ld\t%ld\t%ld\t%g\t",
                  control.IsShown(true) ? 1 : 0, control.IsEnabled(true) ? 1 : 0, std::lround(p.x - origin.x),
                  std::lround(p.y - origin.y), std::lround(control.GetWidth()),
                  std::lround(control.GetHeight()), control.GetValue());
    AppendEscaped(out, NString(control.GetName()).c_str());
    out += '\t';
    AppendEscaped(out, NString(control.GetDescriptorClassName()).c_str());
    out += numbers;
    AppendEscaped(out, NString(control.GetText()).c_str());
    out += '\n';
    LControl::ChildControlList& children = control.GetChildren();
    for (uint32_t i = 0; i < children.Count(); ++i)
        AppendTree(out, *children.GetAt(i), origin);
}

}  // namespace

std::unique_ptr<UiDump> UiDump::FromEnvironment()
{
    const char* path = std::getenv("TAVO_UI_DUMP");
    if (!path || !*path)
        return nullptr;
    return std::make_unique<UiDump>(path);
}

std::string UiDump::Describe(LControl& root, const PointT<int32_t>& screenOrigin)
{
    // The root control fills the window: its corner is the window's.
    const PointT<double> origin = root.GetAbsolutePosition();
    char head[96];
    std::snprintf(head, sizeof head, "window\t%d\t%d\t%ld\t%ld\n", screenOrigin.x, screenOrigin.y,
                  std::lround(root.GetWidth()), std::lround(root.GetHeight()));
    std::string out = head;
    AppendTree(out, root, origin);
    return out;
}

bool UiDump::Update(LControl& root, const PointT<int32_t>& screenOrigin)
{
    std::string text = Describe(root, screenOrigin);
    if (text == mLast)
        return false;
    if (!Platform::WriteFileAtomically(mPath, text, 0644, false))
        return false;
    mLast = std::move(text);
    return true;
}

}  // namespace Tavo
