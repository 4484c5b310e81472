#include "windows/ledger/HelpWindows.h"

#include "store/engine/EngineConnection.h"
#include "store/ledger/LedgerBackup.h"
#include "store/ledger/LedgerFile.h"
#include "ui/base/MessageBox.h"
#include "windows/ledger/MainWindow.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <freexl.h>
#include <openssl/crypto.h>
#include <unicode/uvernum.h>
#include <xlsxwriter.h>
#include <zlib.h>

using namespace Qt::StringLiterals;

namespace ovelta {

namespace FolderCommands {

namespace {

void openFolder(const QString& folder, const QString& title, const QString& missing)
{
    const QString shown = QDir::toNativeSeparators(folder);
    if (!QFileInfo(folder).isDir()) {
        MessageBox::show(missing.arg(shown), title, MessageBox::OkOnly, MessageBox::Information);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        MessageBox::show(u"无法打开文件夹“%1”。"_s.arg(shown), title, MessageBox::OkOnly, MessageBox::Stop);
}

} // namespace

QString ledgerFolder()
{
    return QFileInfo(LedgerFile::name()).absolutePath();
}

QString backupFolder()
{
    return QFileInfo(LedgerBackup::folderOf(LedgerFile::name())).absoluteFilePath();
}

void openLedgerFolder()
{
    openFolder(ledgerFolder(), u"打开账簿所在文件夹"_s, u"文件夹“%1”不存在。"_s);
}

void openBackupFolder()
{
    openFolder(backupFolder(), u"打开备份文件夹"_s, u"还没有备份：备份文件夹“%1”在第一次备份时建立。"_s);
}

} // namespace FolderCommands

QString plainCaption(const QString& caption)
{
    QString text = caption.section(u'\t', 0, 0);
    // "(&A)" after a Chinese caption goes whole, with the "…" of a command that asks for more; a lone "&" marks a
    // letter of the caption itself.
    static const QRegularExpression mnemonic(u"\\(&[^&]\\)…?$"_s);
    text.remove(mnemonic);
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'&' && i + 1 < text.size())
            ++i;
        plain += text.at(i);
    }
    return plain;
}

namespace {

QPushButton* closeButton(QWidget* window)
{
    auto* button = new QPushButton(u"关闭(&C)"_s, window);
    button->setObjectName(u"关闭按钮"_s);
    QObject::connect(button, &QPushButton::clicked, window, &QWidget::close);
    return button;
}

} // namespace

KeysWindow::KeysWindow(QWidget& mainWindow, QWidget* parent)
    : ReportWindow(u"keys"_s, u"快捷键"_s, parent)
{
    struct Key
    {
        QString key;
        QString meaning;
    };
    QList<Key> keys;
    const auto add = [&keys](const QKeySequence& sequence, const QString& meaning) {
        const QString key = sequence.toString(QKeySequence::NativeText);
        for (const Key& known : keys) {
            if (known.key == key)
                return;
        }
        keys.append({key, meaning});
    };
    // The main window's keys as they are installed, so that the table can never leave one out.
    for (const QAction* action : mainWindow.findChildren<QAction*>()) {
        for (const QKeySequence& sequence : action->shortcuts())
            add(sequence, plainCaption(action->text()));
    }
    for (const QShortcut* shortcut : mainWindow.findChildren<QShortcut*>())
        add(shortcut->key(), shortcut->whatsThis());
    // The keys every window shares.
    keys += {
        {u"Tab"_s, u"移到下一个控件"_s},
        {u"Shift+Tab"_s, u"移到上一个控件"_s},
        {u"Enter"_s, u"按下窗口的默认按钮（主窗口中不起作用）"_s},
        {u"Esc"_s, u"关闭窗口（主窗口、登录窗口和修改口令窗口中不起作用）"_s},
        {u"Alt+字母"_s, u"按下标题中标有这个字母的按钮，或打开菜单栏中标有这个字母的菜单"_s},
        {u"菜单键"_s, u"打开表格的右键菜单"_s},
        {u"方向键、PgUp、PgDown、Home、End"_s, u"在表格中移动"_s},
    };

    auto* layout = new QVBoxLayout(this);
    m_table = new QTableWidget(int(keys.size()), 2, this);
    m_table->setObjectName(u"快捷键表"_s);
    m_table->setHorizontalHeaderLabels({u"按键"_s, u"作用"_s});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table for the button instead of walking its cells.
    m_table->setTabKeyNavigation(false);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < keys.size(); ++row) {
        m_table->setItem(row, 0, new QTableWidgetItem(keys.at(row).key));
        m_table->setItem(row, 1, new QTableWidgetItem(keys.at(row).meaning));
    }
    m_table->resizeColumnToContents(0);
    layout->addWidget(m_table);
    layout->addWidget(closeButton(this), 0, Qt::AlignRight);
    setMinimumSize(360, 300);
    resize(560, 480);
}

QStringList KeysWindow::rows() const
{
    QStringList rows;
    for (int row = 0; row < m_table->rowCount(); ++row)
        rows << m_table->item(row, 0)->text() + u'\t' + m_table->item(row, 1)->text();
    return rows;
}

AboutWindow::AboutWindow(QWidget* parent)
    : ReportWindow(u"about"_s, u"关于"_s, parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* product = new QLabel(MainWindow::productLine() + u"　人情往来账簿"_s, this);
    product->setObjectName(u"版本标签"_s);
    layout->addWidget(product);

    auto* places = new QGridLayout;
    const auto place = [this, places](int row, const QString& name, const QString& caption, const QString& folder,
                                      const QString& buttonName, const QString& buttonCaption, void (*open)()) {
        auto* label = new QLabel(caption.arg(QDir::toNativeSeparators(folder)), this);
        label->setObjectName(name);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* button = new QPushButton(buttonCaption, this);
        button->setObjectName(buttonName);
        connect(button, &QPushButton::clicked, this, open);
        places->addWidget(label, row, 0);
        places->addWidget(button, row, 1);
    };
    place(0, u"账簿位置标签"_s, u"账簿在：%1"_s, FolderCommands::ledgerFolder(), u"账簿文件夹按钮"_s,
          u"打开账簿文件夹(&L)"_s, FolderCommands::openLedgerFolder);
    place(1, u"备份位置标签"_s, u"备份在：%1"_s, FolderCommands::backupFolder(), u"备份文件夹按钮"_s,
          u"打开备份文件夹(&B)"_s, FolderCommands::openBackupFolder);
    places->setColumnStretch(0, 1);
    layout->addLayout(places);

    auto* libraries = new QLabel(u"本程序使用了以下程序库：\n"
                                 u"Qt %1（LGPL-3.0），Qt Charts（GPL-3.0）\n"
                                 u"SQLCipher，基于 SQLite %2（BSD-3-Clause）\n"
                                 u"%3（Apache-2.0）\n"
                                 u"ICU %4（Unicode-3.0）\n"
                                 u"libxlsxwriter %5（BSD-2-Clause），zlib %6 与 minizip（Zlib）\n"
                                 u"FreeXL %7（MPL-1.1 / GPL-2.0+ / LGPL-2.1+）"_s.arg(
                                     QString::fromLatin1(qVersion()), EngineConnection::engineVersion(),
                                     QString::fromLatin1(OpenSSL_version(OPENSSL_VERSION)),
                                     QString::fromLatin1(U_ICU_VERSION), QString::fromLatin1(LXW_VERSION),
                                     QString::fromLatin1(zlibVersion()), QString::fromLatin1(freexl_version())),
                                 this);
    libraries->setObjectName(u"程序库标签"_s);
    libraries->setTextFormat(Qt::PlainText);
    libraries->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(libraries);
    layout->addStretch();
    layout->addWidget(closeButton(this), 0, Qt::AlignRight);
    setMinimumSize(360, 240);
    resize(560, 340);
}

} // namespace ovelta
