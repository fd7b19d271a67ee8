#include "platform/profile/profileresult.h"

namespace platform {

const char* ProfileResultText(ProfileResult result) {
    switch (result) {
        case ProfileResult::kOk:
            return "success";
        case ProfileResult::kInvalidName:
            return "invalid section or value name";
        case ProfileResult::kNotWritable:
            return "not writable";
        case ProfileResult::kUnparsable:
            return "file cannot be parsed";
        case ProfileResult::kIoError:
            return "input/output error";
    }
    return "unknown result";
}

}  // namespace platform
