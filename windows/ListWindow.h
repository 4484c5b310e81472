#pragma once

#include "ui/LedgerWindow.h"

namespace ovelta {

class LedgerHost;

/// The two lookup list windows: relations (来往关系管理, table 关系) and banquet types (酒席类型管理, table 类型).
class ListWindow : public LedgerWindow
{
    Q_OBJECT
public:
    enum Kind { Relations, BanquetTypes };

    ListWindow(LedgerHost& host, Kind kind, QWidget* parent = nullptr);

private:
    LedgerHost& m_host;
    Kind m_kind;
};

} // namespace ovelta
