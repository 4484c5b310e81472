#pragma once

#include "store/ledger/LedgerEvents.h"
#include "ui/grid/GridPrinter.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPageLayout>
#include <QString>
#include <memory>

class QStandardItemModel;
class QWidget;

namespace ovelta {

class ReportPrinter;

/// A banquet's gift book on paper, as such books are written by hand: a cover, then pages read in columns from
/// right to left, one guest a column, the name above and the amount in capitals below, each character under the
/// one before. At the foot of every page its total in capitals and in figures and the page number.
///
/// The cover names the book by its occasion ("结婚礼簿"), its date and 收礼 or 送礼, with the number of guests and
/// the total in capitals and figures. Rules, frame and titles are 中国红 for happy occasions; a funeral's book has
/// grey rules and black titles. A capital amount rounded to the fen carries a "※", which the cover explains. A long
/// name is set in smaller characters until it fits its column, and a very long one in two or more lines side by side:
/// never cut.
class GiftBookPrinter : public PagePrinter
{
public:
    /// The lines in the order of the book: the first guest first.
    GiftBookPrinter(const EventKey& event, const QList<GiftLine>& lines);

    /// A4 across with margins of 12 mm.
    static QPageLayout pageLayout();
    /// Guests on one page of that layout: columns at least 48 points wide; at least one.
    static int columnsPerPage(const QPageLayout& layout);
    /// Whether the occasion is a funeral, which is printed in black and grey.
    static bool isMourning(const QString& occasion);
    /// The colour of the rules and frame of a book of that occasion, and of its titles but for a funeral's, which
    /// are black.
    static QColor accentOf(const QString& occasion);
    /// "结婚礼簿"; "礼簿" for an occasion without a name.
    static QString bookTitle(const QString& occasion);
    /// The mark of an amount whose capitals are rounded to the fen.
    static QString roundedMark();

    using PagePrinter::pageCount;
    /// The cover and the pages of guests.
    int pageCount(const QPageLayout& layout) const override;
    void paintPage(QPainter& painter, const QPageLayout& layout, qreal dpi, int page) const override;
    QString documentTitle() const override;

private:
    void paintCover(QPainter& painter, const QRectF& area, qreal unit) const;
    void paintGuests(QPainter& painter, const QRectF& area, qreal unit, int page, int pages, int columns) const;
    /// A font of that size in points on paper, whatever the painter's device.
    QFont fontOf(const QPainter& painter, qreal unit, qreal points, bool bold = false) const;

    EventKey m_event;
    QList<GiftLine> m_lines;
    QFont m_font;
};

/// The same book as a plain table (姓名, 关系, 金额, 大写, 说明), the guests in the book's order, with the count
/// and total after the last row.
class GiftTablePrinter : public PagePrinter
{
public:
    GiftTablePrinter(const EventKey& event, const QList<GiftLine>& lines);
    ~GiftTablePrinter() override;

    using PagePrinter::pageCount;
    int pageCount(const QPageLayout& layout) const override;
    void paintPage(QPainter& painter, const QPageLayout& layout, qreal dpi, int page) const override;
    QString documentTitle() const override;

private:
    std::unique_ptr<QStandardItemModel> m_model;
    std::unique_ptr<ReportPrinter> m_table;
};

namespace GiftBookPrint {

enum Style { Book, Table };

/// The count and total of a book in words: "来宾 3 位" for a banquet of one's own, "共 3 笔" for gifts given.
QString countText(const EventKey& event, qsizetype count);

/// Opens the program's print preview of the book in that style over parent and returns when it has closed;
/// printing and PDF output go from there. The lines are in the book's order.
void openPreview(Style style, const EventKey& event, const QList<GiftLine>& lines, QWidget* parent);

} // namespace GiftBookPrint

} // namespace ovelta
