#include "ui/base/Pictures.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <QtMath>
#include <algorithm>

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

namespace {

/// Draws a picture resource at the sizes it is asked for, each once, when it is first asked for.
class PictureIconEngine : public QIconEngine
{
public:
    PictureIconEngine(const QString& path, QList<int> sizes)
        : m_path(path)
        , m_sizes(std::move(sizes))
    {
    }

    QIconEngine* clone() const override { return new PictureIconEngine(*this); }
    QString key() const override { return u"ovelta-picture"_s; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int size : m_sizes)
            sizes << QSize(size, size);
        return sizes;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = fitting(std::min(size.width(), size.height()));
        return QSize(side, side);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override
    {
        const int side = fitting(std::min(size.width(), size.height()));
        QPixmap& drawn = m_drawn[side];
        if (drawn.isNull())
            drawn = Pictures::render(m_path, side);
        if (mode == QIcon::Normal || drawn.isNull())
            return drawn;
        QStyleOption option;
        option.palette = QGuiApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, drawn, &option);
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const QPixmap picture = pixmap(rect.size(), mode, state);
        const QSize shown = picture.deviceIndependentSize().toSize();
        painter->drawPixmap(
            QRect(rect.topLeft() + QPoint((rect.width() - shown.width()) / 2, (rect.height() - shown.height()) / 2),
                  shown),
            picture);
    }

private:
    /// The largest of the sizes that fits side, or the smallest when none does.
    int fitting(int side) const
    {
        int best = 0;
        for (const int size : m_sizes) {
            if (size <= side && size > best)
                best = size;
        }
        return best > 0 ? best : *std::min_element(m_sizes.begin(), m_sizes.end());
    }

    QString m_path;
    QList<int> m_sizes;
    QHash<int, QPixmap> m_drawn;
};

} // namespace

QIcon Pictures::icon(const QString& path, int size)
{
    return QIcon(new PictureIconEngine(path, {size}));
}

QIcon Pictures::programIcon()
{
    // One icon for every window: whatever size one of them had drawn, the others find drawn. It lives as long as
    // the process, so that no picture outlives the application object at exit.
    static const QIcon* const icon = new QIcon(new PictureIconEngine(programIconPath(), {128, 64, 48, 32, 16}));
    return *icon;
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
