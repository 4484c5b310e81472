#include "store/ledger/LedgerImport.h"

#include "store/engine/EngineConnection.h"
#include "store/engine/WriteTransaction.h"
#include "store/value/Money.h"

#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace ovelta {

bool ColumnMapping::isEmpty() const
{
    for (const int column : columns) {
        if (column >= 0)
            return false;
    }
    return true;
}

namespace LedgerImport {

namespace {

const QString ReasonColumn = u"错误原因"_s;

QString trimmedBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\u3000' || c == u'\t'; };
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

QString fieldAt(const QStringList& row, int column)
{
    return column >= 0 && column < row.size() ? row[column] : QString();
}

/// The field a header names, in the spellings ledgers kept by hand use; -1 for none.
int fieldNamed(const QString& title)
{
    static const QHash<QString, int> fields = [] {
        QHash<QString, int> names;
        const QStringList own = LedgerTransfer::header();
        for (int field = 0; field < ColumnMapping::FieldCount; ++field)
            names.insert(own[field], field);
        const std::pair<const char16_t*, ColumnMapping::Field> others[] = {
            {u"收/送", ColumnMapping::Direction}, {u"收／送", ColumnMapping::Direction},
            {u"名字", ColumnMapping::Name},       {u"宾客", ColumnMapping::Name},
            {u"日期", ColumnMapping::Time},       {u"礼金", ColumnMapping::Amount},
            {u"钱数", ColumnMapping::Amount},     {u"备注", ColumnMapping::Note},
            {u"事由", ColumnMapping::Kind},
        };
        for (const auto& [name, field] : others)
            names.insert(QString::fromUtf16(name), field);
        return names;
    }();
    return fields.value(trimmedBlanks(title).remove(u'\uFEFF'), -1);
}

/// The columns of a header's two amounts, 收礼 and 送礼, when it has both.
std::optional<std::pair<int, int>> amountColumns(const QStringList& header)
{
    const int received = int(header.indexOf(u"收礼"_s));
    const int given = int(header.indexOf(u"送礼"_s));
    if (received < 0 || given < 0)
        return std::nullopt;
    return std::pair{received, given};
}

} // namespace

std::optional<ColumnMapping> exportMapping(const QStringList& firstRow)
{
    QStringList names = firstRow;
    if (!names.isEmpty())
        names.front().remove(u'\uFEFF');
    if (names.size() == ColumnMapping::FieldCount + 1 && names.back() == ReasonColumn)
        names.removeLast();
    if (names != LedgerTransfer::header())
        return std::nullopt;
    ColumnMapping mapping;
    for (int i = 0; i < ColumnMapping::FieldCount; ++i)
        mapping.columns[size_t(i)] = i;
    mapping.headerRow = true;
    return mapping;
}

ColumnMapping guessMapping(const QStringList& firstRow)
{
    ColumnMapping mapping;
    for (int column = 0; column < firstRow.size(); ++column) {
        const int field = fieldNamed(firstRow[column]);
        if (field >= 0 && mapping.columns[size_t(field)] < 0) {
            mapping.columns[size_t(field)] = column;
            mapping.headerRow = true;
        }
    }
    return mapping;
}

void arrange(CsvTable& table)
{
    auto named = [](const QStringList& row) {
        qsizetype fields = 0;
        for (const int column : guessMapping(row).columns)
            fields += column >= 0 ? 1 : 0;
        return fields + (amountColumns(row) ? 1 : 0);
    };
    qsizetype header = -1;
    for (qsizetype i = 0; i < std::min<qsizetype>(table.rows.size(), MaxTitleRows + 1) && header < 0; ++i) {
        if (named(table.rows[i]) >= 2)
            header = i;
    }
    if (header < 0)
        return;
    table.rows.remove(0, header);
    table.lines.remove(0, header);
    const ColumnMapping mapping = guessMapping(table.rows.front());
    const auto amounts = amountColumns(table.rows.front());
    if (!amounts || mapping.columns[ColumnMapping::Direction] >= 0 || mapping.columns[ColumnMapping::Amount] >= 0)
        return;
    const qsizetype width = table.rows.front().size();
    const QStringList names = LedgerTransfer::header();
    table.rows.front() << names[ColumnMapping::Direction] << names[ColumnMapping::Amount];
    for (qsizetype i = 1; i < table.rows.size(); ++i) {
        QStringList& row = table.rows[i];
        const QString received = trimmedBlanks(fieldAt(row, amounts->first));
        const QString given = trimmedBlanks(fieldAt(row, amounts->second));
        row.resize(width);
        if (!received.isEmpty() && !given.isEmpty())
            row << u"收礼和送礼"_s << QString();
        else if (!received.isEmpty())
            row << u"收礼"_s << received;
        else if (!given.isEmpty())
            row << u"送礼"_s << given;
        else
            row << QString() << QString();
    }
}

Result<Lists> readLists(EngineConnection& engine)
{
    const auto directions = LedgerTransfer::listEntries(engine, u"收送"_s);
    const auto relations = LedgerTransfer::listEntries(engine, u"关系"_s);
    const auto occasions = LedgerTransfer::listEntries(engine, u"类型"_s);
    for (const auto* list : {&directions, &relations, &occasions}) {
        if (!*list)
            return list->failure();
    }
    return Lists{*directions, *relations, *occasions};
}

QString duplicateKey(const LedgerRecord& record)
{
    const QString day = record.time ? record.time->canonical().first(10) : QString();
    const QString amount = record.amount ? QString::number(*record.amount) : u"-"_s;
    return record.direction + u'\x1f' + record.name + u'\x1f' + day + u'\x1f' + amount;
}

Result<QSet<QString>> existingKeys(EngineConnection& engine)
{
    const auto records = LedgerTransfer::readAll(engine);
    if (!records)
        return records.failure();
    QSet<QString> keys;
    keys.reserve(qsizetype(records->size()));
    for (const LedgerRecord& record : *records)
        keys.insert(duplicateKey(record));
    return keys;
}

std::optional<qint64> parseAmount(const QString& text)
{
    QString amount = trimmedBlanks(text);
    if (amount.startsWith(u'￥') || amount.startsWith(u'¥'))
        amount = trimmedBlanks(amount.sliced(1));
    // Thousands separators as a spreadsheet shows them: 1,234,567.89, never 1,2.
    static const QRegularExpression grouped(u"^[+-]?\\d{1,3}(,\\d{3})+(\\.\\d*)?$"_s);
    if (amount.contains(u',') && grouped.match(amount).hasMatch())
        amount.remove(u',');
    if (amount.isEmpty())
        return std::nullopt;
    return Money::parseUserAmount(amount);
}

std::optional<JetDateTime> parseDate(const QString& text)
{
    QString date = trimmedBlanks(text);
    static const QRegularExpression chinese(u"^(\\d{1,4})年(\\d{1,2})月(\\d{1,2})日"_s);
    if (const auto match = date.contains(u'年') ? chinese.match(date) : QRegularExpressionMatch(); match.hasMatch())
        date = match.captured(1) + u'-' + match.captured(2) + u'-' + match.captured(3)
            + date.sliced(match.capturedLength());
    return JetDateTime::parse(date);
}

Checked check(const CsvTable& table, const ColumnMapping& mapping, const Lists& lists, const QSet<QString>& existing)
{
    Checked checked;
    const QSet<QString> relations(lists.relations.cbegin(), lists.relations.cend());
    const QSet<QString> occasions(lists.occasions.cbegin(), lists.occasions.cend());
    QSet<QString> newRelations;
    QSet<QString> newOccasions;
    auto column = [&mapping](ColumnMapping::Field field) { return mapping.columns[size_t(field)]; };
    for (qsizetype i = mapping.headerRow ? 1 : 0; i < table.rows.size(); ++i) {
        const QStringList& row = table.rows[i];
        const qsizetype line = table.lines[i];
        auto refuse = [&](const QString& reason) { checked.problems.append(Problem{line, reason, row}); };
        auto text = [&](ColumnMapping::Field field) { return CsvTable::unguarded(fieldAt(row, column(field))); };

        Candidate candidate;
        candidate.line = line;
        LedgerRecord& record = candidate.record;
        const QString direction = trimmedBlanks(text(ColumnMapping::Direction));
        if (!lists.directions.contains(direction)) {
            refuse(direction.isEmpty() ? u"没有收送（须为%1）。"_s.arg(lists.directions.join(u'或'))
                                       : u"收送“%1”不对（须为%2）。"_s.arg(direction, lists.directions.join(u'或')));
            continue;
        }
        record.direction = direction;
        record.relation = text(ColumnMapping::Relation);
        if (trimmedBlanks(record.relation).isEmpty()) {
            refuse(u"没有关系。"_s);
            continue;
        }
        const QString amountText = text(ColumnMapping::Amount);
        if (!trimmedBlanks(amountText).isEmpty()) {
            record.amount = parseAmount(amountText);
            if (!record.amount) {
                refuse(u"金额“%1”不是正确的数字。"_s.arg(amountText));
                continue;
            }
        }
        record.occasion = text(ColumnMapping::Kind);
        if (trimmedBlanks(record.occasion).isEmpty()) {
            refuse(u"没有类型。"_s);
            continue;
        }
        const QString dateText = text(ColumnMapping::Time);
        if (!trimmedBlanks(dateText).isEmpty()) {
            record.time = parseDate(dateText);
            if (!record.time) {
                refuse(u"时间“%1”不是正确的日期。"_s.arg(dateText));
                continue;
            }
        }
        record.name = text(ColumnMapping::Name);
        record.note = text(ColumnMapping::Note);

        if (!relations.contains(record.relation) && !newRelations.contains(record.relation)) {
            newRelations.insert(record.relation);
            checked.newRelations << record.relation;
        }
        if (!occasions.contains(record.occasion) && !newOccasions.contains(record.occasion)) {
            newOccasions.insert(record.occasion);
            checked.newOccasions << record.occasion;
        }
        candidate.duplicate = !existing.isEmpty() && existing.contains(duplicateKey(record));
        checked.duplicates += candidate.duplicate ? 1 : 0;
        checked.candidates.push_back(std::move(candidate));
    }
    return checked;
}

Done write(EngineConnection& engine, const std::vector<LedgerRecord>& records, const QStringList& newRelations,
           const QStringList& newOccasions, const std::function<bool(qsizetype written)>& progress)
{
    auto fail = [&engine] { return Failure(ovelta::Problem::Engine, {engine.lastError()}); };
    WriteTransaction transaction(engine);
    if (!transaction.isActive())
        return fail();
    EngineStatement addRelation(engine, "INSERT INTO 关系(关系) VALUES(?)");
    EngineStatement addOccasion(engine, "INSERT INTO 类型(类型) VALUES(?)");
    EngineStatement insert(engine, "INSERT INTO 收送礼(收送,姓名,时间,关系,类型,金额,说明) VALUES(?,?,?,?,?,?,?)");
    if (!addRelation || !addOccasion || !insert)
        return fail();
    for (const QString& relation : newRelations) {
        addRelation.reset();
        addRelation.bind(1, relation);
        if (!engine.run(addRelation))
            return fail();
    }
    for (const QString& occasion : newOccasions) {
        addOccasion.reset();
        addOccasion.bind(1, occasion);
        if (!engine.run(addOccasion))
            return fail();
    }
    qsizetype written = 0;
    // The texts of one record in UTF-8, kept until its row is stored, so that the engine need not copy them.
    QByteArray texts[6];
    const auto bindKept = [&insert, &texts](int index, int kept, const QString& text) {
        texts[kept] = text.toUtf8();
        insert.bindUtf8Kept(index, std::string_view(texts[kept].constData(), std::size_t(texts[kept].size())));
    };
    for (const LedgerRecord& record : records) {
        if (written % 1000 == 0 && progress && !progress(written))
            return ovelta::Problem::Cancelled;
        insert.reset();
        bindKept(1, 0, record.direction);
        bindKept(2, 1, record.name);
        if (record.time)
            bindKept(3, 2, record.time->canonical());
        else
            insert.bindNull(3);
        bindKept(4, 3, record.relation);
        bindKept(5, 4, record.occasion);
        if (record.amount)
            insert.bind(6, *record.amount);
        else
            insert.bindNull(6);
        bindKept(7, 5, record.note);
        if (!engine.run(insert))
            return fail();
        ++written;
    }
    if (progress && !progress(written))
        return ovelta::Problem::Cancelled;
    if (!transaction.commit())
        return fail();
    return {};
}

QByteArray problemsCsv(const QStringList& headerFields, const QList<Problem>& problems)
{
    QStringList header = headerFields.isEmpty() ? LedgerTransfer::header() : headerFields;
    header.front().remove(u'\uFEFF');
    // Rows saved before carry a reason column of their own; the new reason takes its place.
    const bool hadReason = header.size() > 1 && header.back() == ReasonColumn;
    if (hadReason)
        header.removeLast();
    const qsizetype kept = header.size();
    qsizetype width = kept;
    for (const Problem& problem : problems)
        width = std::max(width, hadReason ? std::min(problem.fields.size(), kept) : problem.fields.size());
    while (header.size() < width)
        header << QString();
    // Guarded against formulas as the export is: a text the file had guarded already keeps its one apostrophe,
    // so that the import reads every field as it read it the first time.
    auto guardedRow = [](const QStringList& fields) {
        QStringList guarded;
        guarded.reserve(fields.size());
        for (const QString& field : fields)
            guarded << CsvTable::guarded(CsvTable::unguarded(field));
        return guarded;
    };
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += CsvTable::rowText(guardedRow(header + QStringList{ReasonColumn})).toUtf8();
    for (const Problem& problem : problems) {
        QStringList row = hadReason && problem.fields.size() > kept ? problem.fields.first(kept) : problem.fields;
        while (row.size() < width)
            row << QString();
        row << u"第%1行：%2"_s.arg(problem.line).arg(problem.reason);
        bytes += CsvTable::rowText(guardedRow(row)).toUtf8();
    }
    return bytes;
}

} // namespace LedgerImport
} // namespace ovelta
