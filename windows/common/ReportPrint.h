#pragma once

#include "ui/grid/GridPrinter.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QPageLayout>
#include <QStringList>
#include <memory>
#include <vector>

class QAbstractItemModel;
class QWidget;

namespace ovelta {

/// A table of the people and statistics windows on paper: on every page a title line, the column headers, as
/// many rows as fit and at its foot "第 N 页 / 共 M 页"; after the last row the report's totals, a line each.
///
/// The table is printed as its model shows it (the rows in their shown order, the shown texts, each column's
/// alignment, bold rows); the model must outlive the printer and keep its rows meanwhile, as it does under the
/// modal print preview. Nothing of the table is copied, so that a list of many thousand people prints without
/// a second copy of it in memory.
/// The columns share the page width by their widest texts: amounts and counts (the right-aligned columns) keep
/// room for their whole text and the columns of names and notes give way. A name or note too long for its
/// cell is wrapped onto further lines of its row (up to three; the third narrowed to the cell if need be), and
/// any other text too wide is printed narrowed to its cell: every text whole, never cut.
class ReportPrinter : public PagePrinter
{
public:
    ReportPrinter(const QString& title, const QAbstractItemModel& model, const QStringList& totals = {});

    /// A4 upright with margins of 15 mm, as the ledger grid prints.
    static QPageLayout pageLayout();
    using PagePrinter::pageCount;
    int pageCount(const QPageLayout& layout) const override;
    void paintPage(QPainter& painter, const QPageLayout& layout, qreal dpi, int page) const override;
    QString documentTitle() const override { return m_title; }

    /// Opens the program's print preview of the table over parent and returns when it has closed; printing
    /// and PDF output go from there.
    static void openPreview(const QString& title, const QAbstractItemModel& model, const QStringList& totals,
                            QWidget* parent);

private:
    /// The table laid out for one size of page, in points.
    struct Pages
    {
        QList<qreal> widths; ///< per column
        std::vector<quint8> lines; ///< per row: its lines of text
        QHash<qint64, QStringList> broken; ///< row × columns + column: the lines of a wrapped text
        std::vector<qsizetype> starts; ///< per page: its first row (rows, then the lines of totals)
    };
    const Pages& layoutOf(const QPageLayout& layout) const;
    static qreal rowPoints(const Pages& pages, int row);
    /// The widest text of each column in points, header included; m_typical gets the usual one's.
    const QList<qreal>& naturalWidths() const;
    QList<qreal> columnWidths(qreal pageWidth) const;

    QString text(int row, int column) const;
    bool isBold(int row) const;

    const QAbstractItemModel& m_model;
    int m_rowCount;
    QString m_title;
    QStringList m_headers;
    QList<Qt::Alignment> m_alignments;
    QStringList m_totals;
    QFont m_font;
    mutable std::vector<char> m_boldRows;
    mutable QList<qreal> m_natural;
    mutable QList<qreal> m_typical; ///< per column: room for all but its rare long texts, in points
    mutable QHash<QString, Pages> m_pages;
};

} // namespace ovelta
