#include "store/value/Pinyin.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <memory>
#include <mutex>
#include <unicode/translit.h>
#include <unicode/unistr.h>

using namespace Qt::StringLiterals;

namespace ovelta::Pinyin {

namespace {

/// Surnames whose reading as a surname differs from the one ICU gives the character or word, with that reading,
/// syllables apart. The compound surnames come first, so that the longest one is taken.
const QList<std::pair<QString, QString>>& surnameReadings()
{
    static const QList<std::pair<QString, QString>> readings{
        {u"万俟"_s, u"mo qi"_s}, {u"尉迟"_s, u"yu chi"_s}, {u"单于"_s, u"chan yu"_s}, {u"长孙"_s, u"zhang sun"_s},
        {u"单"_s, u"shan"_s},    {u"曾"_s, u"zeng"_s},     {u"解"_s, u"xie"_s},       {u"仇"_s, u"qiu"_s},
        {u"朴"_s, u"piao"_s},    {u"查"_s, u"zha"_s},      {u"区"_s, u"ou"_s},        {u"盖"_s, u"ge"_s},
        {u"乐"_s, u"yue"_s},     {u"缪"_s, u"miao"_s},     {u"翟"_s, u"zhai"_s},      {u"秘"_s, u"bi"_s},
        {u"覃"_s, u"qin"_s},     {u"召"_s, u"shao"_s},     {u"种"_s, u"chong"_s},     {u"员"_s, u"yun"_s},
        {u"繁"_s, u"po"_s},      {u"谌"_s, u"chen"_s},     {u"尉"_s, u"yu"_s},        {u"句"_s, u"gou"_s},
    };
    return readings;
}

/// ICU's Han-Latin, its tone marks taken off, lower case, of text as it stands.
QString transliterated(const QString& text)
{
    static std::mutex mutex;
    static std::unique_ptr<icu::Transliterator> transliterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> made(
            icu::Transliterator::createInstance("Han-Latin; Latin-ASCII; Lower", UTRANS_FORWARD, status));
        return U_SUCCESS(status) ? std::move(made) : nullptr;
    }();
    if (!transliterator)
        return text.toLower();
    icu::UnicodeString unicode(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
    {
        const std::lock_guard lock(mutex);
        transliterator->transliterate(unicode);
    }
    return QString(reinterpret_cast<const QChar*>(unicode.getBuffer()), unicode.length());
}

/// The reading of one Han character, made once: a ledger of many thousand names has a few thousand characters.
QString characterReading(char32_t c)
{
    static std::mutex mutex;
    static QHash<char32_t, QString> readings;
    {
        const std::lock_guard lock(mutex);
        const auto found = readings.constFind(c);
        if (found != readings.cend())
            return *found;
    }
    const QString reading = transliterated(QString::fromUcs4(&c, 1)).trimmed();
    const std::lock_guard lock(mutex);
    readings.insert(c, reading);
    return reading;
}

/// The Han characters whose reading in Han-Latin depends on the next one (重 in 重庆): its rules of the form
/// "{重}' '?庆 > chóng;".
const QSet<char32_t>& readInContext()
{
    static const QSet<char32_t> characters = [] {
        QSet<char32_t> found;
        UErrorCode status = U_ZERO_ERROR;
        const std::unique_ptr<icu::Transliterator> hanLatin(
            icu::Transliterator::createInstance("Han-Latin", UTRANS_FORWARD, status));
        if (!U_SUCCESS(status) || !hanLatin)
            return found;
        icu::UnicodeString rules;
        hanLatin->toRules(rules, false);
        const QString text(reinterpret_cast<const QChar*>(rules.getBuffer()), rules.length());
        for (const QString& rule : text.split(u'\n')) {
            const qsizetype open = rule.indexOf(u'{');
            const qsizetype close = rule.indexOf(u'}', open + 1);
            if (open < 0 || close < 0)
                continue;
            for (const uint c : QStringView(rule).mid(open + 1, close - open - 1).toUcs4())
                found.insert(char32_t(c));
        }
        return found;
    }();
    return characters;
}

/// The text in Latin letters, syllables apart. A text of Han characters only, as most names are, is read
/// character by character, as Han-Latin reads it, unless one of them is read in context; any other text is
/// given to Han-Latin whole.
QString latin(const QString& text)
{
    const QList<uint> characters = text.toUcs4();
    const bool han = !characters.isEmpty() && std::all_of(characters.cbegin(), characters.cend(), [](uint c) {
        return QChar::script(c) == QChar::Script_Han && !readInContext().contains(char32_t(c));
    });
    if (!han)
        return transliterated(text);
    QString syllables;
    for (const uint c : characters) {
        if (!syllables.isEmpty())
            syllables += u' ';
        syllables += characterReading(char32_t(c));
    }
    return syllables;
}

/// The full key and the initials of a text in Latin letters, syllables apart.
void addKeys(const QString& syllables, QStringList& keys)
{
    QString full, initials;
    for (const QString& syllable : syllables.split(u' ', Qt::SkipEmptyParts)) {
        QString letters;
        for (const QChar c : syllable) {
            if (c.isLetterOrNumber() && c.unicode() < 0x80)
                letters += c;
        }
        if (letters.isEmpty())
            continue;
        full += letters;
        initials += letters.front();
    }
    for (const QString& key : {full, initials}) {
        if (!key.isEmpty() && !keys.contains(key))
            keys << key;
    }
}

} // namespace

QStringList keysOf(const QString& name)
{
    const QString trimmed = name.trimmed();
    QStringList keys;
    for (const auto& [surname, reading] : surnameReadings()) {
        if (trimmed.startsWith(surname) && trimmed.size() > surname.size()) {
            addKeys(reading + u' ' + latin(trimmed.mid(surname.size())), keys);
            break;
        }
    }
    addKeys(latin(trimmed), keys);
    return keys;
}

bool matches(const QString& name, const QStringList& keys, const QString& typed)
{
    const QString wanted = typed.trimmed().toLower();
    if (wanted.isEmpty())
        return false;
    if (name.trimmed().toLower().startsWith(wanted))
        return true;
    for (const QString& key : keys) {
        if (key.startsWith(wanted))
            return true;
    }
    return false;
}

} // namespace ovelta::Pinyin
