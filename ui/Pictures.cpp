#include "ui/Pictures.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtMath>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

const QString Folder = u":/ui/pictures/"_s;

} // namespace

QString Pictures::programIconPath()
{
    return Folder + u"program-icon.svg"_s;
}

QString Pictures::toolbarImagePath(int index)
{
    static const QStringList files = {
        u"toolbar-0-pencil.svg"_s,    u"toolbar-1-page-pencil.svg"_s, u"toolbar-2-pages-cross.svg"_s,
        u"toolbar-3-magnifier.svg"_s, u"toolbar-4-woman-man.svg"_s,   u"toolbar-5-star-arrow.svg"_s,
        u"toolbar-6-printer.svg"_s,   u"toolbar-7-pen.svg"_s,         u"toolbar-8-refresh.svg"_s,
        u"toolbar-9-running.svg"_s,
    };
    if (index < 0 || index >= files.size())
        return {};
    return Folder + files.at(index);
}

QString Pictures::loginPicturePath(int index)
{
    switch (index) {
    case LoginUser:
        return Folder + u"login-people.svg"_s;
    case LoginPassword:
        return Folder + u"login-padlock.svg"_s;
    default:
        break;
    }
    return {};
}

QPixmap Pictures::render(const QString& path, int size)
{
    if (path.isEmpty())
        return {};
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    // Drawn at the screen's pixel density: on a screen that scales by two, a 32-pixel picture gets 64 pixels of
    // its own and is as sharp as the text beside it, instead of being blown up from 32.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    const int pixels = qCeil(size * ratio);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon Pictures::programIcon()
{
    QIcon icon;
    for (int size : {128, 64, 48, 32, 16})
        icon.addPixmap(render(programIconPath(), size));
    return icon;
}

QPixmap Pictures::toolbarImage(int index)
{
    return render(toolbarImagePath(index), 32);
}

QPixmap Pictures::loginPicture(int index)
{
    return render(loginPicturePath(index), 32);
}

} // namespace ovelta
