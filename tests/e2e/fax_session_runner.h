#pragma once
// Runs one fax session of our engine in this process, the way the fax
// components will: a TOrvComPort on the modem's path (8192-byte buffers, as
// the components set it up), the machine on the port's I/O thread, its events
// on this (the main) thread through QueuedFaxEvents, and the port's closing
// handed to the machine.
#include "engine/fax_receiver.h"
#include "engine/fax_sender.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace orv::test {

struct SessionResult {
    bool finished = false;        // FaxFinish arrived in time
    int finishCode = 1;
    QList<int> errors;
    QList<int> logs;
    QList<int> statuses;
    FaxProgress last;             // progress with the finish
    QStringList receivedFiles;    // files named by receive logs 5 and 7
    int openError = 0;            // the port could not be opened
};

// Sends `file` (and `cover`) to `number`. `setup` adjusts the session before it starts.
SessionResult runSend(const QString& port, const QByteArray& number, const QString& file,
                      const std::function<void(FaxSendSession&)>& setup = {}, const QString& cover = {},
                      int timeoutMs = 120000);

// Receives into `dir`; `whenWaiting` runs once the machine waits for a call
// (to make the far end call).
SessionResult runReceive(const QString& port, const QString& dir, const std::function<void()>& whenWaiting,
                         const std::function<void(FaxReceiveSession&)>& setup = {}, int timeoutMs = 120000);

// Open descriptors and threads of this process, to find leaks.
int openDescriptors();
int runningThreads();

}  // namespace orv::test
