#include "windows/ReportPrint.h"

#include "ui/PrintPreview.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

constexpr qreal PointsPerInch = 72.0;
constexpr qreal ScreenDpi = 96.0;
/// A row of the table, the header and the page number line: 18 points, as the ledger grid prints.
constexpr qreal RowPoints = 18.0;
/// The title line, in a larger font.
constexpr qreal TitlePoints = 27.0;
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
    const QVariant font = m_model.data(m_model.index(row, 0), Qt::FontRole);
    return font.isValid() && font.value<QFont>().bold();
}

QPageLayout ReportPrinter::pageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                       QPageLayout::Millimeter);
}

int ReportPrinter::rowsPerPage(const QPageLayout& layout)
{
    // The title, the header and the page number line take their rows off every page; a hair of tolerance keeps
    // a page that holds exactly n rows from being cut to n-1 by rounding.
    const qreal height = layout.paintRect(QPageLayout::Point).height() - TitlePoints - 2 * RowPoints;
    return std::max(1, int(height / RowPoints + 1e-6));
}

int ReportPrinter::pageCount(const QPageLayout& layout) const
{
    const qint64 items = qint64(m_rowCount) + m_totals.size();
    const qint64 perPage = rowsPerPage(layout);
    return int(std::max<qint64>(1, (items + perPage - 1) / perPage));
}

const QList<qreal>& ReportPrinter::naturalWidths(QPainter& painter, const QFont& body, const QFont& bold) const
{
    const QString key = body.key() + u'@' + QString::number(painter.device()->logicalDpiY());
    auto known = m_natural.constFind(key);
    if (known != m_natural.constEnd())
        return known.value();
    const QFontMetricsF plain(body, painter.device());
    const QFontMetricsF strong(bold, painter.device());
    const qreal padding = paddingOf(strong);
    QList<qreal> widths;
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
        const auto cut = longest.begin() + std::min<std::ptrdiff_t>(MeasuredTexts, std::ssize(longest));
        std::nth_element(longest.begin(), cut == longest.begin() ? cut : cut - 1, longest.end(), std::greater<>());
        for (auto it = longest.begin(); it != cut; ++it)
            widest = std::max(widest, plain.horizontalAdvance(oneLine(text(it->second, c))));
        widths << widest + 2 * padding + 1;
    }
    return m_natural.insert(key, widths).value();
}

QList<qreal> ReportPrinter::columnWidths(QPainter& painter, const QFont& body, const QFont& bold, qreal pageWidth) const
{
    QList<qreal> widths = naturalWidths(painter, body, bold);
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
    std::sort(flexible.begin(), flexible.end(), [&](int a, int b) { return widths.at(a) < widths.at(b); });
    qreal room = pageWidth - fixed;
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
    const int pages = pageCount(layout);
    page = std::clamp(page, 1, pages);
    const int perPage = rowsPerPage(layout);
    const qsizetype rows = m_rowCount;
    const qsizetype first = qsizetype(page - 1) * perPage;
    const qsizetype items = rows + m_totals.size();
    const qsizetype last = std::min<qsizetype>(items, first + perPage);
    const qsizetype lastRow = std::min<qsizetype>(last, rows);
    const int tableRows = int(std::max<qsizetype>(0, lastRow - first));

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

    const QList<qreal> widths = columnWidths(painter, body, bold, pageWidth);
    QList<qreal> lefts;
    qreal x = 0;
    for (const qreal w : widths) {
        lefts << x;
        x += w;
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
    for (int i = 0; i < tableRows; ++i) {
        const int r = int(first + i);
        const qreal top = tableTop + (i + 1) * rowHeight;
        painter.setFont(isBold(r) ? bold : body);
        for (int c = 0; c < widths.size(); ++c)
            paintCell(painter, QRectF(lefts.at(c), top, widths.at(c), rowHeight), text(r, c), m_alignments.at(c));
    }
    const qreal tableBottom = tableTop + (tableRows + 1) * rowHeight;

    painter.setFont(body);
    for (qsizetype i = std::max(first, rows); i < last; ++i) {
        const qreal top = tableBottom + qreal(i - std::max(first, rows)) * rowHeight;
        paintCell(painter, QRectF(0, top, pageWidth, rowHeight), m_totals.at(i - rows), Qt::AlignLeft);
    }
    paintCell(painter, QRectF(0, pageHeight - rowHeight, pageWidth, rowHeight),
              u"第 %1 页 / 共 %2 页"_s.arg(page).arg(pages), Qt::AlignHCenter);

    QPen pen(LineColour);
    pen.setWidthF(std::max<qreal>(1.0, dpi / ScreenDpi * 0.75));
    painter.setPen(pen);
    for (int line = 0; line <= tableRows + 1; ++line)
        painter.drawLine(QPointF(0, tableTop + line * rowHeight), QPointF(pageWidth, tableTop + line * rowHeight));
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
