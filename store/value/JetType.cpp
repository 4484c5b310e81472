#include "store/value/JetType.h"

namespace ovelta::JetTypes {

JetType fromDeclared(QByteArrayView declared, bool primaryKey)
{
    const QByteArray upper = declared.toByteArray().trimmed().toUpper();
    if (upper.isEmpty())
        return JetType::Unknown;
    if (upper == "INTEGER")
        return primaryKey ? JetType::Counter : JetType::Integer;
    if (upper.startsWith("CURRENCY"))
        return JetType::Currency;
    if (upper.startsWith("TIME"))
        return JetType::Time;
    if (upper.startsWith("MEMO"))
        return JetType::Memo;
    if (upper.startsWith("YESNO"))
        return JetType::Boolean;
    // The engine's own affinity rules, for tables that another tool created.
    if (upper.contains("INT"))
        return JetType::Integer;
    if (upper.contains("CHAR") || upper.contains("CLOB") || upper.contains("TEXT"))
        return JetType::Text;
    if (upper.contains("BLOB"))
        return JetType::Binary;
    if (upper.contains("REAL") || upper.contains("FLOA") || upper.contains("DOUB"))
        return JetType::Double;
    return JetType::Unknown;
}

} // namespace ovelta::JetTypes
