// The child of the kill test: writes to the ledger file in the current folder through the program's own
// database objects and statement builders until it is killed. Every write is announced on standard output
// before it starts ("do ...") and confirmed after the engine reported success ("ok ..."), one line each,
// texts percent-encoded, so that the parent knows which writes must have survived a kill.
//
//   ledger_writer SEED          writes into the existing ledger file
//   ledger_writer SEED create   first builds the ledger file as the first start does, then writes

#include "store/engine/EngineConnection.h"
#include "store/jet/DatabaseConnection.h"
#include "store/jet/LedgerStatements.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "windows/ledger/PasswordWindow.h"

#include <QRandomGenerator>
#include <QStringList>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace ovelta;

namespace {

void say(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    // Unbuffered: a line that was written is in the pipe even when the process dies the next instant.
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            ::_exit(3);
        done += n;
    }
}

QString encoded(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toPercentEncoding());
}

QList<qint64> idsOf(RecordSet& records, const QString& table)
{
    QList<qint64> ids;
    records.openTable(table);
    for (records.moveFirst(); !records.atEnd(); records.moveNext()) {
        qint64 id = 0;
        records.readInteger(u"ID"_s, id);
        ids << id;
    }
    records.close();
    return ids;
}

class Writer
{
public:
    explicit Writer(quint32 seed)
        : m_random(seed)
        , m_seed(seed)
    {
    }

    bool start()
    {
        if (!m_connection.connect(LedgerFile::name(), LedgerFile::password()) || !m_records.bind(&m_connection))
            return false;
        m_gifts = idsOf(m_records, u"收送礼"_s);
        m_entries[0] = idsOf(m_records, u"关系"_s);
        m_entries[1] = idsOf(m_records, u"类型"_s);
        return true;
    }

    void writeOne()
    {
        const int pick = int(m_random.bounded(100));
        if (pick < 45 || m_gifts.isEmpty())
            addGift();
        else if (pick < 60)
            modifyGift();
        else if (pick < 70)
            deleteGift();
        else if (pick < 80)
            addEntry();
        else if (pick < 88)
            deleteEntry();
        else
            changePassword();
    }

private:
    QString text(const QString& stem)
    {
        // An apostrophe and Chinese in every text: the quoting of the builders is part of what is written.
        return u"%1'%2-%3"_s.arg(stem).arg(m_seed).arg(++m_count);
    }

    LedgerStatements::EntryValues values()
    {
        LedgerStatements::EntryValues v;
        v.direction = m_random.bounded(2) ? u"收礼"_s : u"送礼"_s;
        v.name = text(u"客"_s);
        v.date = QDate(2020, 1, 1).addDays(m_random.bounded(1000));
        v.relation = u"朋友"_s;
        v.occasion = u"结婚"_s;
        v.amountTicks = qint64(m_random.bounded(1'000'000'000));
        // Notes up to a few pages long, so that writes reach overflow pages and page splits.
        v.note = text(u"注"_s).repeated(int(m_random.bounded(400)));
        return v;
    }

    static QString describe(const LedgerStatements::EntryValues& v)
    {
        return encoded(v.direction) + u' ' + encoded(v.name) + u' ' + LedgerStatements::dateText(v.date) + u' '
            + encoded(v.relation) + u' ' + encoded(v.occasion) + u' ' + QString::number(v.amountTicks) + u' '
            + encoded(v.note);
    }

    qint64 randomOf(const QList<qint64>& ids) { return ids.at(int(m_random.bounded(int(ids.size())))); }

    void addGift()
    {
        const LedgerStatements::EntryValues v = values();
        say(u"do add "_s + describe(v));
        if (m_connection.execute(LedgerStatements::addRecord(v))) {
            const qint64 id = m_connection.engine()->lastInsertRowid();
            m_gifts << id;
            say(u"ok "_s + QString::number(id));
        }
    }

    void modifyGift()
    {
        const qint64 id = randomOf(m_gifts);
        const LedgerStatements::EntryValues v = values();
        say(u"do mod "_s + QString::number(id) + u' ' + describe(v));
        if (m_connection.execute(LedgerStatements::modifyRecord(v, QString::number(id))))
            say(u"ok"_s);
    }

    void deleteGift()
    {
        const qint64 id = randomOf(m_gifts);
        say(u"do del "_s + QString::number(id));
        if (m_connection.execute(LedgerStatements::deleteRecord(QString::number(id)))) {
            m_gifts.removeAll(id);
            say(u"ok"_s);
        }
    }

    void addEntry()
    {
        const int list = int(m_random.bounded(2));
        const auto table
            = list == 0 ? LedgerStatements::LookupList::Relations : LedgerStatements::LookupList::Occasions;
        const QString entry = text(u"类"_s);
        say(u"do ladd "_s + QString::number(list) + u' ' + encoded(entry));
        if (m_connection.execute(LedgerStatements::addLookup(table, entry))) {
            const qint64 id = m_connection.engine()->lastInsertRowid();
            m_entries[list] << id;
            say(u"ok "_s + QString::number(id));
        }
    }

    void deleteEntry()
    {
        const int list = int(m_random.bounded(2));
        if (m_entries[list].isEmpty())
            return;
        const auto table
            = list == 0 ? LedgerStatements::LookupList::Relations : LedgerStatements::LookupList::Occasions;
        const qint64 id = randomOf(m_entries[list]);
        say(u"do ldel "_s + QString::number(list) + u' ' + QString::number(id));
        if (m_connection.execute(LedgerStatements::deleteLookup(table, QString::number(id)))) {
            m_entries[list].removeAll(id);
            say(u"ok"_s);
        }
    }

    /// Through the password window's own steps: the account row read, then deleted and appended anew in one
    /// transaction.
    void changePassword()
    {
        const QString password = text(u"密"_s);
        say(u"do pw "_s + encoded(password));
        QString user, current;
        PasswordWindow::readAccount(m_records, user, current);
        const bool changed = !user.isEmpty() && PasswordWindow::replaceAccountRow(m_records, user, password);
        m_records.close();
        if (changed)
            say(u"ok"_s);
    }

    QRandomGenerator m_random;
    quint32 m_seed;
    int m_count = 0;
    DatabaseConnection m_connection;
    RecordSet m_records;
    QList<qint64> m_gifts;
    QList<qint64> m_entries[2];
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const quint32 seed = quint32(QByteArray(argv[1]).toUInt());
    if (argc > 2 && QByteArray(argv[2]) == "create") {
        say(u"do create"_s);
        if (!LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password()))
            return 1;
        say(u"ok"_s);
    }
    Writer writer(seed);
    if (!writer.start())
        return 1;
    // Bounded, should the parent ever fail to kill it (a parent that is gone ends it through SIGPIPE).
    for (int i = 0; i < 5000; ++i)
        writer.writeOne();
    return 0;
}
