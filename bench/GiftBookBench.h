#pragma once

#include "BenchStats.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace ovelta::bench {

/// The gift book (礼簿) over one ledger size, in milliseconds.
struct GiftBookResults
{
    qint64 records = 0;
    qint64 names = 0; ///< distinct names the completion looks through
    qint64 candidates = 0; ///< names offered for "zhangw"
    qint64 guests = 0; ///< lines of the banquet opened from 以前的酒席
    double keysMs = -1; ///< the pinyin of every name made once (as the window does on a thread of its own)
    qint64 events = 0; ///< events in 以前的酒席
    double eventsMs = -1; ///< the first page of the events list (40 days), part of the opening
    double namesMs = -1; ///< the store's names() alone, part of the opening
    double openMs = -1; ///< the window opened (events, names and the index of names read or made) and painted
    double firstKeyMs = -1; ///< the first key typed at once after opening
    double pinyinReadyMs = -1; ///< from that key until the names are offered by their pinyin
    Samples matchFloor; ///< Pinyin::matches over every name's prepared keys, per prefix of "zhangw"
    Samples keystroke; ///< one key of "zhangw" typed into 姓名框 until the list of names is updated and painted
    Samples insertFloor; ///< one INSERT in a transaction of its own on the window's connection
    Samples store; ///< Enter in 说明框 until the line is stored, listed and 姓名框 empty with the focus
    Samples selectFloor; ///< the banquet's records read with one bound SELECT
    Samples openEvent; ///< the banquet chosen in 以前的酒席 until its lines are listed and painted
    Samples bookPreview; ///< 打印 pressed until the print preview has painted the banquet's book's first page
    Samples bookPdf; ///< the banquet's book (cover and every page) written as a PDF file
    int bookPages = 0;
};

/// Opens 礼簿 over a copy of the ledger file lgbk.xc of a folder (so that the lines it stores change nothing of the
/// ledger the other parts measure), with a banquet of 500 guests added to the copy, and measures the name
/// completion, the storing of a line and the opening of the banquet against the engine's own floors.
class GiftBookBench
{
public:
    static GiftBookResults measure(const QString& folder, qint64 records, int runs, QStringList& errors);

    /// The figures as a table beside the targets at 1,000,000 records (a key under 30 ms, a line under 20 ms,
    /// the banquet under 100 ms, its book's preview under 300 ms and PDF under 3 s), and as JSON.
    static QString table(const QList<GiftBookResults>& results);
    static QJsonArray json(const QList<GiftBookResults>& results);
};

} // namespace ovelta::bench
