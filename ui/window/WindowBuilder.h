#pragma once

#include "ui/base/WindowDef.h"

#include <QFont>

class QWidget;

namespace ovelta {

/// Turns a control table into widgets inside a window: one widget per visible control kind, named by the
/// control's name (objectName), at its rectangle in its parent, stacked so that earlier rows lie above later
/// ones, with its settings and initial state. Invisible kinds (database objects, common dialog) build nothing.
class WindowBuilder
{
public:
    static void build(const WindowDef& def, QWidget* window);
    static QWidget* buildControl(const ControlDef& control, QWidget* parent);
    /// The font a control asks for (Fonts::forDef): the windows' CJK face at 12 or 14 pixels.
    static QFont fontFor(FontDef font);
};

} // namespace ovelta
