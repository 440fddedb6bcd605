#include "generate/guard_secret.h"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>

#include "model/error.h"

namespace qp {

std::string MakeGuardSecret() {
    unsigned char key[32];
    std::size_t got = 0;
    while (got < sizeof key) {
        const ssize_t n = ::getrandom(key + got, sizeof key - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw Error("迷惑送信対策の鍵を作るための乱数を取得できませんでした。");
        got += static_cast<std::size_t>(n);
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * sizeof key);
    for (unsigned char b : key) {
        hex.push_back(kHex[b >> 4]);
        hex.push_back(kHex[b & 15]);
    }
    return hex;
}

}  // namespace qp
