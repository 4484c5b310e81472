#include "store/value/Failure.h"

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

struct Sentence
{
    Problem problem;
    const char16_t* text;
};

// Every text the store's functions give the user, in one place.
constexpr Sentence Sentences[] = {
    // The ledger and its engine.
    {Problem::NoLedger, u"没有打开账簿。"},
    {Problem::Engine, u"%1"},
    {Problem::Overflow, u"金额合计超出了可以计算的范围，无法汇总。"},
    {Problem::RecordGone, u"这条账目已经不在账簿中。"},
    {Problem::Cancelled, u"已取消。"},
    {Problem::ReadRecords, u"读取账目失败：\n%1"},
    {Problem::TotalsUnread, u"读取账目失败，无法汇总。"},

    // Backups, the damaged ledger's rescue and the ledger's key.
    {Problem::BackupSection, u""},

    // Transfers: CSV and workbooks, in and out.
    {Problem::TransferSection, u""},
};

} // namespace

QString Failure::text() const
{
    for (const Sentence& s : Sentences) {
        if (s.problem != m_problem)
            continue;
        // One pass, so that a value holding "%2" (a file's name) is not filled in again.
        const QString sentence = QString::fromUtf16(s.text);
        QString text;
        for (qsizetype i = 0; i < sentence.size(); ++i) {
            const int n = i + 1 < sentence.size() ? sentence.at(i + 1).digitValue() : -1;
            if (sentence.at(i) == u'%' && n >= 1 && n <= m_values.size()) {
                text += m_values.at(n - 1);
                ++i;
            } else {
                text += sentence.at(i);
            }
        }
        return text;
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace ovelta
