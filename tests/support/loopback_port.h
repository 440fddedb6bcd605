#pragma once
// Loopback ports for the servers the tests start: a free one to give a server, and whether
// something answers on one.

namespace qp::test {

// A port on 127.0.0.1 that nothing listens on now. Raises std::runtime_error when none is given.
int FreeLoopbackPort();
// Whether a connection to 127.0.0.1:port is accepted.
bool AcceptsOnLoopback(int port);

}  // namespace qp::test
