# Japanese text helpers of the form-mail runtime: width conversions on EUC-JP or UTF-8 text
# and EUC-JP to UTF-8 that keeps the NEC and IBM extension characters (circled digits, Roman numerals, and so on).
# The file is plain ASCII so that any transfer mode leaves it intact; all tables are hex.
package Quillpost::Jcode;
use strict;
use warnings;

# True while a UTF-8 script runs (set by Quillpost for the run): the conversions then take
# and return UTF-8. Declared without a value, so that loading this file late keeps it.
our $UTF8;

# One EUC-JP character, or a single stray byte so that broken text still steps forward.
my $CHAR = qr/\x8E[\xA1-\xDF]|\x8F[\xA1-\xFE][\xA1-\xFE]|[\xA1-\xFE][\xA1-\xFE]|[\x00-\xFF]/;

# Half-width katakana 0xA1..0xDF (after the 0x8E prefix) to their JIS X 0208 forms.
my @KANA = map { pack 'H4', $_ } qw(
  A1A3 A1D6 A1D7 A1A2 A1A6 A5F2 A5A1 A5A3 A5A5 A5A7 A5A9 A5E3 A5E5 A5E7 A5C3 A1BC
  A5A2 A5A4 A5A6 A5A8 A5AA A5AB A5AD A5AF A5B1 A5B3 A5B5 A5B7 A5B9 A5BB A5BD A5BF
  A5C1 A5C4 A5C6 A5C8 A5CA A5CB A5CC A5CD A5CE A5CF A5D2 A5D5 A5D8 A5DB A5DE A5DF
  A5E0 A5E1 A5E2 A5E4 A5E6 A5E8 A5E9 A5EA A5EB A5EC A5ED A5EF A5F3 A1AB A1AC);

my (%zen_num_hyphen, %han_num_hyphen, %hyphens, %zen_alpha, %han_alpha, %han_kana);

# The full-width hyphen-like characters taken for a hyphen: minus 0xA1DD, hyphen 0xA1BE, dash 0xA1BD.
my @ZEN_HYPHENS = ("\xA1\xDD", "\xA1\xBE", "\xA1\xBD");

for my $d (0 .. 9) {
  $zen_num_hyphen{"\xA3" . chr(0xB0 + $d)} = chr(0x30 + $d);
  $han_num_hyphen{chr(0x30 + $d)} = "\xA3" . chr(0xB0 + $d);
}
$zen_num_hyphen{$_} = '-' for @ZEN_HYPHENS;
$han_num_hyphen{'-'} = "\xA1\xDD";
$hyphens{$_} = '' for '-', @ZEN_HYPHENS;
for my $i (0 .. 25) {
  for my $base (0x41, 0x61) {
    $zen_alpha{"\xA3" . chr($base + 0x80 + $i)} = chr($base + $i);
    $han_alpha{chr($base + $i)} = "\xA3" . chr($base + 0x80 + $i);
  }
}
for my $i (0 .. $#KANA) {
  $han_kana{"\x8E" . chr(0xA1 + $i)} = $KANA[$i];
}
# A voiced (dakuten, 0xDE) or semi-voiced (handakuten, 0xDF) mark after a kana joins it.
for my $i (0xB6 .. 0xC4, 0xCA .. 0xCE) {
  my $full = $han_kana{"\x8E" . chr($i)};
  $han_kana{"\x8E" . chr($i) . "\x8E\xDE"} = substr($full, 0, 1) . chr(ord(substr($full, 1)) + 1);
}
for my $i (0xCA .. 0xCE) {
  my $full = $han_kana{"\x8E" . chr($i)};
  $han_kana{"\x8E" . chr($i) . "\x8E\xDF"} = substr($full, 0, 1) . chr(ord(substr($full, 1)) + 2);
}
$han_kana{"\x8E\xB3\x8E\xDE"} = "\xA5\xF4";    # U with a voiced mark

my $KANA_PAIR = qr/\x8E[\xB3\xB6-\xC4\xCA-\xCE]\x8E\xDE|\x8E[\xCA-\xCE]\x8E\xDF/;

# A numeric character reference, which a browser sends for a character that EUC-JP cannot
# hold: one token, so that no conversion turns its digits or letters into other characters.
my $REFERENCE = qr/&#(?:[0-9]{1,8}|[xX][0-9A-Fa-f]{1,6});/;

my %TABLES = (
  zen_num_hyphen => \%zen_num_hyphen, han_num_hyphen => \%han_num_hyphen, hyphens => \%hyphens,
  zen_alpha => \%zen_alpha, han_alpha => \%han_alpha, han_kana => \%han_kana,
);
my %TOKENS = (han_kana => qr/$REFERENCE|$KANA_PAIR|$CHAR/);

sub _map {
  my ($name, $text) = @_;
  return '' unless defined $text;
  my ($table, $token) = $UTF8 ? @{_utf8_table($name)}
                              : ($TABLES{$name}, $TOKENS{$name} || qr/$REFERENCE|$CHAR/);
  $text =~ s/($token)/exists $table->{$1} ? $table->{$1} : $1/ge;
  return $text;
}

sub zen_num_hyphen_to_han { _map('zen_num_hyphen', $_[0]) }
sub han_num_hyphen_to_zen { _map('han_num_hyphen', $_[0]) }
sub hyphen_delete         { _map('hyphens',        $_[0]) }
sub zen_alphabet_to_han   { _map('zen_alpha',      $_[0]) }
sub han_alphabet_to_zen   { _map('han_alpha',      $_[0]) }
sub han_kana_to_zen       { _map('han_kana',       $_[0]) }

# One UTF-8 character, or a single stray byte.
my $UTF8_CHAR = qr/[\xC0-\xDF][\x80-\xBF]|[\xE0-\xEF][\x80-\xBF]{2}|[\xF0-\xF7][\x80-\xBF]{3}|[\x00-\xFF]/;

# Hyphen-like characters that keyboards of other systems give for the same keys: the minus
# sign U+2212 and the em dash U+2014.
my @UTF8_HYPHENS = ("\xE2\x88\x92", "\xE2\x80\x94");

# The code points of the EUC-JP row 1 symbols that the tables hold (as CP932 maps them).
my %ROW1 = (
  A1A2 => 0x3001, A1A3 => 0x3002, A1A6 => 0x30FB, A1AB => 0x309B, A1AC => 0x309C,
  A1BC => 0x30FC, A1BD => 0x2015, A1BE => 0x2010, A1D6 => 0x300C, A1D7 => 0x300D, A1DD => 0xFF0D,
);

# A table text in UTF-8, by arithmetic: the tables hold only ASCII, half-width kana, row 1
# symbols, full-width digits and letters (row 3) and katakana (row 5). Loading Encode for
# them would cost a UTF-8 run more than the whole conversion.
sub _table_text_to_utf8 {
  my ($text) = @_;
  my $out = '';
  for my $c ($text =~ /($CHAR)/g) {
    my ($b0, $b1) = map { ord } split //, $c;
    my $code = $b0 < 0x80 ? $b0
             : $b0 == 0x8E ? 0xFF61 + $b1 - 0xA1
             : $b0 == 0xA3 ? ($b1 < 0xC1 ? 0xFF10 + $b1 - 0xB0 : $b1 < 0xE1 ? 0xFF21 + $b1 - 0xC1
                                                             : 0xFF41 + $b1 - 0xE1)
             : $b0 == 0xA5 ? 0x30A1 + $b1 - 0xA1
             : $ROW1{uc unpack 'H4', $c} || die "jcode.pl: no UTF-8 form for a table character\n";
    my $char = chr $code;
    utf8::encode($char);
    $out .= $char;
  }
  return $out;
}

my %utf8_tables;

# The UTF-8 form of one table and the token that steps over its keys; made on first use.
sub _utf8_table {
  my ($name) = @_;
  return $utf8_tables{$name} ||= do {
    my $euc = $TABLES{$name};
    my %table = map { (_table_text_to_utf8($_), _table_text_to_utf8($euc->{$_})) } keys %$euc;
    if ($name eq 'hyphens' || $name eq 'zen_num_hyphen') {
      $table{$_} = $name eq 'hyphens' ? '' : '-' for @UTF8_HYPHENS;
    }
    my @pairs = sort { length $b <=> length $a } grep { !/\A$UTF8_CHAR\z/ } keys %table;
    my $pairs = join '|', map { quotemeta } @pairs;
    [\%table, @pairs ? qr/$pairs|$UTF8_CHAR/ : $UTF8_CHAR];
  };
}

# Leading and trailing blanks: ASCII white space and the full-width space (0xA1A1, U+3000).
sub strip {
  my ($text) = @_;
  return '' unless defined $text;
  # Blanks are taken off in bounded runs, one character at a time at the end: an unbounded
  # repeated group stops at perl's recursion limit with a warning that a visitor could write
  # into the error log, and one anchored at the end is tried from every blank of the text.
  if ($UTF8) {
    # No UTF-8 character ends in the bytes of U+3000, so the ends can be cut directly.
    1 while $text =~ s/\A(?:[ \t\r\n\f\x0B]|\xE3\x80\x80){1,4096}//;
    while (length $text) {
      if (substr($text, -1) =~ /\A[ \t\r\n\f\x0B]\z/) { chop $text }
      elsif (substr($text, -3) eq "\xE3\x80\x80") { substr($text, -3) = '' }
      else { last }
    }
    return $text;
  }
  1 while $text =~ s/\A(?:[ \t\r\n\f\x0B]|\xA1\xA1){1,4096}//;
  # Trailing blanks are found by stepping over whole characters, so that the second byte
  # of a character ending in 0xA1 is never taken for half of a full-width space.
  my @chars = $text =~ /($CHAR)/g;
  pop @chars while @chars && $chars[-1] =~ /\A(?:[ \t\r\n\f\x0B]|\xA1\xA1)\z/;
  return join '', @chars;
}

# JIS X 0212 codes (SS3, without the 0x8F prefix) that the EUC-JP-MS form of Windows text
# uses for the IBM extension characters, each followed by the CP932 code of the same
# character. Derived from the CP932 and EUC-JP-MS conversion tables.
my $SS3_TABLE = <<'END_OF_TABLE';
A2C3FA55 B0A9FA68 B0C8FA69 B0D2FA6B B0D4FA6C B0E3FA6D B0EEFA6E B1A3FA70 B1A7FA6F B1A9FA72
B1ACFA71 B1BBFA61 B1BEFA73 B1C8FA76 B1D7FA77 B1D8FA75 B1DFFA74 B1E1FA7A B1E3FA78 B1F4FA79
B2A3FA7B B2BBFA7D B2E6FA7E B2EDFA80 B2F5FA81 B2FCFA82 B3B5FA84 B3D8FA85 B3DBFA86 B3DDFB77
B3E5FA87 B3EEFA88 B3FBFA89 B4C0FA8C B4C7FA8D B4D0FA8E B4DEFA8F B5AAFA91 B5AFFA93 B5C4FA94
B5E8FA95 B7C2FA97 B7E4FA98 B7E7FA9A B7E8FA99 B8CEFA9E B8E1FA9F B8F5FAA0 B8F7FAA1 B8F8FAA2
B8FCFAA3 B9AFFAA4 B9B7FAA5 BABEFAA6 BADBFAA7 BAE1FAA9 BAEBFAAB BBB3FAAC BBB8FAAD BBCAFAAF
BBD0FAB2 BBDEFAB3 BBF4FAB4 BBF5FAB5 BBF9FAB6 BCE4FAB7 BCEDFAB8 BCF4FA67 BCFEFAB9 BDC2FABB
BDE7FABC BDF0FABE BEACFAC0 BEB0FABF BEB3FAC2 BEBDFAC3 BEC9FAC5 BECDFAC4 BEE4FAC6 BFA8FAC7
BFC9FAC8 C0C4FAC9 C0E4FACA C0F4FACB C1A6FACC C1F5FACE C1F8FAD1 C1FCFACF C2A1FAD3 C2A5FAD4
C2ABFAD2 C2ADFA63 C2B8FAD6 C2BAFAD7 C2BFFA66 C2C4FAD9 C2D2FADA C2D7FADB C2DBFADC C2DEFADD
C2EDFADE C2F0FADF C3A1FAE1 C3B5FAE2 C3B9FAE4 C3C9FAE3 C3D8FAE6 C3FCFA64 C3FEFAE7 C4CCFAE9
C4D9FAEB C4EAFAEC C4FDFAED C5A7FAEF C5B5FAF0 C5B6FAF1 C5D5FAF3 C6B8FAF4 C6D7FAF5 C6E0FAF6
C6E3FAF8 C6EAFAF7 C7A1FAF9 C7ABFAFA C7C3FAFC C7C7FAFB C7CBFB40 C7CFFB41 C7D9FB42 C7E6FB45
C7EBFB48 C7EEFB46 C7F0FB49 C7FCFB47 C8B1FB4A C8E5FB4B C8F8FB4C C9A6FB4D C9ABFB4E C9ADFB4F
C9CAFB51 C9D3FB52 C9E3FB54 C9E9FB53 C9F4FB56 C9F5FB57 C9FCFB55 CAB3FB59 CABDFB5A CAEFFB5B
CAF1FB5C CBAEFB5D CBCAFB5F CBE6FB60 CBEAFB61 CBEEFB64 CBF0FB62 CBF4FB63 CBF9FB66 CCA5FB65
CCABFB67 CCADFB69 CCAEFB68 CCB2FB6A CCC2FB6B CCD0FB6C CCD9FB6D CDAAFAA8 CDBBFB6F CEBAFB73
CEBBFB71 CEC3FB74 CEF2FB76 CFD5FB78 CFE2FB79 CFE9FB7A CFEDFB7B D0E5FB81 D0E9FB83 D1E8FB84
D1ECFB87 D2BBFB88 D3E1FB8A D3E8FB8B D4A7FB8C D4D4FB8F D4E3FA5C D4F2FB90 D5AEFB91 D7DEFB93
D8A2FB95 D8B7FB96 D8C1FB97 D8D1FB98 D8F4FB99 D9A1FA60 D9C6FB9A D9C8FB9B D9D1FB9C DCD3FBA2
DCDFFA5D DDC8FBA3 DDD4FBA4 DDEAFBA5 DDFAFBA6 DEA4FBA7 DEB0FBA8 DEB5FBAA DECBFBAB DFB9FBAD
DFC3FBAF E0D9FBB2 E1E2FBB5 E2C7FBB9 E3A6FBBB E3A8FBBA E3A9FBBC E3AAFBBF E3ABFBC0 E3AFFBBD
E3B0FBBE E3BCFBC1 E3BFFBC3 E3C1FBC2 E3D4FBCA E3D5FBC4 E3D6FBC6 E3D8FBC5 E3DFFBC7 E3E1FBC9
E3E3FBC8 E3E9FBCB E3F1FBCD E3F2FBCE E3F8FA5F E4A6FBCC E4BEFBD2 E4BFFBD6 E4C0FBD4 E4C1FBD0
E4C3FBD1 E4C7FBD5 E4CBFBCF E4D0FA65 E4D1FBD9 E4D2FBDC E4D4FBDE E4DBFBDD E4DCFBDB E4DEFBD8
E4E0FBD7 E4E9FA5E E4EFFBE0 E4FAFBDF E5B3FBE1 E5BFFBE2 E5C9FBE3 E5D0FBE4 E5E2FBE5 E5EAFBE6
E5EBFBE7 E6E8FBEB E6EFFBEC E7ACFBED E7AEFBEF E7B1FBF1 E7B2FBF3 E8B1FBF4 E8B6FBF5 E8DDFBF8
E9D1FBFB E9EDFC40 EACDFC41 EADBFC43 EAE6FC44 EAEAFC45 EBA5FC46 EBFAFC48 EBFBFC47 ECD6FC4A
F3F3FA40 F3F4FA41 F3F5FA42 F3F6FA43 F3F7FA44 F3F8FA45 F3F9FA46 F3FAFA47 F3FBFA48 F3FCFA49
F4A9FA56 F4AAFA57 F4AEFA62 F4AFFA6A F4B0FA7C F4B1FA83 F4B2FA8A F4B3FA8B F4B4FA90 F4B5FA92
F4B6FA96 F4B7FA9B F4B8FA9C F4B9FA9D F4BAFAAA F4BBFAAE F4BCFAB0 F4BDFAB1 F4BEFABA F4BFFABD
F4C0FAC1 F4C1FACD F4C2FAD0 F4C3FAD5 F4C4FAD8 F4C5FAE0 F4C6FAE5 F4C7FAE8 F4C8FAEA F4C9FAEE
F4CAFAF2 F4CBFB43 F4CCFB44 F4CDFB50 F4CEFB58 F4CFFB5E F4D0FB6E F4D1FB70 F4D2FB72 F4D3FB75
F4D4FB7C F4D5FB7D F4D6FB7E F4D7FB80 F4D8FB82 F4D9FB85 F4DAFB86 F4DBFB89 F4DCFB8D F4DDFB8E
F4DEFB92 F4DFFB94 F4E0FB9D F4E1FB9E F4E2FB9F F4E3FBA0 F4E4FBA1 F4E5FBA9 F4E6FBAC F4E7FBAE
F4E8FBB0 F4E9FBB1 F4EAFBB3 F4EBFBB4 F4ECFBB6 F4EDFBB7 F4EEFBB8 F4EFFBD3 F4F0FBDA F4F1FBE8
F4F2FBE9 F4F3FBEA F4F4FBEE F4F5FBF0 F4F6FBF2 F4F7FBF6 F4F8FBF7 F4F9FBF9 F4FAFBFA F4FBFBFC
F4FCFC42 F4FDFC49 F4FEFC4B
END_OF_TABLE

my %ss3_to_cp932;

sub _jis_to_sjis {
  my ($j1, $j2) = @_;
  my $s1 = (($j1 + 1) >> 1) + ($j1 <= 0x5E ? 0x70 : 0xB0);
  my $s2 = ($j1 & 1) ? $j2 + ($j2 <= 0x5F ? 0x1F : 0x20) : $j2 + 0x7E;
  return chr($s1) . chr($s2);
}

# EUC-JP text to UTF-8 bytes. JIS X 0208 (with the NEC row 13 and the NEC-selected IBM rows
# 89 to 92 that browsers send) goes through the Shift_JIS arithmetic and Windows' CP932 table;
# the SS3 codes of the IBM extensions come from the table above; other JIS X 0212 characters
# from Encode's EUC-JP. Anything without a character becomes U+FFFD, never a lost byte run.
sub euc_to_utf8 {
  my ($text) = @_;
  return '' unless defined $text && length $text;
  require Encode;
  unless (%ss3_to_cp932) {
    for my $pair (split ' ', $SS3_TABLE) {
      $ss3_to_cp932{pack 'H4', substr($pair, 0, 4)} = pack 'H4', substr($pair, 4, 4);
    }
  }
  my $out = '';
  my $sjis = '';
  my $flush = sub {
    if (length $sjis) {
      $out .= Encode::decode('cp932', $sjis);
      $sjis = '';
    }
  };
  for my $c ($text =~ /($CHAR)/g) {
    my $n = length $c;
    my $b0 = ord $c;
    if ($b0 < 0x80) {
      $sjis .= $c;
    } elsif ($n == 2 && $b0 == 0x8E) {
      $sjis .= substr($c, 1);
    } elsif ($n == 2) {
      $sjis .= _jis_to_sjis($b0 - 0x80, ord(substr($c, 1)) - 0x80);
    } elsif ($n == 3 && exists $ss3_to_cp932{substr($c, 1)}) {
      $sjis .= $ss3_to_cp932{substr($c, 1)};
    } elsif ($n == 3) {
      $flush->();
      $out .= Encode::decode('euc-jp', $c);
    } else {
      $flush->();
      $out .= "\x{FFFD}";
    }
  }
  $flush->();
  return Encode::encode('UTF-8', $out);
}

1;
