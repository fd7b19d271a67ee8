#pragma once
// Versions of the program and of a database: four parts, major, minor, micro and
// build. A database keeps two in its version record of TOLVANE: the file version
// (FILEVERMAJOR ... FILEVERBUILD) and the product version (PRODVERMAJOR ...
// PRODVERBUILD).

#include <cstdint>

class cvRec;

struct tvVersion {
    int32_t major = 0;
    int32_t minor = 0;
    int32_t micro = 0;
    int32_t build = 0;
    bool operator==(const tvVersion&) const = default;
};

tvVersion StoredFileVersion(const cvRec& record);
tvVersion StoredProductVersion(const cvRec& record);
// Write the four parts; nonzero when every part was written.
[[nodiscard]] int PutFileVersion(cvRec& record, const tvVersion& version);
[[nodiscard]] int PutProductVersion(cvRec& record, const tvVersion& version);
