#pragma once

#include "BenchStats.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

/// The pieces every table and JSON section of the benchmark is written with.
namespace ovelta::bench::format {

/// 1,000,000
QString count(qint64 n);
/// Milliseconds with one decimal below 100; missing for a negative value (not measured or failed).
QString ms(double value, const QString& missing = QStringLiteral("-"));
/// numerator/denominator as "1.23x"; "-" when either is missing.
QString ratio(double numerator, double denominator);
/// "12.3 MiB"; "-" for a negative value.
QString mib(qint64 kib);
/// One table line: the label left-aligned, then each value right-aligned in its column.
QString line(const QString& label, const QStringList& values);
/// The median and every run of a measurement.
QJsonObject samples(const Samples& s);

} // namespace ovelta::bench::format
