#pragma once
// Two makes of one project differ only in the guard secret: compare them with it blanked.
#include <string>

namespace qp::test {

// The text with the 64 hex digits after "SECRET => '" replaced by zeros.
std::string MaskGuardSecret(std::string text);

// A fixed secret for tests that need the same script twice.
inline const std::string kTestGuardSecret(64, 'a');

}  // namespace qp::test
