#pragma once

// Figures the benchmarks share: the median of a run's times and the process's peak memory.
#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <ctime>
#include <vector>

namespace bench {

// The middle value (the upper of the two middle ones), or -1 for no values.
inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

// Processor time of this process so far (user and system), in ms: load from other programs
// stretches the wall time of a run, hardly its processor time.
inline double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The highest resident memory of this process so far (since the last resetPeak), in MB.
inline double peakMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

// Makes peakMb count from here on, so that setting up (making a bank) weighs nothing.
inline void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
    refs.close();
}

} // namespace bench
