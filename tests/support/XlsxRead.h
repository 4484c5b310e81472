#pragma once

// Reads an Excel workbook (.xlsx) back for the tests: the zip archive's members (inflated with zlib), and a
// sheet's cells with their kind, value and number format, as a spreadsheet program would take them.

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringView>
#include <QXmlStreamReader>
#include <cstring>
#include <zlib.h>

namespace ovelta::test {

inline quint32 zipNumber(const QByteArray& bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

/// Every member of the zip archive at path by name; empty when the file is no readable archive.
inline QMap<QString, QByteArray> unzip(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const qsizetype end = bytes.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > bytes.size())
        return {};
    QMap<QString, QByteArray> members;
    qsizetype at = zipNumber(bytes, end + 16, 4);
    const int count = int(zipNumber(bytes, end + 10, 2));
    for (int i = 0; i < count; ++i) {
        if (at + 46 > bytes.size() || zipNumber(bytes, at, 4) != 0x02014b50)
            return {};
        const int method = int(zipNumber(bytes, at + 10, 2));
        const qsizetype packed = zipNumber(bytes, at + 20, 4);
        const qsizetype size = zipNumber(bytes, at + 24, 4);
        const int nameLength = int(zipNumber(bytes, at + 28, 2));
        const int extra = int(zipNumber(bytes, at + 30, 2));
        const int comment = int(zipNumber(bytes, at + 32, 2));
        const qsizetype local = zipNumber(bytes, at + 42, 4);
        const QString name = QString::fromUtf8(bytes.mid(at + 46, nameLength));
        at += 46 + nameLength + extra + comment;
        const qsizetype data = local + 30 + zipNumber(bytes, local + 26, 2) + zipNumber(bytes, local + 28, 2);
        if (data + packed > bytes.size())
            return {};
        if (method == 0) {
            members[name] = bytes.mid(data, packed);
            continue;
        }
        QByteArray out(size, Qt::Uninitialized);
        z_stream stream;
        std::memset(&stream, 0, sizeof stream);
        if (method != 8 || inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return {};
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData() + data));
        stream.avail_in = uInt(packed);
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = uInt(size);
        const int rc = inflate(&stream, Z_FINISH);
        inflateEnd(&stream);
        if (rc != Z_STREAM_END)
            return {};
        members[name] = out;
    }
    return members;
}

/// A text as a spreadsheet reads it from the file: "_x0041_" stands for the character U+0041.
inline QString xlsxUnescaped(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        bool ok = false;
        const uint code = i + 7 <= text.size() && text.at(i) == u'_' && text.at(i + 1) == u'x' && text.at(i + 6) == u'_'
            ? text.mid(i + 2, 4).toUInt(&ok, 16)
            : 0;
        if (ok) {
            out += QChar(char16_t(code));
            i += 6;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

/// One cell as a spreadsheet takes it.
struct XlsxCell
{
    enum Kind { Empty, Text, Number };
    Kind kind = Empty;
    QString value; ///< the text, or the number as written in the file
    QString format; ///< the number format code; "General" when the cell has none of its own
};

struct XlsxSheet
{
    QList<QList<XlsxCell>> rows; ///< from the first row, each as long as its last cell
    QByteArray xml; ///< the sheet's own XML, for its settings (panes, columns, page setup)
    QHash<int, double> widths; ///< column (from 0) to width
};

/// The column (from 0) of a cell reference such as "AB12".
inline int xlsxColumn(QStringView reference)
{
    int column = 0;
    for (const QChar c : reference) {
        if (c < u'A' || c > u'Z')
            break;
        column = column * 26 + (c.unicode() - u'A' + 1);
    }
    return column - 1;
}

/// The sheet of that number (from 1) of the workbook at path, with the number formats of its cells.
inline XlsxSheet readXlsxSheet(const QString& path, int number = 1)
{
    const QMap<QString, QByteArray> members = unzip(path);
    XlsxSheet sheet;
    sheet.xml = members.value(QStringLiteral("xl/worksheets/sheet%1.xml").arg(number));

    QHash<int, QString> formatCodes = {{0, QStringLiteral("General")}};
    QList<QString> styles;
    {
        QXmlStreamReader xml(members.value(QStringLiteral("xl/styles.xml")));
        bool inCellXfs = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == u"numFmt")
                formatCodes[xml.attributes().value(QLatin1StringView("numFmtId")).toInt()]
                    = xml.attributes().value(QLatin1StringView("formatCode")).toString();
            else if (xml.isStartElement() && xml.name() == u"cellXfs")
                inCellXfs = true;
            else if (xml.isEndElement() && xml.name() == u"cellXfs")
                inCellXfs = false;
            else if (inCellXfs && xml.isStartElement() && xml.name() == u"xf")
                styles << formatCodes.value(
                    xml.attributes().value(QLatin1StringView("numFmtId")).toInt(),
                    QStringLiteral("builtin %1").arg(xml.attributes().value(QLatin1StringView("numFmtId"))));
        }
    }

    QXmlStreamReader xml(sheet.xml);
    XlsxCell* cell = nullptr;
    QString type;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"col") {
            const QXmlStreamAttributes a = xml.attributes();
            for (int c = a.value(QLatin1StringView("min")).toInt(); c <= a.value(QLatin1StringView("max")).toInt(); ++c)
                sheet.widths[c - 1] = a.value(QLatin1StringView("width")).toDouble();
        } else if (xml.isStartElement() && xml.name() == u"row") {
            const int row = xml.attributes().value(QLatin1StringView("r")).toInt() - 1;
            while (sheet.rows.size() <= row)
                sheet.rows.append(QList<XlsxCell>());
        } else if (xml.isStartElement() && xml.name() == u"c") {
            const QXmlStreamAttributes a = xml.attributes();
            QList<XlsxCell>& row = sheet.rows.last();
            const int column = xlsxColumn(a.value(QLatin1StringView("r")));
            while (row.size() <= column)
                row.append(XlsxCell());
            cell = &row[column];
            type = a.value(QLatin1StringView("t")).toString();
            cell->format = styles.value(a.value(QLatin1StringView("s")).toInt(), QStringLiteral("General"));
        } else if (xml.isStartElement() && cell != nullptr && (xml.name() == u"t" || xml.name() == u"v")) {
            const bool text = xml.name() == u"t" || type == u"str" || type == u"inlineStr";
            cell->value += xml.readElementText();
            cell->kind = text ? XlsxCell::Text : XlsxCell::Number;
        } else if (xml.isEndElement() && xml.name() == u"c") {
            if (cell != nullptr && cell->kind == XlsxCell::Text)
                cell->value = xlsxUnescaped(cell->value);
            cell = nullptr;
        }
    }
    return sheet;
}

} // namespace ovelta::test
