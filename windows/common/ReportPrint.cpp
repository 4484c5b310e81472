#include "windows/common/ReportPrint.h"

#include "ui/print/PrintPreview.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QPageSize>
#include <QPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

constexpr qreal PointsPerInch = 72.0;
constexpr qreal ScreenDpi = 96.0;
/// A row of the table, the header and the page number line: 18 points, as the ledger grid prints.
constexpr qreal RowPoints = 18.0;
/// Each further line of a row whose long text is wrapped.
constexpr qreal LinePoints = 15.0;
/// A text longer than this many lines has its last line narrowed to the cell.
constexpr int MaxLines = 3;
/// The title line, in a larger font.
constexpr qreal TitlePoints = 27.0;
/// Texts are measured and wrapped at the resolution of a high-resolution printer, the same for every device.
constexpr qreal MeasureDpi = 1200.0;
constexpr qreal BodyPoints = 10.0;
constexpr qreal TitleScale = 1.3;
/// Of each column only the texts longest by their count of characters are measured for its width: a wide
/// character counts twice. A text still wider than its cell is narrowed to it.
constexpr int MeasuredTexts = 40;
const QColor HeaderBackground(224, 224, 224);
const QColor LineColour(96, 96, 96);

Qt::Alignment alignmentOf(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<Qt::Alignment>())
        return value.value<Qt::Alignment>();
    if (value.metaType() == QMetaType::fromType<Qt::AlignmentFlag>())
        return value.value<Qt::AlignmentFlag>();
    return Qt::Alignment(value.toInt());
}

/// Line breaks and other control characters print as blanks, on one line.
QString oneLine(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x20 || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            text[i] = u' ';
    }
    return text;
}

int weightOf(const QString& text)
{
    int weight = 0;
    for (const QChar c : text)
        weight += c.unicode() >= 0x1100 ? 2 : 1;
    return weight;
}

qreal paddingOf(const QFontMetricsF& metrics)
{
    return metrics.averageCharWidth() * 0.5;
}

/// Paints a text on one line in its cell: at the left, at the right or centred, and when it is wider than the
/// cell, whole, narrowed to the cell's width.
void paintCell(QPainter& painter, const QRectF& rect, const QString& text, Qt::Alignment alignment)
{
    if (text.isEmpty())
        return;
    const QFontMetricsF metrics(painter.font(), painter.device());
    const QString shown = oneLine(text);
    const qreal padding = paddingOf(metrics);
    const QRectF inner = rect.adjusted(padding, 0, -padding, 0);
    const qreal width = metrics.horizontalAdvance(shown);
    const qreal baseline = rect.top() + (rect.height() - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
    if (width <= inner.width() || inner.width() <= 0) {
        qreal x = inner.left();
        if (alignment & Qt::AlignRight)
            x = inner.right() - width;
        else if (alignment & Qt::AlignHCenter)
            x = inner.left() + (inner.width() - width) / 2;
        painter.drawText(QPointF(x, baseline), shown);
        return;
    }
    painter.save();
    painter.translate(inner.left(), 0);
    painter.scale(inner.width() / width, 1.0);
    painter.drawText(QPointF(0, baseline), shown);
    painter.restore();
}

/// The fonts of the table at the measuring resolution, on a device of that resolution.
struct Measure
{
    explicit Measure(const QFont& font)
        : device(1, 1, QImage::Format_RGB32)
        , body(font)
        , bold(font)
    {
        const int dotsPerMetre = qRound(MeasureDpi / 0.0254);
        device.setDotsPerMeterX(dotsPerMetre);
        device.setDotsPerMeterY(dotsPerMetre);
        body.setHintingPreference(QFont::PreferNoHinting);
        bold.setHintingPreference(QFont::PreferNoHinting);
        bold.setBold(true);
    }
    /// Points per unit of the measuring device.
    static constexpr qreal Points = PointsPerInch / MeasureDpi;

    QImage device;
    QFont body;
    QFont bold;
};

/// The text in lines of at most width (in the font's device units), broken between words or, in Chinese,
/// between characters; at most MaxLines, the last one holding the rest.
QStringList wrapped(const QString& text, const QFont& font, QPaintDevice* device, qreal width)
{
    QTextLayout layout(text, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == MaxLines - 1) {
            lines << text.mid(line.textStart());
            break;
        }
        lines << text.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    return lines.isEmpty() ? QStringList{text} : lines;
}

} // namespace

ReportPrinter::ReportPrinter(const QString& title, const QAbstractItemModel& model, const QStringList& totals)
    : m_model(model)
    , m_rowCount(model.rowCount())
    , m_title(title)
    , m_totals(totals)
    , m_font(QApplication::font())
{
    m_font.setPointSizeF(BodyPoints);
    for (int c = 0; c < model.columnCount(); ++c) {
        m_headers << model.headerData(c, Qt::Horizontal).toString();
        const QVariant alignment = m_rowCount > 0 ? model.data(model.index(0, c), Qt::TextAlignmentRole) : QVariant();
        m_alignments << (alignment.isValid() ? alignmentOf(alignment) & Qt::AlignHorizontal_Mask : Qt::AlignLeft);
    }
}

QString ReportPrinter::text(int row, int column) const
{
    return m_model.data(m_model.index(row, column)).toString();
}

bool ReportPrinter::isBold(int row) const
{
    // Asked for every cell while the pages are laid out: the model is asked once per row.
    if (m_boldRows.empty()) {
        m_boldRows.assign(std::size_t(m_rowCount), 0);
        for (int r = 0; r < m_rowCount; ++r) {
            const QVariant font = m_model.data(m_model.index(r, 0), Qt::FontRole);
            m_boldRows[std::size_t(r)] = font.isValid() && font.value<QFont>().bold();
        }
    }
    return m_boldRows.at(std::size_t(row)) != 0;
}

QPageLayout ReportPrinter::pageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                       QPageLayout::Millimeter);
}

int ReportPrinter::pageCount(const QPageLayout& layout) const
{
    return int(layoutOf(layout).starts.size());
}

const ReportPrinter::Pages& ReportPrinter::layoutOf(const QPageLayout& layout) const
{
    const QSizeF paint = layout.paintRect(QPageLayout::Point).size();
    const QString key = u"%1x%2"_s.arg(paint.width()).arg(paint.height());
    auto known = m_pages.constFind(key);
    if (known != m_pages.constEnd())
        return known.value();

    Pages pages;
    const Measure measure(m_font);
    pages.widths = columnWidths(paint.width());
    const QFontMetricsF plain(measure.body, &measure.device);
    const QFontMetricsF strong(measure.bold, &measure.device);
    const qreal padding = paddingOf(strong);
    // Most texts fit their cells. Their widths are summed from the widths of their characters, each measured
    // once, so that only a text that may not fit is measured (shaped) in full.
    QHash<char16_t, qreal> advances[2];
    const auto estimate = [&](const QString& cell, bool strongFont) -> qreal {
        QHash<char16_t, qreal>& measured = advances[strongFont ? 1 : 0];
        qreal width = 0;
        for (const QChar ch : cell) {
            if (ch.isSurrogate() || ch.isMark())
                return -1;
            auto it = measured.constFind(ch.unicode());
            if (it == measured.constEnd())
                it = measured.insert(ch.unicode(), (strongFont ? strong : plain).horizontalAdvance(ch));
            width += it.value();
        }
        return width;
    };
    pages.lines.assign(std::size_t(m_rowCount), 1);
    for (int r = 0; r < m_rowCount; ++r) {
        const bool boldRow = isBold(r);
        for (int c = 0; c < pages.widths.size(); ++c) {
            if (m_alignments.at(c) & (Qt::AlignRight | Qt::AlignHCenter))
                continue;
            const qreal room = pages.widths.at(c) / Measure::Points - 2 * padding;
            const QString cell = oneLine(text(r, c));
            // Kerning moves a text's width by a hair at most; a text close to the cell's width is measured.
            const qreal summed = estimate(cell, boldRow);
            if (summed >= 0 && summed <= room * 0.97)
                continue;
            const QFont& font = boldRow ? measure.bold : measure.body;
            if ((boldRow ? strong : plain).horizontalAdvance(cell) <= room)
                continue;
            const QStringList lines = wrapped(cell, font, const_cast<QImage*>(&measure.device), room);
            if (lines.size() < 2)
                continue;
            pages.broken.insert(qint64(r) * pages.widths.size() + c, lines);
            pages.lines[std::size_t(r)] = quint8(std::max<qsizetype>(pages.lines[std::size_t(r)], lines.size()));
        }
    }
    // Pages filled with whole rows; the title, the header and the page number line take their room off every
    // page, and a page takes at least one row even if it is taller than the page.
    const qreal room = paint.height() - TitlePoints - 2 * RowPoints;
    const qsizetype items = qsizetype(m_rowCount) + m_totals.size();
    pages.starts.push_back(0);
    qreal used = 0;
    for (qsizetype i = 0; i < items; ++i) {
        const qreal height = i < m_rowCount ? rowPoints(pages, int(i)) : RowPoints;
        if (used > 0 && used + height > room + 1e-6) {
            pages.starts.push_back(i);
            used = 0;
        }
        used += height;
    }
    return m_pages.insert(key, std::move(pages)).value();
}

qreal ReportPrinter::rowPoints(const Pages& pages, int row)
{
    return RowPoints + (pages.lines.at(std::size_t(row)) - 1) * LinePoints;
}

const QList<qreal>& ReportPrinter::naturalWidths() const
{
    if (!m_natural.isEmpty() || m_headers.isEmpty())
        return m_natural;
    const Measure measure(m_font);
    const QFontMetricsF plain(measure.body, &measure.device);
    const QFontMetricsF strong(measure.bold, &measure.device);
    const qreal padding = paddingOf(strong);
    for (int c = 0; c < m_headers.size(); ++c) {
        qreal widest = strong.horizontalAdvance(oneLine(m_headers.at(c)));
        std::vector<std::pair<int, int>> longest; // weight, row
        longest.reserve(std::size_t(m_rowCount));
        for (int r = 0; r < m_rowCount; ++r) {
            if (isBold(r))
                widest = std::max(widest, strong.horizontalAdvance(oneLine(text(r, c))));
            else
                longest.emplace_back(weightOf(text(r, c)), r);
        }
        // The text longer than nineteen in twenty of the column's: what the column needs for all but its rare
        // long texts, which may wrap.
        qreal typical = widest;
        if (!longest.empty()) {
            const auto at = longest.begin() + std::ssize(longest) / 20;
            std::nth_element(longest.begin(), at, longest.end(), std::greater<>());
            typical = std::max(typical, plain.horizontalAdvance(oneLine(text(at->second, c))));
        }
        const auto cut = longest.begin() + std::min<std::ptrdiff_t>(MeasuredTexts, std::ssize(longest));
        std::nth_element(longest.begin(), cut == longest.begin() ? cut : cut - 1, longest.end(), std::greater<>());
        for (auto it = longest.begin(); it != cut; ++it)
            widest = std::max(widest, plain.horizontalAdvance(oneLine(text(it->second, c))));
        widest = std::max(widest, typical);
        m_natural << (widest + 2 * padding + 1) * Measure::Points;
        m_typical << (typical + 2 * padding + 1) * Measure::Points;
    }
    return m_natural;
}

QList<qreal> ReportPrinter::columnWidths(qreal pageWidth) const
{
    QList<qreal> widths = naturalWidths();
    qreal total = 0;
    for (const qreal w : widths)
        total += w;
    if (widths.isEmpty() || total <= 0)
        return widths;
    if (total <= pageWidth) {
        // Room to spare: every column grows alike.
        for (qreal& w : widths)
            w += (pageWidth - total) * w / total;
        return widths;
    }
    // Too wide: the amounts and counts keep their width, and the other columns share the rest, the narrow ones
    // whole and the wide ones alike.
    qreal fixed = 0;
    QList<int> flexible;
    for (int c = 0; c < widths.size(); ++c) {
        if (m_alignments.at(c) & Qt::AlignRight)
            fixed += widths.at(c);
        else
            flexible << c;
    }
    if (flexible.isEmpty() || fixed >= pageWidth * 0.8) {
        for (qreal& w : widths)
            w *= pageWidth / total;
        return widths;
    }
    qreal room = pageWidth - fixed;
    // Each column of names and notes gets room for its usual texts first, and what is left goes to its longest
    // ones, the smaller wants whole and the larger alike.
    qreal usual = 0;
    for (const int c : std::as_const(flexible))
        usual += m_typical.at(c);
    if (usual <= room) {
        std::sort(flexible.begin(), flexible.end(),
                  [&](int a, int b) { return widths.at(a) - m_typical.at(a) < widths.at(b) - m_typical.at(b); });
        qreal extra = room - usual;
        for (int i = 0; i < flexible.size(); ++i) {
            const int c = flexible.at(i);
            const qreal want = widths.at(c) - m_typical.at(c);
            const qreal share = extra / qreal(flexible.size() - i);
            widths[c] = m_typical.at(c) + std::min(want, share);
            extra -= std::min(want, share);
        }
        return widths;
    }
    // Not even that: the usual texts share the room, the narrow ones whole and the wide ones alike.
    for (const int c : std::as_const(flexible))
        widths[c] = m_typical.at(c);
    std::sort(flexible.begin(), flexible.end(), [&](int a, int b) { return widths.at(a) < widths.at(b); });
    for (int i = 0; i < flexible.size(); ++i) {
        const qreal share = room / qreal(flexible.size() - i);
        if (widths.at(flexible.at(i)) <= share) {
            room -= widths.at(flexible.at(i));
            continue;
        }
        for (int j = i; j < flexible.size(); ++j)
            widths[flexible.at(j)] = share;
        break;
    }
    return widths;
}

void ReportPrinter::paintPage(QPainter& painter, const QPageLayout& layout, qreal dpi, int page) const
{
    const qreal unit = dpi / PointsPerInch;
    const QRectF paint = layout.paintRect(QPageLayout::Point);
    const qreal pageWidth = paint.width() * unit;
    const qreal pageHeight = paint.height() * unit;
    const qreal rowHeight = RowPoints * unit;
    const qreal titleHeight = TitlePoints * unit;
    const Pages& pages = layoutOf(layout);
    const int pageTotal = int(pages.starts.size());
    page = std::clamp(page, 1, pageTotal);
    const qsizetype rows = m_rowCount;
    const qsizetype items = rows + m_totals.size();
    const qsizetype first = pages.starts.at(std::size_t(page - 1));
    const qsizetype last = page < pageTotal ? pages.starts.at(std::size_t(page)) : items;
    const qsizetype lastRow = std::min<qsizetype>(last, rows);

    // The font keeps its size in points on paper whatever the device: a device of another resolution than dpi
    // (the preview's screen) gets the size scaled so that the texts measure the same in the painter's units.
    const int deviceDpi = painter.device() != nullptr ? painter.device()->logicalDpiY() : int(dpi);
    QFont body(m_font);
    body.setPointSizeF(BodyPoints * dpi / std::max(1, deviceDpi));
    body.setHintingPreference(QFont::PreferNoHinting);
    QFont bold(body);
    bold.setBold(true);
    QFont titleFont(bold);
    titleFont.setPointSizeF(bold.pointSizeF() * TitleScale);

    QList<qreal> widths;
    QList<qreal> lefts;
    qreal x = 0;
    for (const qreal w : pages.widths) {
        widths << w * unit;
        lefts << x;
        x += w * unit;
    }

    painter.save();
    painter.setPen(Qt::black);
    painter.setFont(titleFont);
    paintCell(painter, QRectF(0, 0, pageWidth, titleHeight), m_title, Qt::AlignHCenter);

    const qreal tableTop = titleHeight;
    painter.fillRect(QRectF(0, tableTop, pageWidth, rowHeight), HeaderBackground);
    painter.setFont(bold);
    for (int c = 0; c < widths.size(); ++c)
        paintCell(painter, QRectF(lefts.at(c), tableTop, widths.at(c), rowHeight), m_headers.at(c), Qt::AlignHCenter);
    // A wrapped text goes on in further lines under its first; the row's other texts stand on the first line.
    QList<qreal> rules{tableTop, tableTop + rowHeight};
    qreal top = tableTop + rowHeight;
    for (qsizetype r = first; r < lastRow; ++r) {
        painter.setFont(isBold(int(r)) ? bold : body);
        for (int c = 0; c < widths.size(); ++c) {
            const auto broken = pages.broken.constFind(qint64(r) * widths.size() + c);
            if (broken == pages.broken.constEnd()) {
                paintCell(painter, QRectF(lefts.at(c), top, widths.at(c), rowHeight), text(int(r), c),
                          m_alignments.at(c));
                continue;
            }
            for (int line = 0; line < broken->size(); ++line) {
                paintCell(painter, QRectF(lefts.at(c), top + line * LinePoints * unit, widths.at(c), rowHeight),
                          broken->at(line), m_alignments.at(c));
            }
        }
        top += rowPoints(pages, int(r)) * unit;
        rules << top;
    }
    const qreal tableBottom = top;

    painter.setFont(body);
    for (qsizetype i = std::max(first, rows); i < last; ++i) {
        paintCell(painter, QRectF(0, top, pageWidth, rowHeight), m_totals.at(i - rows), Qt::AlignLeft);
        top += rowHeight;
    }
    paintCell(painter, QRectF(0, pageHeight - rowHeight, pageWidth, rowHeight),
              u"第 %1 页 / 共 %2 页"_s.arg(page).arg(pageTotal), Qt::AlignHCenter);

    QPen pen(LineColour);
    pen.setWidthF(std::max<qreal>(1.0, dpi / ScreenDpi * 0.75));
    painter.setPen(pen);
    for (const qreal at : std::as_const(rules))
        painter.drawLine(QPointF(0, at), QPointF(pageWidth, at));
    for (int c = 0; c <= widths.size(); ++c) {
        const qreal at = c < widths.size() ? lefts.at(c) : pageWidth;
        painter.drawLine(QPointF(at, tableTop), QPointF(at, tableBottom));
    }
    painter.restore();
}

void ReportPrinter::openPreview(const QString& title, const QAbstractItemModel& model, const QStringList& totals,
                                QWidget* parent)
{
    {
        PrintPreview preview(std::make_shared<const ReportPrinter>(title, model, totals), pageLayout(), parent);
        preview.setWindowModality(Qt::ApplicationModal);
        preview.exec();
    }
    releaseFreedMemory();
}

} // namespace ovelta
