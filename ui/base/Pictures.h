#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace ovelta {

/// The program's own pictures, drawn as SVG and compiled into the toolkit as resources.
class Pictures
{
public:
    static constexpr int ToolbarImageCount = 10;
    static constexpr int LoginUser = 0; ///< two people, beside the user name
    static constexpr int LoginPassword = 1; ///< a padlock, beside the password

    /// The turquoise yuan sign, in the five sizes 128, 64, 48, 32 and 16 pixels square; each drawn the first time
    /// it is asked for, once for the whole program.
    static QIcon programIcon();
    /// An icon of a picture resource, size pixels square, drawn when it is first shown rather than when it is
    /// made (a window's pictures then cost nothing until the window paints). Other modes than QIcon::Normal are
    /// made from it as the style makes them.
    static QIcon icon(const QString& path, int size);
    /// The 32×32 image of toolbar button 0-9; a null pixmap for any other index.
    static QPixmap toolbarImage(int index);
    /// The 32×32 login picture LoginUser or LoginPassword; a null pixmap for any other index.
    static QPixmap loginPicture(int index);

    /// Resource paths, for layout data that names its pictures; empty for an unknown index.
    static QString programIconPath();
    static QString toolbarImagePath(int index);
    static QString loginPicturePath(int index);

    /// Renders a picture resource into a square pixmap with transparency, size pixels wide on the screen: drawn
    /// with the screen's device pixel ratio, so its pixels are size times that ratio. Null when the resource is
    /// missing.
    static QPixmap render(const QString& path, int size);
};

} // namespace ovelta
