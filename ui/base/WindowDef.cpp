#include "ui/base/WindowDef.h"

namespace ovelta {

namespace {

// The frame a window manager draws around a fixed-size window: a 4-pixel border on every side, and a caption
// bar of 19 pixels (normal) or 15 pixels (small caption of a tool window).
constexpr int BorderWidth = 4;
constexpr int CaptionHeight = 19;
constexpr int SmallCaptionHeight = 15;

} // namespace

QSize WindowDef::clientSize() const
{
    switch (frame) {
    case FrameKind::Normal:
        return {outerSize.width() - 2 * BorderWidth, outerSize.height() - 2 * BorderWidth - CaptionHeight};
    case FrameKind::Tool:
        return {outerSize.width() - 2 * BorderWidth, outerSize.height() - 2 * BorderWidth - SmallCaptionHeight};
    case FrameKind::None:
        break;
    }
    return outerSize;
}

const ControlDef* WindowDef::control(const QString& name) const
{
    for (const ControlDef& c : controls) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

} // namespace ovelta
