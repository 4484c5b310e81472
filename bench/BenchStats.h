#pragma once

#include <QElapsedTimer>
#include <QList>
#include <algorithm>

namespace ovelta::bench {

/// Timings of repeated runs of one measurement, in milliseconds.
class Samples
{
public:
    void add(double ms) { m_values.append(ms); }
    bool isEmpty() const { return m_values.isEmpty(); }
    qsizetype count() const { return m_values.size(); }
    QList<double> values() const { return m_values; }

    /// The median; the mean of the two middle values for an even count; -1 when there is no value.
    double median() const
    {
        if (m_values.isEmpty())
            return -1;
        QList<double> sorted = m_values;
        std::sort(sorted.begin(), sorted.end());
        const qsizetype n = sorted.size();
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }

private:
    QList<double> m_values;
};

/// Milliseconds since start, with the timer's full resolution.
inline double millisecondsSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace ovelta::bench
