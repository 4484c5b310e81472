#include "Pinyin.h"

#include <QHash>
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

/// The text in Latin letters, syllables apart: ICU's Han-Latin, its tone marks taken off, lower case.
QString latin(const QString& text)
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
