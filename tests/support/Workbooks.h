#pragma once

// Workbook files for the import's tests: .xlsx archives written part by part (also with crafted entries), and
// workbooks that the office suite makes from a CSV file, as a user's spreadsheet program would.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <optional>
#include <zip.h>

namespace ovelta::test {

struct ZipEntry
{
    QString name;
    QByteArray bytes;
    /// Written as they are (stored, not packed) with this size stated as the unpacked one: a crafted entry.
    std::optional<quint64> statedSize = std::nullopt;
    /// Packed and encrypted with this password, as zip programs do.
    QByteArray password = QByteArray();
};

inline bool writeZip(const QString& path, const QList<ZipEntry>& entries)
{
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool ok = true;
    for (const ZipEntry& entry : entries) {
        const bool raw = entry.statedSize.has_value();
        ok = ok
            && zipOpenNewFileInZip3_64(zip, entry.name.toUtf8().constData(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                                       raw ? 0 : Z_DEFLATED, raw ? 0 : Z_DEFAULT_COMPRESSION, raw ? 1 : 0, -MAX_WBITS,
                                       DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                       entry.password.isEmpty() ? nullptr : entry.password.constData(), 0, 1)
                == ZIP_OK
            && zipWriteInFileInZip(zip, entry.bytes.constData(), unsigned(entry.bytes.size())) == ZIP_OK
            && (raw ? zipCloseFileInZipRaw64(zip, *entry.statedSize, 0) : zipCloseFileInZip(zip)) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

/// The parts of an .xlsx workbook: each sheet's name and the content of its <sheetData>, the shared texts
/// (each an <si> element's content), the content of <styleSheet>, and whether days count from 1904.
inline QList<ZipEntry> workbookParts(const QList<std::pair<QString, QByteArray>>& sheets,
                                     const QList<QByteArray>& strings = {}, const QByteArray& styles = {},
                                     bool from1904 = false)
{
    const QByteArray ns = R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")"
                          R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
    const QByteArray relNs = R"( xmlns="http://schemas.openxmlformats.org/package/2006/relationships")";
    const QByteArray type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    QByteArray workbook = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook" + ns + "><workbookPr date1904=\""
        + (from1904 ? "1" : "0") + "\"/><sheets>";
    QByteArray rels = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships" + relNs + ">";
    QList<ZipEntry> parts;
    for (qsizetype i = 0; i < sheets.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        workbook += "<sheet name=\"" + sheets[i].first.toUtf8() + "\" sheetId=\"" + n + "\" r:id=\"rIdS" + n + "\"/>";
        rels += "<Relationship Id=\"rIdS" + n + "\" Type=\"" + type + "worksheet\" Target=\"worksheets/sheet" + n
            + ".xml\"/>";
        parts.append({QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1),
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet" + ns + "><sheetData>" + sheets[i].second
                          + "</sheetData></worksheet>"});
    }
    workbook += "</sheets></workbook>";
    rels += "<Relationship Id=\"rIdT\" Type=\"" + type + "sharedStrings\" Target=\"sharedStrings.xml\"/>";
    rels += "<Relationship Id=\"rIdY\" Type=\"" + type + "styles\" Target=\"/xl/styles.xml\"/></Relationships>";
    QByteArray sst = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst" + ns + ">";
    for (const QByteArray& si : strings)
        sst += "<si>" + si + "</si>";
    sst += "</sst>";
    parts.append({QStringLiteral("_rels/.rels"),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships" + relNs
                      + "><Relationship Id=\"rId1\" Type=\"" + type
                      + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"});
    parts.append({QStringLiteral("xl/workbook.xml"), workbook});
    parts.append({QStringLiteral("xl/_rels/workbook.xml.rels"), rels});
    parts.append({QStringLiteral("xl/sharedStrings.xml"), sst});
    parts.append({QStringLiteral("xl/styles.xml"),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><styleSheet" + ns + ">" + styles + "</styleSheet>"});
    return parts;
}

/// A compound document as an encrypted .xlsx is: its directory names the streams EncryptionInfo and
/// EncryptedPackage.
inline QByteArray encryptedWorkbook()
{
    QByteArray bytes("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    bytes.resize(1024, '\0');
    for (const QString& name :
         {QStringLiteral("Root Entry"), QStringLiteral("EncryptionInfo"), QStringLiteral("EncryptedPackage")}) {
        QByteArray entry(reinterpret_cast<const char*>(name.utf16()), name.size() * 2);
        entry.resize(128, '\0');
        bytes += entry;
    }
    bytes.resize(4096, '\0');
    return bytes;
}

/// The path of the office suite's command, or the empty text when it is not installed.
inline QString officeProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("soffice"));
}

/// Converts the UTF-8 CSV file csv into format ("xlsx" or "xls") in its folder, as a user's spreadsheet program
/// saves it: unquoted fields that look like dates or numbers become date and number cells, quoted fields stay
/// texts. The path of the workbook; the empty text on failure.
inline QString convertWithOffice(const QString& csv, const QString& format)
{
    const QString folder = QFileInfo(csv).absolutePath();
    QProcess office;
    office.start(officeProgram(),
                 {QStringLiteral("-env:UserInstallation=file://") + folder + QStringLiteral("/office-profile"),
                  QStringLiteral("--headless"), QStringLiteral("--infilter=CSV:44,34,76,1,,2052,true"),
                  QStringLiteral("--convert-to"), format, QStringLiteral("--outdir"), folder, csv});
    if (!office.waitForFinished(120000) || office.exitCode() != 0)
        return QString();
    const QString result = folder + u'/' + QFileInfo(csv).completeBaseName() + u'.' + format;
    return QFile::exists(result) ? result : QString();
}

} // namespace ovelta::test
