#pragma once
// The carriers this program carries, by protocol number, and the name resolver the
// engine starts with. Every program that runs an engine (the headless server, the
// window) fills one registry with RegisterCarriers and hands it to the engine.
//
// Adding a carrier: its files under transport/ and one line in RegisterCarriers.

#include <memory>

#include "transport/tvcarrierregistry.h"
#include "transport/tvresolver.h"

void RegisterCarriers(tvCarrierRegistry& registry);

// The resolver of the engine's mail networks: the name servers of this machine (see
// tvmailsetup.h).
std::unique_ptr<tvResolver> MakeNameResolver();
