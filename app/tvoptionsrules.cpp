#include "app/tvoptionsrules.h"

#include "log/messagebox.h"
#include "model/tolvanetable.h"
#include "model/tvsettings.h"
#include "model/tvvaluelists.h"
#include "storage/cvrec.h"

namespace {

constexpr tvIntervalRange kIntervals[] = {
    {"SENDINTERVAL", 10, 28800},
    {"STATUSINTERVAL", 60, 28800},
    {"RECVINTERVAL", 30, 28800},
    {"PURGEAGE", 1, 365},
};

constexpr unsigned kExclamation = kMbOk | kMbIconWarning;

bool IsOn(const cvRec& options, const char* flag) {
    return options.GetText(flag, 1) == "Y";
}

bool AnyEmpty(const cvRec& options, const char* a, const char* b, const char* c) {
    return options.GetText(a).empty() || options.GetText(b).empty() || options.GetText(c).empty();
}

}  // namespace

std::span<const tvIntervalRange> OptionIntervalRanges() {
    return kIntervals;
}

void PrepareOptionsForEditing(cvRec& options) {
    for (const tvIntervalRange& range : kIntervals) {
        const int32_t value = options.GetInt(range.field);
        if (value < range.minimum || value > range.maximum) {
            static_cast<void>(options.PutInt(range.field, range.minimum));
        }
    }
    static_cast<void>(
        options.PutInt("DNSADDRESS", static_cast<int32_t>(OptionsDnsAddress(options))));
}

std::optional<tvOptionsRefusal> CheckOptions(const cvRec& options) {
    for (const tvIntervalRange& range : kIntervals) {
        const int32_t value = options.GetInt(range.field);
        if (value < range.minimum || value > range.maximum) {
            return tvOptionsRefusal{"Value out of range", kExclamation, range.field};
        }
        if (std::string_view(range.field) == "STATUSINTERVAL" &&
            value < options.GetInt("SENDINTERVAL")) {
            return tvOptionsRefusal{"Status Interval cannot be shorter than Send Interval",
                                    kExclamation, range.field};
        }
    }
    if (IsOn(options, "SMTPQAUTH") &&
        AnyEmpty(options, "SMTPMAILSERVER", "SMTPUSERID", "SMTPPASSWORD")) {
        return tvOptionsRefusal{
            "Mail Server, User ID, and Password are required for authentication.", kMbOk,
            "SMTPQAUTH"};
    }
    if (IsOn(options, "QENABLERECV") && AnyEmpty(options, "MAILSERVER", "USERID", "PASSWORD")) {
        return tvOptionsRefusal{
            "Mail Server, User ID, and Password are required to enable inbound.", kMbOk,
            "QENABLERECV"};
    }
    return std::nullopt;
}

std::optional<tvOptionsRefusal> ApplyImportDirectory(cvRec& options, const std::string& entry) {
    if (entry.empty()) {
        if (IsOn(options, "QENABLEIMPORT")) {
            return tvOptionsRefusal{"An import directory is required", kExclamation, "IMPORTDIR"};
        }
        return std::nullopt;
    }
    std::string directory = entry;
    if (directory.back() != '/') {
        directory += '/';
    }
    static_cast<void>(PutConfigText(options, "IMPORTDIR", directory));
    return std::nullopt;
}

bool GatewayPageShown(bool alarm_watch, bool file_gateway) {
    return alarm_watch || file_gateway;
}

std::optional<tvOptionsRefusal> CheckModemPort(int32_t port) {
    for (const cvValueEntry& entry : ModemPortValues()) {
        if (entry.text && entry.value == port) {
            return std::nullopt;
        }
    }
    return tvOptionsRefusal{"Selection required", kExclamation, "PORT"};
}
