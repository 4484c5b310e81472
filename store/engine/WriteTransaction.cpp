#include "store/engine/WriteTransaction.h"

#include "store/engine/EngineConnection.h"

namespace ovelta {

WriteTransaction::WriteTransaction(EngineConnection& engine)
    : m_engine(engine)
{
    m_active = !m_engine.inTransaction() && m_engine.executeNative("BEGIN IMMEDIATE");
}

WriteTransaction::~WriteTransaction()
{
    if (m_active && m_engine.inTransaction())
        m_engine.executeNative("ROLLBACK");
}

bool WriteTransaction::commit()
{
    if (!m_active)
        return false;
    const bool ok = m_engine.executeNative("COMMIT");
    if (!ok && m_engine.inTransaction())
        m_engine.executeNative("ROLLBACK");
    m_active = false;
    return ok;
}

} // namespace ovelta
