#pragma once

#include "ui/LedgerWindow.h"

namespace ovelta {

class LedgerHost;

/// The password window (修改用户口令): changes the password of the first account.
class PasswordWindow : public LedgerWindow
{
    Q_OBJECT
public:
    explicit PasswordWindow(LedgerHost& host, QWidget* parent = nullptr);

private:
    LedgerHost& m_host;
};

} // namespace ovelta
