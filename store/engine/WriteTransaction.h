#pragma once

namespace ovelta {

class EngineConnection;

/// One write transaction of the engine (BEGIN IMMEDIATE), undone when the guard goes without commit(): an
/// early return, a failed statement or a cancel leaves the ledger as it was.
class WriteTransaction
{
public:
    explicit WriteTransaction(EngineConnection& engine);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    /// False when the transaction could not begin (another writer holds the file, or one is open already).
    bool isActive() const { return m_active; }
    /// Makes every change of the transaction durable; false (and everything undone) when the commit failed.
    bool commit();

private:
    EngineConnection& m_engine;
    bool m_active = false;
};

} // namespace ovelta
