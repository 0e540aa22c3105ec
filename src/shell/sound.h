#pragma once
// The received-fax sound: a WAV file played in the background.
#include <QString>

namespace orv {

// Starts playing the WAV file and returns at once; a sound still playing is
// replaced. Returns false, playing nothing, when the file does not exist.
bool PlayWaveFile(const QString& path);

}  // namespace orv
