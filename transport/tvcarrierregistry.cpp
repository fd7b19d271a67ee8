#include "transport/tvcarrierregistry.h"

#include <utility>

void tvCarrierRegistry::Register(int protocol, tvCarrierFactory factory) {
    factories_[protocol] = std::move(factory);
}

void tvCarrierRegistry::RegisterFallback(tvCarrierFactory factory) {
    fallback_ = std::move(factory);
}

const tvCarrierFactory* tvCarrierRegistry::Find(int protocol) const {
    const auto found = factories_.find(protocol);
    if (found != factories_.end()) {
        return &found->second;
    }
    return fallback_ ? &fallback_ : nullptr;
}

std::vector<int> tvCarrierRegistry::Protocols() const {
    std::vector<int> protocols;
    protocols.reserve(factories_.size());
    for (const auto& [protocol, factory] : factories_) {
        protocols.push_back(protocol);
    }
    return protocols;
}
