#pragma once

#include <QString>

namespace ovelta::AmountCapitals {

/// The tooltip of an amount wherever a window shows one: the amount in capitals, as on a gift book or a cheque
/// ("大写：壹仟贰佰元整"), saying so when the four decimals the ledger keeps were rounded to fen for it.
QString toolTip(qint64 ticks);

} // namespace ovelta::AmountCapitals
