#pragma once

#include <QList>
#include <QString>

namespace ovelta {

/// Every file dialog of the program goes through here: Qt's own file dialog (in Chinese with the program's
/// translations), modal for the whole program.
///
/// Test seam: after startRecording() no dialog is shown; each call is recorded and answered from a queue
/// (setNextAnswer), or with a cancel (the empty text) when the queue is empty.
class FileChooser
{
public:
    struct Request
    {
        bool save = false;
        QString caption;
        QString suggested; ///< the file proposed by a save dialog
        QString filter;
        QString folder; ///< the folder the dialog starts in
    };
    struct Answer
    {
        QString path;
        QString filter; ///< the filter the user chose; empty: the dialog's first
    };

    /// The chosen file, or the empty text when the user cancelled.
    static QString openFile(const QString& caption, const QString& filter);
    /// As openFile(). A name without a suffix gets the suffix of the chosen filter's first pattern (".csv" for
    /// "CSV文件 (*.csv)"; the first filter of the list unless the user chose another); when the file of the final name
    /// exists, the user is asked (through MessageBox, titled caption) before it is replaced, and told when it is a
    /// symbolic link and where it points. The empty text when the user cancels or declines.
    static QString saveFile(const QString& caption, const QString& suggested, const QString& filter);
    /// The folder the dialogs start in: the current one (the ledger's), or the home folder when the current
    /// folder's name cannot be carried in a text (bytes that are no UTF-8).
    static QString startFolder();

    // Test seam.
    static void startRecording();
    static void stopRecording();
    static void setNextAnswer(const QString& path, const QString& chosenFilter = QString());
    static QList<Request> requests();
};

} // namespace ovelta
