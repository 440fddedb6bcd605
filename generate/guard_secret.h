#pragma once
// The key that a made script signs its form tokens and hashes visitor addresses with.
#include <string>

namespace qp {

// 32 bytes of the system's cryptographic random source as 64 hex digits; raises Error when
// the source gives none (there is no weaker fallback).
std::string MakeGuardSecret();

}  // namespace qp
