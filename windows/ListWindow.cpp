#include "windows/ListWindow.h"

#include "ui/Catalogue.h"

namespace ovelta {

ListWindow::ListWindow(LedgerHost& host, Kind kind, QWidget* parent)
    : LedgerWindow(kind == Relations ? Catalogue::relationsWindow() : Catalogue::banquetTypesWindow(), parent)
    , m_host(host)
    , m_kind(kind)
{
}

} // namespace ovelta
