#pragma once
// A form item of a kind for a test: its name attribute and its display name given in UTF-8.
#include <memory>

#include "support/sjis_literal.h"

namespace qp::test {

template <class T>
std::unique_ptr<T> Item(const char* attr, const char* nameUtf8) {
    auto item = std::make_unique<T>(attr);
    item->SetNameValue(S(nameUtf8));
    return item;
}

}  // namespace qp::test
