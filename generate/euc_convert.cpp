#include "generate/euc_convert.h"

#include <new>

#include "model/charset.h"

namespace qp {

std::string ConvertSjisToEuc(std::string_view text) {
    const std::size_t zero = text.find('\0');
    if (zero != std::string_view::npos) text = text.substr(0, zero);
    try {
        return charset::SjisToEucJp(text);
    } catch (const charset::CharsetError& e) {
        if (e.GetKind() == charset::CharsetError::Kind::OpenFailed) {
            throw Error("IEコンポーネントの初期化に失敗しました。(1)");
        }
        // The make's own words first, then the character at fault, so the user can find it.
        throw Error(std::string("IEコンポーネントによる変換に失敗しました。\n") + e.Message());
    } catch (const std::bad_alloc&) {
        throw Error("IEコンポーネントのメモリ確保に失敗しました。");
    }
}

}  // namespace qp
