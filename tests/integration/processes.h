#pragma once

#include <QList>
#include <QtGlobal>

#include <sys/types.h>

// The office processes this process started and that have not been reaped: its children
// named soffice.bin.
QList<pid_t> officeProcesses();

// The peak resident memory of a process (VmHWM) in KiB; -1 when it cannot be read. 0 is this
// process.
qint64 peakMemoryKiB(pid_t pid = 0);

// Starts this process's peak resident memory anew from what it uses now; false when the
// system refuses.
bool resetPeakMemory();
