#pragma once
// How the program sets up its name resolver and its mail carrier's waits.
//
// The product uses the defaults: name servers from /etc/resolv.conf, asked on port 53,
// each answer awaited 5 s; mail server replies awaited 90 s, a connection or a TLS
// handshake 30 s. A build made with the tests (TOLVANE_TESTS on, which defines
// TOLVANE_TEST_OVERRIDES for this file) also reads four environment variables, so
// that whole-program tests can point the server at loopback peers and shorten its
// waits; a build without the tests ignores them:
//   TOLVANE_TEST_RESOLV_CONF      the resolver configuration file
//   TOLVANE_TEST_DNS_PORT         the port the name servers are asked on
//   TOLVANE_TEST_DNS_TIMEOUT_MS   the wait for each name-server answer
//   TOLVANE_TEST_SMTP_TIMEOUT_MS  the mail server's reply, connect and TLS waits

#include <memory>

#include "transport/cdns.h"
#include "transport/csmtpconnection.h"

CDNS::Config ResolverConfig();
SmtpTimeouts MailTimeouts();
// A resolver with ResolverConfig(), its name servers read.
std::unique_ptr<CDNS> MakeResolver();
