#include "app/Application.h"

#include "app/DamagedLedger.h"
#include "app/EndRoutine.h"
#include "app/LedgerFolder.h"
#include "app/LoginWindow.h"
#include "app/SingleInstance.h"
#include "store/engine/PageKeys.h"
#include "store/ledger/LedgerFile.h"
#include "store/ledger/PrivateLedger.h"
#include "ui/base/Fonts.h"
#include "ui/base/Program.h"
#include "windows/ledger/MainWindow.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace {

/// Qt's own Chinese texts for standard buttons, dialogs and the print preview.
void loadTranslations(QApplication& app)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const QString& name : {u"qtbase_zh_CN"_s, u"qt_zh_CN"_s}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(name, folder))
            QApplication::installTranslator(translator);
        else
            delete translator;
    }
}

} // namespace

int Application::run(int argc, char** argv)
{
    // The ledger's key takes tens of milliseconds to derive: a worker thread derives it from the first moment,
    // while Qt starts and the login window is built, and the database check's connect takes it from there (or
    // waits for the rest). Nothing else changes: a missing file is not prefetched, and a key that does not open
    // the file fails as the password would. A folder whose name is no text, and a private ledger, whose key
    // comes with the login, are left to the connect.
    const QByteArray ledger = LedgerFolder::ledgerFolder() + '/' + QFile::encodeName(LedgerFile::name());
    const QString ledgerPath = QFile::decodeName(ledger);
    if (QFile::encodeName(ledgerPath) == ledger && !PrivateLedger::isPrivate(ledgerPath))
        PageKeys::prefetch(ledgerPath, LedgerFile::password());
    Fonts::prepareInBackground();
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Ovelta"_s);
    QApplication::setApplicationVersion(u"1.3"_s);
    // Lets the desktop match the windows to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(u"org.ovelta.Ovelta"_s);
    // The main window never closes on its own; the end routine ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    loadTranslations(app);

    EndRoutine::install();
    // The database file name is relative: from here on it resolves in the ledger's folder.
    if (!LedgerFolder::enter())
        EndRoutine::run(0);
    // The file name resolved in the folder the program was started from until now.
    EndRoutine::noteLedgerAtStart();
    DamagedLedger::watch();
    // A ledger re-keyed under a new password is a new file: the lock against a second copy moves to it.
    PrivateLedger::setReplacedHandler([] { SingleInstance::lockLedgerFile(); });
    // The main window stays hidden until the login succeeds; its controls are built then, after the login
    // window has been shown.
    auto* mainWindow = new MainWindow(nullptr, LedgerWindow::Build::Later);
    mainWindow->setStartupStep([mainWindow] {
        SingleInstance::check();
        if (Program::hasEnded())
            return false;
        (new LoginWindow(mainWindow->database()))->openModal();
        return !Program::hasEnded();
    });
    mainWindow->openModeless();

    QApplication::exec();
    EndRoutine::run(0);
}

} // namespace ovelta
