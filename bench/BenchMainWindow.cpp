#include "BenchMainWindow.h"

#include "store/DatabaseConnection.h"
#include "store/LedgerFile.h"
#include "store/RecordSet.h"
#include "windows/MainWindow.h"

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
