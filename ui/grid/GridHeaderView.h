#pragma once

#include <QHeaderView>

namespace ovelta {

/// The ledger grid's two fixed rows, drawn as its horizontal header so that they never scroll vertically: a
/// title cell merged over every column, and below it one centred header cell per column (texts from the
/// model's header data). Each row is RowHeight pixels high.
class GridHeaderView : public QHeaderView
{
    Q_OBJECT
public:
    static constexpr int RowHeight = 24;

    explicit GridHeaderView(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    QString title() const { return m_title; }
    QSize sizeHint() const override;

Q_SIGNALS:
    /// A double-click with the left button anywhere on the fixed rows.
    void fixedRowsDoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void paintCell(QPainter& painter, const QRect& rect, const QString& text, int section) const;

    QString m_title;
};

} // namespace ovelta
