#include "transport/tvunavailablecarrier.h"

#include <utility>

tvUnavailableCarrier::tvUnavailableCarrier(tvTransportHost& host, const tvCarrierTraits& traits,
                                           std::string error, std::string status_prefix)
    : host_(host),
      traits_(traits),
      error_(std::move(error)),
      status_prefix_(std::move(status_prefix)) {}

int tvUnavailableCarrier::Connect(const tvCarrierNetwork& network, const tvCarrierSite& site,
                                  std::string* error) {
    static_cast<void>(site);
    if (!status_prefix_.empty()) {
        host_.SetStatusLine(status_prefix_ + network.description);
    }
    if (error != nullptr) {
        *error = error_;
    }
    return 1;
}

tvHandOver tvUnavailableCarrier::Send(SendItem& item) {
    static_cast<void>(item);
    return tvHandOver::kRefused;
}

tvHandOver tvUnavailableCarrier::Query(SendItem& item) {
    static_cast<void>(item);
    return tvHandOver::kRefused;
}

tvHandOver tvUnavailableCarrier::Cancel(SendItem& item) {
    static_cast<void>(item);
    return tvHandOver::kRefused;
}
