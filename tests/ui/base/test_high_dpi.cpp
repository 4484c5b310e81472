// The windows on a screen that scales by two (QT_SCALE_FACTOR=2, as a desktop set to 200 % gives them): every
// window keeps its layout in proportion, and the pictures are drawn from their SVG with twice the pixels, as
// sharp as the text beside them.

#include "TempFolder.h"
#include "UiTestSupport.h"
#include "ui/base/Pictures.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace ovelta;
using namespace ovelta::test;

namespace {

constexpr qreal Scale = 2.0;

/// The picture drawn straight from its SVG into a square of that many pixels.
QImage drawn(const QString& path, int pixels)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QSvgRenderer(path).render(&painter);
    painter.end();
    return image;
}

/// The pixels of a pixmap alone, without the ratio it is shown at.
QImage pixelsOf(const QPixmap& pixmap)
{
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1.0);
    return image;
}

/// The pixels an icon shows at 32 pixels on this screen.
QImage shown(const QIcon& icon)
{
    return pixelsOf(icon.pixmap(QSize(32, 32), Scale));
}

} // namespace

class HighDpiTest : public QObject
{
    Q_OBJECT

private:
    TempFolder m_folder;

private Q_SLOTS:
    void theScreenScalesByTwo() { QCOMPARE(qApp->devicePixelRatio(), Scale); }

    void cleanup() { destroyAllWindows(); }

    void picturesHaveThePixelsOfTheScreen_data()
    {
        QTest::addColumn<QString>("path");
        for (int i = 0; i < Pictures::ToolbarImageCount; ++i)
            QTest::newRow(qPrintable(u"toolbar %1"_s.arg(i))) << Pictures::toolbarImagePath(i);
        QTest::newRow("login user") << Pictures::loginPicturePath(Pictures::LoginUser);
        QTest::newRow("login password") << Pictures::loginPicturePath(Pictures::LoginPassword);
        QTest::newRow("program icon") << Pictures::programIconPath();
    }

    void picturesHaveThePixelsOfTheScreen()
    {
        QFETCH(QString, path);
        const QPixmap picture = Pictures::render(path, 32);
        QCOMPARE(picture.devicePixelRatio(), Scale);
        QCOMPARE(picture.deviceIndependentSize(), QSizeF(32, 32));
        QCOMPARE(picture.size(), QSize(64, 64));
        QCOMPARE(pixelsOf(picture), drawn(path, 64));
    }

    void windowsKeepTheirLayout_data()
    {
        QTest::addColumn<QString>("id");
        for (const WindowDef* def : Catalogue::all())
            QTest::newRow(qPrintable(def->id)) << def->id;
    }

    void windowsKeepTheirLayout()
    {
        QFETCH(QString, id);
        LedgerWindow* window = openWindow(defById(id));
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // Every control where the layout puts it, in the window's own units: the whole window grows alike.
        int checked = 0;
        for (const ControlDef& c : window->def().controls) {
            QWidget* w = window->findChild<QWidget*>(c.name);
            if (w == nullptr || c.kind == ControlKind::ToolBar || w->parentWidget() != window || c.name == u"高级表格"_s
                || c.name == u"状态条1"_s)
                continue;
            QCOMPARE(w->geometry(), c.rect);
            ++checked;
        }
        QVERIFY(checked > 0 || id == u"main"_s);
        const QPixmap grabbed = window->grab();
        QCOMPARE(grabbed.devicePixelRatio(), Scale);
        QCOMPARE(grabbed.size(), window->size() * 2);
    }

    void buttonsShowTheSharpPictures()
    {
        LedgerWindow* main = openWindow(Catalogue::mainWindow());
        auto* bar = main->control<QToolBar>(u"工具条1"_s);
        QCOMPARE(bar->iconSize(), QSize(32, 32));
        for (int i = 0; i < Pictures::ToolbarImageCount; ++i) {
            auto* button = bar->findChild<QToolButton*>(u"工具条1_%1"_s.arg(i));
            QVERIFY2(button != nullptr, qPrintable(QString::number(i)));
            QCOMPARE(shown(button->icon()), drawn(Pictures::toolbarImagePath(i), 64));
        }
        LedgerWindow* login = openWindow(Catalogue::loginWindow());
        QCOMPARE(shown(login->control<QToolButton>(u"图形按钮1"_s)->icon()),
                 drawn(Pictures::loginPicturePath(Pictures::LoginUser), 64));
        QCOMPARE(shown(login->control<QToolButton>(u"图形按钮2"_s)->icon()),
                 drawn(Pictures::loginPicturePath(Pictures::LoginPassword), 64));
    }
};

int main(int argc, char** argv)
{
    // Set before the application exists: the screen's scale is read once, at its start.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    HighDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_high_dpi.moc"
