#pragma once

// What the benchmarks measure time and CPU with, and how they sum up runs.
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <ctime>

#include <sys/resource.h>

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// The CPU the calling thread has used, in seconds.
inline double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// CPU of the children reaped so far, summed.
inline double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Every run, first to last, with decimals digits each.
inline QString listOf(const QList<double> &values, int decimals = 1)
{
    QStringList text;
    for (double value : values)
        text << QString::number(value, 'f', decimals);
    return text.join(QLatin1Char(' '));
}
