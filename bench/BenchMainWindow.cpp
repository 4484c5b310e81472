#include "BenchMainWindow.h"

#include "store/jet/DatabaseConnection.h"
#include "store/jet/RecordSet.h"
#include "store/ledger/LedgerFile.h"
#include "windows/ledger/MainWindow.h"

#include <QDir>

namespace ovelta::bench {

MainWindow* openMainWindow(const QString& folder)
{
    QDir::setCurrent(folder);
    auto* main = new MainWindow;
    main->setStartupStep([main] {
        const DatabaseObjects db = main->database();
        return db.connection.connect(LedgerFile::name(), LedgerFile::password()) && db.recordSet.bind(&db.connection);
    });
    main->openModeless();
    return main;
}

} // namespace ovelta::bench
