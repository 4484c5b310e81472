#pragma once

// Records the texts a widget draws: each text with where it was drawn, how wide, the colour of its pen and
// the clip it was drawn under, all in the coordinates of the rendered widget. Header-only, like GuiSupport.h,
// so that the support library needs no widgets.

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QWidget>

namespace ovelta::test {

struct DrawnText
{
    QString text;
    QRectF rect; ///< from the text's start at its baseline's left to its advance, one line high
    QRectF clip; ///< where drawing was allowed; the whole device when nothing clipped it
    QColor colour;

    /// The whole advance of the text lies inside the clip (half a pixel of rounding allowed).
    bool shownWhole() const { return rect.left() >= clip.left() - 0.5 && rect.right() <= clip.right() + 0.5; }
    bool elided() const { return text.contains(QChar(0x2026)); }
};

class DrawnTextEngine : public QPaintEngine
{
public:
    DrawnTextEngine()
        : QPaintEngine(QPaintEngine::PaintEngineFeatures(QPaintEngine::AllFeatures) & ~QPaintEngine::PainterPaths)
    {
    }
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override { }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { }
    Type type() const override { return QPaintEngine::User; }

    void drawTextItem(const QPointF& position, const QTextItem& item) override
    {
        QPainter* p = painter();
        const QTransform toDevice = p->deviceTransform();
        const QPointF start = toDevice.map(position);
        const qreal width = item.width() * toDevice.m11();
        const qreal height = (item.ascent() + item.descent()) * toDevice.m22();
        QRectF clip(0, 0, 1e9, 1e9);
        if (!systemClip().isEmpty())
            clip = clip.intersected(QRectF(systemClip().boundingRect()));
        if (p->hasClipping())
            clip = clip.intersected(toDevice.mapRect(p->clipBoundingRect()));
        texts.append(
            {item.text(), QRectF(start.x(), start.y() - item.ascent(), width, height), clip, p->pen().color()});
    }

    QList<DrawnText> texts;
};

class DrawnTextDevice : public QPaintDevice
{
public:
    explicit DrawnTextDevice(QSize size)
        : m_size(size)
    {
    }
    QPaintEngine* paintEngine() const override { return &m_engine; }
    QList<DrawnText> texts() const { return m_engine.texts; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    QSize m_size;
    mutable DrawnTextEngine m_engine;
};

/// Every text the widget and its children draw when rendered.
inline QList<DrawnText> drawnTexts(QWidget* widget)
{
    DrawnTextDevice device(widget->size());
    widget->render(&device);
    return device.texts();
}

/// The drawn texts equal to text, or elided from it.
inline QList<DrawnText> drawnAs(const QList<DrawnText>& texts, const QString& text)
{
    QList<DrawnText> found;
    for (const DrawnText& t : texts) {
        const QString prefix = t.text.left(t.text.indexOf(QChar(0x2026)));
        if (t.text == text || (t.elided() && text.startsWith(prefix)))
            found.append(t);
    }
    return found;
}

} // namespace ovelta::test
