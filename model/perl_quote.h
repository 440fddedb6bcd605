#pragma once
// Quoting of project texts for the generated Perl script (Shift_JIS, character-wise).
#include <string>
#include <string_view>

namespace qp {

// Makes a text stand for itself inside an interpolating <<__END__ here-document:
// a backslash before every "\", "@" and "$", and a line that reads "__END__" alone
// written as "\__END__" so that it cannot close the here-document early.
std::string QuotePerlHeredoc(std::string_view text);

// Makes a text stand for itself between single quotes: a backslash before every "\"
// and every "'".
std::string QuotePerlSingle(std::string_view text);

}  // namespace qp
