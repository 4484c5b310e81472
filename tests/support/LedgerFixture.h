#pragma once

// The set-up every window test needs, in one object made in init() and dropped in cleanup(): a temporary
// folder that is the current directory, a fresh ledger file in it, the test host connected to that file, the
// box recorder, the end recorder, a pinned clock, and the program's singletons reset before and after.
// Header-only, like GuiSupport.h.

#include "GuiSupport.h"
#include "TempFolder.h"
#include "TestHost.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/LedgerSchema.h"
#include "ui/base/MessageBox.h"
#include "ui/base/Program.h"
#include "ui/base/SharedState.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <memory>
#include <optional>

namespace ovelta::test {

class LedgerFixture
{
public:
    struct Options
    {
        /// Put a fresh ledger file (tables and seed rows) into the folder.
        bool ledger = true;
        /// Connect the test host's three objects to that file.
        bool connect = true;
        /// The time the program's clock shows; none: the system's time.
        std::optional<QDateTime> now;
        /// As the main window does: a refused open of the record set shows the engine's text in a box.
        bool reportOpenErrors = false;

        Options& pinnedAt(const QDateTime& time)
        {
            now = time;
            return *this;
        }
        Options& unconnected()
        {
            connect = false;
            return *this;
        }
        Options& showingOpenErrors()
        {
            reportOpenErrors = true;
            return *this;
        }
    };

    LedgerFixture()
        : LedgerFixture(Options{})
    {
    }
    explicit LedgerFixture(Options options)
    {
        resetSingletons();
        m_folder = std::make_unique<TempFolder>();
        m_ok = m_folder->isValid() && (!options.ledger || copyTemplate());
        m_host = std::make_unique<TestHost>();
        if (m_ok && options.ledger && options.connect)
            m_ok = m_host->connectAll();
        if (options.reportOpenErrors)
            RecordSet::setErrorReporter([](const QString& message) { MessageBox::show(message); });
        m_boxes = std::make_unique<BoxRecorder>();
        m_end = std::make_unique<EndRecorder>();
        Program::setNow(options.now);
    }
    ~LedgerFixture()
    {
        m_end.reset();
        m_boxes.reset();
        m_host.reset();
        m_folder.reset();
        resetSingletons();
    }
    LedgerFixture(const LedgerFixture&) = delete;
    LedgerFixture& operator=(const LedgerFixture&) = delete;

    /// False when the folder, the ledger file or a connection could not be made.
    bool isValid() const { return m_ok; }
    TempFolder& folder() { return *m_folder; }
    TestHost& host() { return *m_host; }
    BoxRecorder& boxes() { return *m_boxes; }
    EndRecorder& end() { return *m_end; }

    /// The clock, the shared state and the record set's error reporter as a fresh program has them.
    static void resetSingletons()
    {
        Program::setNow(std::nullopt);
        SharedState::instance().clear();
        RecordSet::setErrorReporter({});
        LedgerFile::setSessionKey(LedgerFile::password());
    }

    /// The bytes of a new ledger file, made once per test program by the program's own creation and copied
    /// for every test, so that each test starts from the same file without paying for a creation.
    static const QByteArray& templateLedger()
    {
        static const QByteArray bytes = [] {
            TempFolder folder;
            QFile file(LedgerFile::name());
            if (!LedgerSchema::createFile(LedgerFile::name(), LedgerFile::password())
                || !file.open(QIODevice::ReadOnly))
                return QByteArray();
            return file.readAll();
        }();
        return bytes;
    }

private:
    static bool copyTemplate()
    {
        const QByteArray& bytes = templateLedger();
        QFile file(LedgerFile::name());
        return !bytes.isEmpty() && file.open(QIODevice::NewOnly) && file.write(bytes) == bytes.size()
            && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    std::unique_ptr<TempFolder> m_folder;
    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<BoxRecorder> m_boxes;
    std::unique_ptr<EndRecorder> m_end;
    bool m_ok = false;
};

} // namespace ovelta::test
