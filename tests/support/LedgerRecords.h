#pragma once

#include "store/ledger/LedgerTransfer.h"
#include "store/value/JetDateTime.h"

#include <optional>

namespace ovelta::test {

/// A ledger record as the export and import carry it; time is a date or date-time text, or null for none.
inline LedgerRecord record(const QString& direction, const QString& name, const char* time, const QString& relation,
                           const QString& kind, std::optional<qint64> amount, const QString& note)
{
    LedgerRecord r;
    r.direction = direction;
    r.name = name;
    if (time)
        r.time = JetDateTime::parse(QString::fromLatin1(time));
    r.relation = relation;
    r.occasion = kind;
    r.amount = amount;
    r.note = note;
    return r;
}

} // namespace ovelta::test
