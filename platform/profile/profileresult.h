#pragma once
// Outcome of a profile write. 0 is success; every failure leaves the file as it was.

namespace platform {

enum class ProfileResult : int {
    kOk = 0,
    // A section or value name the file format cannot hold (empty, a line feed, "=" in
    // a value name, "]" in a section name, blanks at either end).
    kInvalidName = 1,
    // The file or its directory may not be written by this user (permissions, a
    // read-only file system). Reads still work.
    kNotWritable = 2,
    // The file exists but cannot be parsed; it is left untouched so that nothing it
    // holds is lost. Repair or remove it to write again.
    kUnparsable = 3,
    // Any other failure of the file system (no space, a path through a plain file,
    // an unreadable file, no location for the file).
    kIoError = 4,
};

// A short English description, for messages ("not writable").
const char* ProfileResultText(ProfileResult result);

}  // namespace platform
