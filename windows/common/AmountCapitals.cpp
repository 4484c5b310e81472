#include "windows/common/AmountCapitals.h"

#include "store/value/Money.h"

using namespace Qt::StringLiterals;

namespace ovelta::AmountCapitals {

QString toolTip(qint64 ticks)
{
    bool rounded = false;
    const QString capitals = Money::toCapitals(ticks, &rounded);
    return u"大写："_s + capitals + (rounded ? u"（已按分四舍五入）"_s : QString());
}

} // namespace ovelta::AmountCapitals
