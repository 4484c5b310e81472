// Names in rare characters: every Han character of GB 18030 implementation level 2 (the basic block, Extension A
// and the characters of 通用规范汉字表 in Extensions B to E) is drawn with a glyph of its own, from one of the faces
// the program asks for, in the windows and on paper, and a PDF file embeds those faces and gives the names back.

#include "TempFolder.h"
#include "ui/base/Fonts.h"
#include "ui/grid/GridPrinter.h"
#include "ui/grid/LedgerGrid.h"

#include <QFontDatabase>
#include <QGlyphRun>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QTest>
#include <QTextLayout>
#include <algorithm>

using namespace Qt::StringLiterals;
using ovelta::Fonts;
using ovelta::GridPrinter;
using ovelta::LedgerGrid;
using ovelta::LedgerRow;

namespace {

/// The face that has every one of these characters; the others the program asks for may lack some.
const QString FullFace = u"Noto Sans CJK SC"_s;
const char* const FullFacePackage = "fonts-noto-cjk";

/// The 196 characters of 通用规范汉字表 outside the basic block and Extension A, in code point order.
const QString TableBeyondBmp
    = u"𠅤𠙶𠳐𡎚𡐓𣗋𣲗𣲘𣸣𤧛𤩽𤫉𥔲𥕢𥖨𥻗𦈡𦒍𦙶𦝼𦭜𦰡𧿹𨐈"
      u"𨙸𨚕𨟠𨭉𨱇𨱏𨱑𨱔𨺙𩽾𩾃𩾌𪟝𪣻𪤗𪨰𪨶𪩘𪾢𫄧𫄨𫄷𫄸𫇭"
      u"𫌀𫍣𫍯𫍲𫍽𫐄𫐐𫐓𫑡𫓧𫓯𫓶𫓹𫔍𫔎𫔶𫖮𫖯𫖳𫗧𫗴𫘜𫘝𫘦"
      u"𫘧𫘨𫘪𫘬𫚕𫚖𫚭𫛭𫞩𫟅𫟦𫟹𫟼𫠆𫠊𫠜𫢸𫫇𫭟𫭢𫭼𫮃𫰛𫵷"
      u"𫶇𫷷𫸩𬀩𬀪𬂩𬃊𬇕𬇙𬇹𬉼𬊈𬊤𬌗𬍛𬍡𬍤𬒈𬒔𬒗𬕂𬘓𬘘𬘡"
      u"𬘩𬘫𬘬𬘭𬘯𬙂𬙊𬙋𬜬𬜯𬞟𬟁𬟽𬣙𬣞𬣡𬣳𬤇𬤊𬤝𬨂𬨎𬩽𬪩"
      u"𬬩𬬭𬬮𬬱𬬸𬬹𬬻𬬿𬭁𬭊𬭎𬭚𬭛𬭤𬭩𬭬𬭯𬭳𬭶𬭸𬭼𬮱𬮿𬯀"
      u"𬯎𬱖𬱟𬳵𬳶𬳽𬳿𬴂𬴃𬴊𬶋𬶍𬶏𬶐𬶟𬶠𬶨𬶭𬶮𬷕𬸘𬸚𬸣𬸦"
      u"𬸪𬹼𬺈𬺓"_s;

/// Names seen in ledgers: one from the basic block, one from Extension A, one from Extension B outside the
/// table.
const QString KnownNames = u"焜䶮𠇔"_s;

/// Every character first..last.
QString range(char32_t first, char32_t last)
{
    QString text;
    for (char32_t c = first; c <= last; ++c)
        text += QString::fromUcs4(&c, 1);
    return text;
}

/// Every character that must be drawn, by where it comes from.
QList<std::pair<const char*, QString>> characterSets()
{
    return {{"known names", KnownNames},
            {"basic block", range(0x4E00, 0x9FA5)},
            {"Extension A", range(0x3400, 0x4DB5)},
            {"通用规范汉字表 beyond the BMP", TableBeyondBmp}};
}

/// The characters of text, one by one (a character beyond the BMP is two UTF-16 units).
QStringList charactersOf(const QString& text)
{
    QStringList characters;
    for (const char32_t c : text.toUcs4())
        characters << QString::fromUcs4(&c, 1);
    return characters;
}

struct Drawing
{
    QString withoutGlyph; ///< characters drawn without a glyph of their own, as a box
    QStringList faces; ///< the faces the glyphs came from
};

/// How text is drawn in font: one glyph for each character, none of them the missing glyph (index 0).
Drawing draw(const QFont& font, const QString& text)
{
    Drawing drawing;
    const auto layOut = [&](const QString& piece) {
        QTextLayout layout(piece, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        qsizetype glyphs = 0;
        bool whole = true;
        for (const QGlyphRun& run : layout.glyphRuns()) {
            const QString face = run.rawFont().familyName();
            if (!drawing.faces.contains(face))
                drawing.faces << face;
            glyphs += run.glyphIndexes().size();
            whole = whole && !run.glyphIndexes().contains(0u);
        }
        return whole && glyphs == charactersOf(piece).size();
    };
    // Pieces of a line's length; only a piece that fails is looked at character by character.
    const QStringList characters = charactersOf(text);
    constexpr qsizetype Piece = 64;
    for (qsizetype i = 0; i < characters.size(); i += Piece) {
        const QStringList piece = characters.mid(i, Piece);
        if (layOut(piece.join(QString())))
            continue;
        for (const QString& c : piece) {
            if (!layOut(c))
                drawing.withoutGlyph += c;
        }
    }
    return drawing;
}

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return u"<%1 failed: %2>"_s.arg(program, QString::fromUtf8(process.readAllStandardError()));
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestRareCharacters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QCOMPARE(charactersOf(TableBeyondBmp).size(), 196); }

    void init()
    {
        if (!QFontDatabase::families().contains(FullFace))
            QSKIP(
                qPrintable(u"%1 is not installed (Debian package %2)"_s.arg(FullFace, QLatin1String(FullFacePackage))));
    }

    void everyCharacterHasAGlyph_data()
    {
        QTest::addColumn<QFont>("font");
        QTest::addColumn<QString>("characters");
        // The windows and the grid draw at 12 and 14 pixels; the printer at its resolution, the title in bold.
        QFont print = Fonts::gui();
        print.setPixelSize(150);
        print.setHintingPreference(QFont::PreferNoHinting);
        QFont printTitle = print;
        printTitle.setBold(true);
        const QList<std::pair<const char*, QFont>> fonts = {{"windows", Fonts::gui()},
                                                            {"large", Fonts::forDef(ovelta::FontDef::S14)},
                                                            {"print", print},
                                                            {"print title", printTitle}};
        for (const auto& [where, font] : fonts) {
            for (const auto& [set, characters] : characterSets())
                QTest::addRow("%s, %s", where, set) << font << characters;
        }
    }
    void everyCharacterHasAGlyph()
    {
        QFETCH(QFont, font);
        QFETCH(QString, characters);
        const Drawing drawing = draw(font, characters);
        QVERIFY2(drawing.withoutGlyph.isEmpty(),
                 qPrintable(u"drawn as boxes (%1 of them): %2"_s.arg(charactersOf(drawing.withoutGlyph).size())
                                .arg(drawing.withoutGlyph.left(80))));
        // Each glyph comes from a face the program asks for, not from whatever face the system offers.
        for (const QString& face : drawing.faces)
            QVERIFY2(font.families().contains(face, Qt::CaseInsensitive), qPrintable(face));
    }

    void pdfEmbedsTheFacesAndGivesTheNamesBack()
    {
        // A name for each known character, then names of four characters each: the table's characters beyond
        // the BMP, and every 100th character of Extension A and of the basic block.
        QStringList names;
        for (const QString& c : charactersOf(KnownNames))
            names << u"王"_s + c;
        for (const auto& [set, characters] : characterSets()) {
            const QStringList all = charactersOf(characters);
            const qsizetype step = all.size() > 1000 ? 100 : 1;
            QStringList chosen;
            for (qsizetype i = 0; i < all.size(); i += step)
                chosen << all.at(i);
            for (qsizetype i = 0; i < chosen.size(); i += 4)
                names << chosen.mid(i, 4).join(QString());
        }
        LedgerGrid grid;
        grid.setFont(Fonts::gui());
        grid.resize(550, 361);
        grid.prepare();
        std::vector<LedgerRow> rows;
        for (qsizetype i = 0; i < names.size(); ++i) {
            LedgerRow row;
            row.id = int(i + 1);
            row.direction = u"收礼"_s;
            row.name = names.at(i);
            row.date = QDate(2026, 12, 28);
            row.relation = u"朋友"_s;
            row.occasion = u"婚礼"_s;
            row.amountTicks = 2'000'000;
            rows.push_back(row);
        }
        grid.appendRows(std::move(rows));

        ovelta::test::TempFolder folder;
        const QString path = folder.file(u"names.pdf"_s);
        QCOMPARE(grid.gridPrinter().writePdf(path, LedgerGrid::pageLayout(), 1, 1000, {}), GridPrinter::Printed);

        // pdffonts: name, type, encoding, emb, sub, uni, object, id; every font embedded (the toolkit embeds the
        // glyphs used) and mapped back to Unicode; among them the face that has every character.
        const QStringList lines = run(u"pdffonts"_s, {path}).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() > 2, qPrintable(lines.join(u'\n')));
        bool fullFace = false;
        for (const QString& line : lines.mid(2)) {
            const QStringList fields = line.split(QRegularExpression(u"\\s+"_s), Qt::SkipEmptyParts);
            QVERIFY2(fields.size() >= 8, qPrintable(line));
            const qsizetype n = fields.size();
            QVERIFY2(fields.at(n - 5) == u"yes"_s && fields.at(n - 3) == u"yes"_s, qPrintable(line));
            fullFace = fullFace || fields.first().contains(QString(FullFace).remove(u' '), Qt::CaseInsensitive);
        }
        QVERIFY2(fullFace, qPrintable(lines.join(u'\n')));

        // Every name comes back as text. The toolkit maps only glyphs of the BMP back to their characters
        // (its map is built by looking up every character of the BMP alone): names beyond it are drawn, but
        // copying or searching them in a reader does not find them.
        QString text = run(u"pdftotext"_s, {u"-enc"_s, u"UTF-8"_s, path, u"-"_s});
        text.remove(QRegularExpression(u"\\s"_s));
        QString lost;
        QString lostBeyondBmp;
        for (const QString& name : names) {
            if (!text.contains(name))
                (std::any_of(name.begin(), name.end(), [](QChar c) { return c.isSurrogate(); }) ? lostBeyondBmp : lost)
                    += name + u' ';
        }
        QVERIFY2(lost.isEmpty(), qPrintable(u"not given back: "_s + lost));
        QEXPECT_FAIL("", "the toolkit's PDF text of a glyph beyond the BMP is empty", Continue);
        QVERIFY2(lostBeyondBmp.isEmpty(), qPrintable(u"not given back: "_s + lostBeyondBmp));
    }
};

QTEST_MAIN(TestRareCharacters)
#include "test_rare_characters.moc"
