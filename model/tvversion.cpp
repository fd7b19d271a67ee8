#include "model/tvversion.h"

#include <string>

#include "storage/cvrec.h"

namespace {

tvVersion Read(const cvRec& record, const std::string& prefix) {
    return {record.GetInt(prefix + "MAJOR"), record.GetInt(prefix + "MINOR"),
            record.GetInt(prefix + "MICRO"), record.GetInt(prefix + "BUILD")};
}

int Write(cvRec& record, const std::string& prefix, const tvVersion& version) {
    return record.PutInt(prefix + "MAJOR", version.major) != 0 &&
           record.PutInt(prefix + "MINOR", version.minor) != 0 &&
           record.PutInt(prefix + "MICRO", version.micro) != 0 &&
           record.PutInt(prefix + "BUILD", version.build) != 0;
}

}  // namespace

tvVersion StoredFileVersion(const cvRec& record) {
    return Read(record, "FILEVER");
}

tvVersion StoredProductVersion(const cvRec& record) {
    return Read(record, "PRODVER");
}

int PutFileVersion(cvRec& record, const tvVersion& version) {
    return Write(record, "FILEVER", version);
}

int PutProductVersion(cvRec& record, const tvVersion& version) {
    return Write(record, "PRODVER", version);
}
