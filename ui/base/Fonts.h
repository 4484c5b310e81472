#pragma once

#include "ui/base/WindowDef.h"

#include <QFont>
#include <QStringList>

namespace ovelta {

/// The one place where the program chooses the face its windows draw text with. Every window's text is drawn
/// at the character heights the layout was made for (12 pixels, and 14 for the larger font) with a CJK face
/// whose digits are narrow enough for the layout's widths: "宋体" where it is installed, otherwise the faces
/// of families(), in that order. A character the chosen face lacks is drawn by the next face of families()
/// that has it, before any face the system would offer: names hold rare characters (䶮 of Extension A, 𠇔
/// and the general standard table's characters beyond the BMP) that of these faces only Noto Sans CJK SC
/// and Source Han Sans SC have.
class Fonts
{
public:
    static constexpr int GuiPixelSize = 12;
    static constexpr int LargePixelSize = 14;

    /// Reads the system's font configuration on a worker thread, which takes a few milliseconds that the first
    /// window's text would otherwise wait for. To be called before the application object exists; the toolkit
    /// takes the configuration read here, or waits for the rest.
    static void prepareInBackground();

    /// The faces asked for, in order of preference.
    static QStringList families();
    /// The windows' default font: the CJK face at 12 pixels, normal weight.
    static QFont gui();
    /// The font a control of the layout asks for: gui() for the default and S12, 14 pixels for S14.
    static QFont forDef(FontDef font);
};

} // namespace ovelta
