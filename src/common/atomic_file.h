#pragma once
// Replacing a file so that a crash or a full disk leaves either the old
// contents or the new, never a mixture: the data goes to a temporary file in
// the same folder, is flushed to the disk, and is renamed over the old file.
#include <QByteArray>
#include <QString>

namespace orv {

// False on any failure (error receives the reason); the old file is then untouched
// and no temporary file is left behind. A new file gets mode 0666 less the umask,
// an existing one keeps its mode.
bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// Writes all n bytes to fd, again after an interrupted call; false (errno set,
// ENOSPC for a write that took nothing) when it cannot.
bool WriteAll(int fd, const char* data, qsizetype n);

}  // namespace orv
