#include "BenchFormat.h"

#include <QJsonArray>
#include <QLocale>

using namespace Qt::StringLiterals;

namespace ovelta::bench::format {

namespace {

constexpr int LabelWidth = 44;
constexpr int ValueWidth = 15;

} // namespace

QString count(qint64 n)
{
    return QLocale(QLocale::English).toString(n);
}

QString ms(double value, const QString& missing)
{
    if (value < 0)
        return missing;
    return QString::number(value, 'f', value < 100 ? 1 : 0) + u" ms"_s;
}

QString ratio(double numerator, double denominator)
{
    if (numerator < 0 || denominator <= 0)
        return u"-"_s;
    return QString::number(numerator / denominator, 'f', 2) + u"x"_s;
}

QString mib(qint64 kib)
{
    return kib < 0 ? u"-"_s : QString::number(double(kib) / 1024, 'f', 1) + u" MiB"_s;
}

QString line(const QString& label, const QStringList& values)
{
    QString text = label.leftJustified(LabelWidth);
    for (const QString& v : values)
        text += v.rightJustified(ValueWidth);
    return text + u'\n';
}

QJsonObject samples(const Samples& s)
{
    QJsonArray values;
    for (double v : s.values())
        values.append(v);
    return QJsonObject{{u"median_ms"_s, s.median()}, {u"runs_ms"_s, values}};
}

} // namespace ovelta::bench::format
