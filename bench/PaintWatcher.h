#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QString>
#include <QWidget>

namespace ovelta::bench {

/// Counts the paint events of one window (by its objectName) and of its controls.
class PaintWatcher : public QObject
{
public:
    explicit PaintWatcher(const QString& windowId)
        : m_windowId(windowId)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~PaintWatcher() override { QCoreApplication::instance()->removeEventFilter(this); }
    PaintWatcher(const PaintWatcher&) = delete;
    PaintWatcher& operator=(const PaintWatcher&) = delete;

    int paints() const { return m_paints; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget != nullptr && widget->window()->objectName() == m_windowId)
                ++m_paints;
        }
        return false;
    }

private:
    QString m_windowId;
    int m_paints = 0;
};

} // namespace ovelta::bench
