#include "support/guard_secret_mask.h"

namespace qp::test {

std::string MaskGuardSecret(std::string text) {
    static const std::string kKey = "SECRET => '";
    for (std::size_t at = text.find(kKey); at != std::string::npos; at = text.find(kKey, at + 1)) {
        const std::size_t start = at + kKey.size();
        for (std::size_t i = start; i < text.size() && i < start + 64 && text[i] != '\''; ++i) text[i] = '0';
    }
    return text;
}

}  // namespace qp::test
