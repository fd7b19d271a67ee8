#pragma once
// Plays a sound file through a player installed on the machine, without waiting: the
// event log's sound hook ("bomb.wav" when a message box aborts a transaction).

#include <string>

// Starts the first player found on the PATH ("paplay", then "aplay") on `path`, detached
// and with its output discarded. Returns false, starting nothing, when the file does not
// exist or no player is installed; a sound is never worth a failure.
bool PlaySoundFile(const std::string& path);
