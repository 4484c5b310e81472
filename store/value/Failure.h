#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <variant>

namespace ovelta {

/// What went wrong in the store, as the user is told it. Every problem has one sentence in the table of
/// Failure.cpp (the one place the store's own texts for the user are written); a failure fills in its
/// sentence's %1, %2, ... with the values it carries (a file's name, a count, the engine's own text).
enum class Problem {
    // The ledger and its engine.
    NoLedger, ///< no connection was given
    Engine, ///< the engine's own text, already in the user's words: %1
    Overflow, ///< sums beyond the range exact arithmetic covers
    RecordGone, ///< the record to change is no longer in the ledger
    Cancelled, ///< the user stopped it; nothing is shown
    ReadRecords, ///< reading the ledger's records failed: %1 is the engine's text
    TotalsUnread, ///< the records to add up could not be read (the engine's text is kept, not shown)
    // The system's failures of reading and writing files (systemErrorText()).
    DiskFull,
    DiskQuota,
    FileTooLarge,
    NoWritePermission,
    ReadOnlyDisk,
    NoSuchFolder,
    DiskError,
    IsFolder,
    NameTooLong,
    SystemError,

    // Backups, the damaged ledger's rescue and the ledger's key.
    FileUnreadable,
    FileUnwritable,
    JournalNotMoved,
    LedgerNotReplaced,
    BackupFolderNotMade,
    BackupFolderIsLink,
    BackupFolderUnopened,
    BackupFolderNotOwn,
    BackupFolderMissing,
    LedgerUnopened,
    BackupUnwritable,
    BackupUnfinished,
    BackupUnsaved,
    BackupUnopened,
    BackupDamaged,
    BackupWithoutTable,
    LedgerBusy,
    RestoreUnfinished,
    LedgerInUse,
    KeyUnsupported,
    CopyUnwritable,
    CopyUnfinished,
    CopyUnsaved,
    LedgerNotCreated,

    // Transfers: CSV and workbooks, in and out.
    WorkbookNotCreated,
    WorkbookNoMemory,
    FileIncomplete,
    WorkbookUnreadable,
    NotAWorkbook,
    NotAList,
    FileNotCreated,
    FileNotWritten,
    FileNotSaved,
};

/// A problem with the values its sentence names.
class Failure
{
public:
    Failure(Problem problem, QStringList values = {})
        : m_problem(problem)
        , m_values(std::move(values))
    {
    }

    Problem problem() const { return m_problem; }
    const QStringList& values() const { return m_values; }
    /// The sentence the user is shown.
    QString text() const;

    bool operator==(const Failure& other) const = default;

private:
    Problem m_problem;
    QStringList m_values;
};

/// Either the value of a store function or the failure that kept it from one. Nothing is shown by the store:
/// the window that asked shows failure().text() through the message box.
template <typename T> class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_state(std::in_place_index<0>, std::move(value))
    {
    }
    Result(Failure failure)
        : m_state(std::in_place_index<1>, std::move(failure))
    {
    }
    Result(Problem problem)
        : Result(Failure(problem))
    {
    }

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& operator*() & { return std::get<0>(m_state); }
    const T& operator*() const& { return std::get<0>(m_state); }
    T&& operator*() && { return std::get<0>(std::move(m_state)); }
    T* operator->() { return &std::get<0>(m_state); }
    const T* operator->() const { return &std::get<0>(m_state); }
    /// The value, or fallback on failure.
    T valueOr(T fallback) const { return ok() ? std::get<0>(m_state) : std::move(fallback); }
    /// The value as an optional, for the callers to whom only "none" matters.
    std::optional<T> optional() const& { return ok() ? std::optional<T>(std::get<0>(m_state)) : std::nullopt; }
    std::optional<T> optional() && { return ok() ? std::optional<T>(std::get<0>(std::move(m_state))) : std::nullopt; }

    /// Only on failure.
    const Failure& failure() const { return std::get<1>(m_state); }
    /// The failure's sentence; empty on success.
    QString errorText() const { return ok() ? QString() : failure().text(); }
    bool cancelled() const { return !ok() && failure().problem() == Problem::Cancelled; }

private:
    std::variant<T, Failure> m_state;
};

/// The result of a store function that gives back nothing but its success.
template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failure)
        : m_failure(std::move(failure))
    {
    }
    Result(Problem problem)
        : Result(Failure(problem))
    {
    }

    bool ok() const { return !m_failure.has_value(); }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return *m_failure; }
    QString errorText() const { return ok() ? QString() : m_failure->text(); }
    bool cancelled() const { return !ok() && m_failure->problem() == Problem::Cancelled; }

private:
    std::optional<Failure> m_failure;
};

using Done = Result<void>;

/// The sentence for a system error number (errno) of reading or writing a file.
QString systemErrorText(int error);

} // namespace ovelta
