#pragma once

#include <QFont>
#include <QList>
#include <QString>

class QPainter;
class QPrinter;
class QRectF;

namespace ovelta {

class LedgerGridModel;

/// Paints the ledger grid's contents onto printer pages: on every page the title row merged over the table,
/// the header row, then as many data rows as fit. The columns share the page width in proportion to their
/// widths in the grid; the hidden ID column is left out. Rows keep the grid's 24-pixel height (at 96 dpi) and
/// its row backgrounds; texts that do not fit their cell are printed whole,
/// narrowed to the cell's width.
class GridPrinter
{
public:
    GridPrinter(const LedgerGridModel& model, const QString& title, const QList<int>& columnWidths, const QFont& font);

    /// Paints every page (or the page range the printer asks for). False when painting could not start or
    /// finish (for instance an output file that cannot be written).
    bool print(QPrinter* printer) const;
    /// Pages needed on that printer.
    int pageCount(QPrinter* printer) const;

private:
    struct Column
    {
        int column;
        qreal left;
        qreal width;
    };

    int rowsPerPage(QPrinter* printer) const;
    QList<Column> layoutColumns(qreal pageWidth) const;
    void paintPage(QPainter& painter, QPrinter* printer, int firstRow, int rowCount) const;
    void paintText(QPainter& painter, const QRectF& rect, const QString& text, Qt::Alignment alignment) const;

    const LedgerGridModel& m_model;
    QString m_title;
    QList<int> m_widths;
    QFont m_font;
};

} // namespace ovelta
