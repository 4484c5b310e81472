#include "windows/reports/GiftBookPrint.h"

#include "store/value/Money.h"
#include "ui/base/Fonts.h"
#include "ui/print/PrintPreview.h"
#include "windows/common/ReportPrint.h"
#include "windows/common/ReportText.h"

#include <QFontMetricsF>
#include <QPageSize>
#include <QPaintDevice>
#include <QPainter>
#include <QStandardItemModel>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

constexpr qreal PointsPerInch = 72.0;
/// A column of a guest is at least this wide, so that its characters stay legible.
constexpr qreal MinimumColumnPoints = 48.0;
/// The band above the columns with the book's title, and the one below with the page's total and number.
constexpr qreal HeaderPoints = 26.0;
constexpr qreal FooterPoints = 28.0;
/// The names stand in the upper part of the columns, eight characters at full size on A4 across; the amounts
/// below, sixteen.
constexpr qreal NameZoneShare = 0.36;
constexpr qreal ZonePadding = 8.0;
constexpr qreal NamePoints = 18.0;
constexpr qreal CapitalsPoints = 16.0;
/// The distance of stacked characters, in their size.
constexpr qreal StackStep = 1.08;
/// Where the baseline of a CJK character stands in its square, from its top.
constexpr qreal BaselineInSquare = 0.88;
/// A character's size leaves this much of its column's width free.
constexpr qreal ColumnFill = 0.72;
/// A text that would be smaller than this in one line goes on in a second line (and more) to its left, as a
/// long name is written by hand in small double lines.
constexpr qreal SmallestPoints = 9.0;
constexpr int MostLines = 4;
constexpr qreal HeaderTextPoints = 12.0;
constexpr qreal FooterTextPoints = 11.0;

const QColor ChinaRed(0xC8, 0x16, 0x1D);
const QColor MourningGrey(0x80, 0x80, 0x80);
const QColor Ink(Qt::black);

/// The characters of a text as the reader sees them: a character outside the basic plane or with its marks is one.
QStringList charactersOf(const QString& text)
{
    QStringList characters;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() >= 0) {
        const qsizetype end = finder.position();
        if (end > start) {
            QString c = text.mid(start, end - start);
            // Line breaks and other control characters stand as blanks.
            if (c.at(0).unicode() < 0x20)
                c = u" "_s;
            characters << c;
        }
        start = end;
    }
    return characters;
}

bool fitsCapitals(Sum ticks)
{
    return ticks >= std::numeric_limits<qint64>::min() && ticks <= std::numeric_limits<qint64>::max();
}

/// An amount in capitals, with the mark when they are rounded to the fen.
QString capitalsOf(Sum ticks, bool* anyRounded = nullptr)
{
    if (!fitsCapitals(ticks))
        return u"超出范围"_s;
    bool rounded = false;
    QString text = Money::toCapitals(qint64(ticks), &rounded);
    if (rounded) {
        text += GiftBookPrinter::roundedMark();
        if (anyRounded != nullptr)
            *anyRounded = true;
    }
    return text;
}

QString dateText(const QDate& date)
{
    return date.isValid() ? ReportText::date(date) : u"无日期"_s;
}

/// The book's name, date and direction on one line.
QString headline(const EventKey& event)
{
    return u"%1　%2　%3"_s.arg(GiftBookPrinter::bookTitle(event.occasion), dateText(event.date), event.direction);
}

/// Paints a text on one line in its box, centred upright, at the left, at the right or centred across; a text
/// wider than the box is narrowed to it, whole.
void paintLine(QPainter& painter, const QRectF& box, const QString& text, Qt::Alignment alignment)
{
    if (text.isEmpty())
        return;
    const QFontMetricsF metrics(painter.font(), painter.device());
    const qreal width = metrics.horizontalAdvance(text);
    const qreal baseline = box.top() + (box.height() - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
    if (width <= box.width()) {
        qreal x = box.left();
        if (alignment & Qt::AlignRight)
            x = box.right() - width;
        else if (alignment & Qt::AlignHCenter)
            x = box.left() + (box.width() - width) / 2;
        painter.drawText(QPointF(x, baseline), text);
        return;
    }
    painter.save();
    painter.translate(box.left(), 0);
    painter.scale(box.width() / width, 1.0);
    painter.drawText(QPointF(0, baseline), text);
    painter.restore();
}

QPen penOf(const QColor& colour, qreal points, qreal unit)
{
    QPen pen(colour);
    pen.setWidthF(points * unit);
    return pen;
}

} // namespace

GiftBookPrinter::GiftBookPrinter(const EventKey& event, const QList<GiftLine>& lines)
    : m_event(event)
    , m_lines(lines)
    , m_font(Fonts::gui())
{
    m_font.setHintingPreference(QFont::PreferNoHinting);
}

QPageLayout GiftBookPrinter::pageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(12, 12, 12, 12),
                       QPageLayout::Millimeter);
}

int GiftBookPrinter::columnsPerPage(const QPageLayout& layout)
{
    const qreal width = layout.paintRect(QPageLayout::Point).width();
    return std::max(1, int(width / MinimumColumnPoints));
}

bool GiftBookPrinter::isMourning(const QString& occasion)
{
    for (const QString& sign : {u"丧"_s, u"白事"_s, u"葬"_s, u"祭"_s, u"悼"_s}) {
        if (occasion.contains(sign))
            return true;
    }
    return false;
}

QColor GiftBookPrinter::accentOf(const QString& occasion)
{
    return isMourning(occasion) ? MourningGrey : ChinaRed;
}

QString GiftBookPrinter::bookTitle(const QString& occasion)
{
    return occasion.trimmed() + u"礼簿"_s;
}

QString GiftBookPrinter::roundedMark()
{
    return u"※"_s;
}

int GiftBookPrinter::pageCount(const QPageLayout& layout) const
{
    const int columns = columnsPerPage(layout);
    return 1 + int((m_lines.size() + columns - 1) / columns);
}

QString GiftBookPrinter::documentTitle() const
{
    return u"%1 %2 %3"_s.arg(bookTitle(m_event.occasion), dateText(m_event.date), m_event.direction);
}

QFont GiftBookPrinter::fontOf(const QPainter& painter, qreal unit, qreal points, bool bold) const
{
    // The font keeps its size in points on paper whatever the device: a device of another resolution than the
    // painter's units (the preview's screen) gets the size scaled so that the texts measure the same.
    const qreal dpi = unit * PointsPerInch;
    const int deviceDpi = painter.device() != nullptr ? painter.device()->logicalDpiY() : int(dpi);
    QFont font(m_font);
    font.setPointSizeF(std::max<qreal>(0.1, points * dpi / std::max(1, deviceDpi)));
    font.setBold(bold);
    return font;
}

void GiftBookPrinter::paintPage(QPainter& painter, const QPageLayout& layout, qreal dpi, int page) const
{
    const qreal unit = dpi / PointsPerInch;
    const QRectF paint = layout.paintRect(QPageLayout::Point);
    const QRectF area(0, 0, paint.width() * unit, paint.height() * unit);
    const int pages = pageCount(layout);
    page = std::clamp(page, 1, pages);
    painter.save();
    if (page == 1)
        paintCover(painter, area, unit);
    else
        paintGuests(painter, area, unit, page, pages, columnsPerPage(layout));
    painter.restore();
}

void GiftBookPrinter::paintCover(QPainter& painter, const QRectF& area, qreal unit) const
{
    const QColor accent = accentOf(m_event.occasion);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(penOf(accent, 3, unit));
    painter.drawRect(area.adjusted(1.5 * unit, 1.5 * unit, -1.5 * unit, -1.5 * unit));
    painter.setPen(penOf(accent, 0.8, unit));
    painter.drawRect(area.adjusted(8 * unit, 8 * unit, -8 * unit, -8 * unit));

    Sum total = 0;
    bool rounded = false;
    for (const GiftLine& line : m_lines) {
        total += line.ticks;
        capitalsOf(line.ticks, &rounded);
    }
    const QString totalCapitals = capitalsOf(total, &rounded);

    const QRectF inner = area.adjusted(24 * unit, 0, -24 * unit, 0);
    const auto line = [&](qreal fromTop, qreal points, const QString& text, const QColor& colour, bool bold) {
        painter.setFont(fontOf(painter, unit, points, bold));
        painter.setPen(colour);
        const qreal height = points * 1.6 * unit;
        paintLine(painter, QRectF(inner.left(), area.height() * fromTop - height / 2, inner.width(), height), text,
                  Qt::AlignHCenter);
    };
    // A funeral's titles are black; its rules grey.
    const QColor title = isMourning(m_event.occasion) ? Ink : accent;
    line(0.25, 44, bookTitle(m_event.occasion), title, true);
    painter.setPen(penOf(accent, 1, unit));
    const qreal ruleY = area.height() * 0.34;
    painter.drawLine(QPointF(area.width() * 0.3, ruleY), QPointF(area.width() * 0.7, ruleY));
    line(0.42, 20, dateText(m_event.date), Ink, false);
    line(0.50, 20, m_event.direction, Ink, false);
    line(0.62, 16, GiftBookPrint::countText(m_event, m_lines.size()), Ink, false);
    line(0.70, 16, u"合计："_s + totalCapitals, Ink, false);
    line(0.78, 16, ReportText::money(total), Ink, false);
    if (rounded) {
        line(0.89, 10, u"注：标有“%1”的金额不足一分的尾数，大写按四舍五入到分。"_s.arg(roundedMark()), Ink, false);
    }
}

void GiftBookPrinter::paintGuests(QPainter& painter, const QRectF& area, qreal unit, int page, int pages,
                                  int columns) const
{
    const QColor accent = accentOf(m_event.occasion);
    const QColor title = isMourning(m_event.occasion) ? Ink : accent;
    const qsizetype first = qsizetype(page - 2) * columns;
    const qsizetype last = std::min<qsizetype>(first + columns, m_lines.size());

    painter.setFont(fontOf(painter, unit, HeaderTextPoints, true));
    painter.setPen(title);
    paintLine(painter, QRectF(0, 0, area.width(), HeaderPoints * unit), headline(m_event), Qt::AlignHCenter);

    const QRectF table(0, HeaderPoints * unit, area.width(), area.height() - (HeaderPoints + FooterPoints) * unit);
    const qreal columnWidth = table.width() / columns;
    const qreal divider = table.top() + table.height() * NameZoneShare;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(penOf(accent, 1.5, unit));
    painter.drawRect(table);
    painter.setPen(penOf(accent, 0.5, unit));
    painter.drawLine(QPointF(table.left(), divider), QPointF(table.right(), divider));
    for (int c = 1; c < columns; ++c) {
        const qreal x = table.right() - c * columnWidth;
        painter.drawLine(QPointF(x, table.top()), QPointF(x, table.bottom()));
    }

    // Each text stacked in its zone, character under character, at full size when it fits and smaller when not;
    // a very long one in further lines to the left of its first.
    const auto stack = [&](const QStringList& characters, qreal centre, qreal top, qreal bottom, qreal points) {
        if (characters.isEmpty())
            return;
        const qreal room = (bottom - top) / unit - 2 * ZonePadding;
        const qreal width = columnWidth / unit * ColumnFill;
        const auto sizeIn = [&](int lines) {
            const qsizetype perLine = (characters.size() + lines - 1) / lines;
            return std::max<qreal>(0.1, std::min({points, room / (qreal(perLine) * StackStep), width / lines}));
        };
        int lines = 1;
        while (sizeIn(lines) < SmallestPoints && lines < MostLines && sizeIn(lines + 1) > sizeIn(lines))
            ++lines;
        const qreal size = sizeIn(lines);
        const qsizetype perLine = (characters.size() + lines - 1) / lines;
        painter.setFont(fontOf(painter, unit, size));
        const QFontMetricsF metrics(painter.font(), painter.device());
        const qreal step = size * StackStep * unit;
        const qreal lineWidth = columnWidth * ColumnFill / lines;
        for (qsizetype i = 0; i < characters.size(); ++i) {
            const QString& c = characters.at(i);
            const qsizetype line = i / perLine;
            const qreal x = centre + (qreal(lines - 1) / 2 - qreal(line)) * lineWidth;
            const qreal y = top + ZonePadding * unit + qreal(i % perLine) * step;
            painter.drawText(QPointF(x - metrics.horizontalAdvance(c) / 2, y + size * BaselineInSquare * unit), c);
        }
    };
    Sum pageTotal = 0;
    painter.setPen(Ink);
    for (qsizetype i = first; i < last; ++i) {
        const GiftLine& guest = m_lines.at(i);
        pageTotal += guest.ticks;
        // The book is read from the right: its first guest stands at the right edge.
        const qreal centre = table.right() - (qreal(i - first) + 0.5) * columnWidth;
        stack(charactersOf(guest.name), centre, table.top(), divider, NamePoints);
        stack(charactersOf(capitalsOf(guest.ticks)), centre, divider, table.bottom(), CapitalsPoints);
    }

    const QRectF foot(0, area.height() - FooterPoints * unit, area.width(), FooterPoints * unit);
    painter.setFont(fontOf(painter, unit, FooterTextPoints));
    painter.setPen(Ink);
    const qreal pageNumberWidth = foot.width() * 0.25;
    paintLine(painter, QRectF(foot.left() + pageNumberWidth, foot.top(), foot.width() - pageNumberWidth, foot.height()),
              u"本页合计：%1　%2"_s.arg(capitalsOf(pageTotal), ReportText::money(pageTotal)), Qt::AlignRight);
    paintLine(painter, QRectF(foot.left(), foot.top(), pageNumberWidth, foot.height()),
              u"第 %1 页 / 共 %2 页"_s.arg(page).arg(pages), Qt::AlignLeft);
}

GiftTablePrinter::GiftTablePrinter(const EventKey& event, const QList<GiftLine>& lines)
    : m_model(std::make_unique<QStandardItemModel>(0, 5))
{
    m_model->setHorizontalHeaderLabels({u"姓名"_s, u"关系"_s, u"金额"_s, u"大写"_s, u"说明"_s});
    Sum total = 0;
    for (const GiftLine& line : lines) {
        total += line.ticks;
        auto* amount = new QStandardItem(ReportText::money(line.ticks));
        amount->setData(int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
        m_model->appendRow({new QStandardItem(line.name), new QStandardItem(line.relation), amount,
                            new QStandardItem(capitalsOf(line.ticks)), new QStandardItem(line.note)});
    }
    const QString totals = u"%1　合计 %2　大写：%3"_s.arg(GiftBookPrint::countText(event, lines.size()),
                                                          ReportText::money(total), capitalsOf(total));
    m_table = std::make_unique<ReportPrinter>(headline(event), *m_model, QStringList{totals});
}

GiftTablePrinter::~GiftTablePrinter() = default;

int GiftTablePrinter::pageCount(const QPageLayout& layout) const
{
    return m_table->pageCount(layout);
}

void GiftTablePrinter::paintPage(QPainter& painter, const QPageLayout& layout, qreal dpi, int page) const
{
    m_table->paintPage(painter, layout, dpi, page);
}

QString GiftTablePrinter::documentTitle() const
{
    return m_table->documentTitle();
}

namespace GiftBookPrint {

QString countText(const EventKey& event, qsizetype count)
{
    return event.direction == u"送礼"_s ? u"共 %1 笔"_s.arg(count) : u"来宾 %1 位"_s.arg(count);
}

void openPreview(Style style, const EventKey& event, const QList<GiftLine>& lines, QWidget* parent)
{
    {
        std::shared_ptr<const PagePrinter> printer;
        QPageLayout layout;
        if (style == Book) {
            printer = std::make_shared<const GiftBookPrinter>(event, lines);
            layout = GiftBookPrinter::pageLayout();
        } else {
            printer = std::make_shared<const GiftTablePrinter>(event, lines);
            layout = ReportPrinter::pageLayout();
        }
        PrintPreview preview(printer, layout, parent);
        preview.setWindowModality(Qt::ApplicationModal);
        preview.exec();
    }
    PagePrinter::releaseFreedMemory();
}

} // namespace GiftBookPrint

} // namespace ovelta
