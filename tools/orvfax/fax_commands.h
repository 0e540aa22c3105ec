#pragma once
// orvfax send, receive and query: the fax engine from the command line.
#include <QStringList>

namespace orv::orvfax {

int sendCommand(const QStringList& args);
int receiveCommand(const QStringList& args);
int queryCommand(const QStringList& args);

extern const char* const kFaxUsage;

}  // namespace orv::orvfax
