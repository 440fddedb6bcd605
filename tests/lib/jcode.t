# The Japanese text helpers: the seven conversions on EUC-JP text (character by character,
# never across a character boundary) and EUC-JP to UTF-8 with the extension characters.
use strict;
use warnings;
use utf8;
use Test::More;
use Encode ();
use Unicode::Normalize qw(NFKC);
use FindBin;
use lib $FindBin::Bin;
use QpCgi qw(e u);
binmode(Test::More->builder->$_, ':encoding(UTF-8)') for qw(output failure_output todo_output);

require((QpCgi::runtime_dir()) . '/jcode.pl');
my $J = 'Quillpost::Jcode';
sub conv { my ($f, $text) = @_; u($J->can($f)->(e($text))) }

subtest 'digits and hyphens' => sub {
  is(conv('zen_num_hyphen_to_han', '〒１２３－４５６７‐８―９０'), '〒123-4567-8-90');
  is(conv('han_num_hyphen_to_zen', 'TEL 03-1234'), 'TEL ０３－１２３４');
  is(conv('hyphen_delete', '03-1234－5678‐9―0'), '031234567890');
  # 0xB0A3 0xB0A1 (亜 after 旭-like bytes) holds the byte pair A3 B0 across the boundary,
  # which a byte-wise replacement would take for a full-width zero.
  my $tricky = "\xB0\xA3\xB0\xA1";
  is($J->can('zen_num_hyphen_to_han')->($tricky), $tricky, 'no match across characters');
  is($J->can('hyphen_delete')->("\xA1\xA1\xDD\xA4"), "\xA1\xA1\xDD\xA4",
     'the bytes of a minus inside two characters stay');
};

subtest 'letters' => sub {
  is(conv('zen_alphabet_to_han', 'ＡｂＣ　ｘＹｚ１＠'), 'AbC　xYz１＠', 'letters only');
  is(conv('han_alphabet_to_zen', 'Abc-1 xyZ'), 'Ａｂｃ-1 ｘｙＺ');
  is(conv('zen_alphabet_to_han', conv('han_alphabet_to_zen', join '', 'a' .. 'z', 'A' .. 'Z')),
     join('', 'a' .. 'z', 'A' .. 'Z'), 'the two directions are inverse');
};

subtest 'half-width kana' => sub {
  # Every half-width kana, alone and with each voicing mark, against Unicode's own
  # compatibility mapping (which composes the marks).
  for my $code (0xFF61 .. 0xFF9D) {
    my $kana = chr $code;
    is(conv('han_kana_to_zen', $kana), NFKC($kana), sprintf('U+%04X', $code));
    for my $mark ("\x{FF9E}", "\x{FF9F}") {
      my $expected = NFKC($kana . $mark);
      # A mark that cannot join stays a separate full-width mark; so does one whose joined
      # form (ヷ ヸ ヹ ヺ) has no JIS X 0208 code.
      $expected =~ s/([\x{30F7}-\x{30FA}])/NFKC(chr(ord($1) - 8)) . "\x{3099}"/e;
      $expected =~ s/\x{3099}/\x{309B}/;
      $expected =~ s/\x{309A}/\x{309C}/;
      is(conv('han_kana_to_zen', $kana . $mark), $expected, sprintf('U+%04X with a mark', $code));
    }
  }
  is(conv('han_kana_to_zen', 'ﾞﾟ'), '゛゜', 'lone marks');
  is(conv('han_kana_to_zen', 'abcｱ漢字'), 'abcア漢字', 'other characters stay');
};

subtest 'strip' => sub {
  is(conv('strip', " \t　山田　太郎 　\r\n"), '山田　太郎');
  is(conv('strip', '　　'), '');
  # ぁ ends with the byte A1; with a full-width space after it the last two bytes are
  # A1 A1 only as part of that space.
  is($J->can('strip')->("\xA4\xA1\xA1\xA1"), "\xA4\xA1");
  is($J->can('strip')->("\xA1\xA1\xB0\xA1 "), "\xB0\xA1", 'a character ending in A1 stays');
  is($J->can('strip')->(undef), '', 'undef gives the empty text');
};

subtest 'EUC-JP to UTF-8' => sub {
  my $text = '①Ⅰ㈱髙﨑纊ⅰ￤～－ｶﾞ漢字abc';
  is(Encode::decode('UTF-8', $J->can('euc_to_utf8')->(e($text))), $text,
     'NEC and IBM extensions as the make writes them');
  # Browsers send the NEC-selected IBM extensions as JIS rows 89 to 92.
  is(Encode::decode('UTF-8', $J->can('euc_to_utf8')->("\xF9\xA1\xFC\xEE")), '纊黑',
     'rows 89 to 92');
  is(Encode::decode('UTF-8', $J->can('euc_to_utf8')->("a\xFFb\xA4")), "a\x{FFFD}b\x{FFFD}",
     'broken bytes become replacement characters, the rest stays');
  is($J->can('euc_to_utf8')->(''), '', 'empty');
};

done_testing;
