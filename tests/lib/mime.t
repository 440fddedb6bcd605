# Header encoding and whole messages: encoded words of whole characters within the RFC
# 2047 limits, lines that fit, and a body that decodes back to the text.
use strict;
use warnings;
use utf8;
use Test::More;
use Encode ();
use MIME::Base64 qw(decode_base64);
use FindBin;
use lib $FindBin::Bin;
use QpCgi qw(parse_mail);
binmode(Test::More->builder->$_, ':encoding(UTF-8)') for qw(output failure_output todo_output);

require((QpCgi::runtime_dir()) . '/mimew.pl');

# Checks one folded field and returns its decoded value.
sub check_field {
  my ($field, $label) = @_;
  like($field, qr/\n\z/, "$label: ends with LF");
  my @lines = split /\n/, $field;
  ok(!grep({ length($_) > 76 } @lines), "$label: no line over 76") or diag $field;
  ok(!grep({ !/\A /} @lines[1 .. $#lines]), "$label: continuation lines start with a blank");
  my $decoded = '';
  for my $word ($field =~ /(=\?[^?]+\?[BbQq]\?[^?]*\?=)/g) {
    ok(length($word) <= 75, "$label: word within 75") or diag $word;
    my ($b64) = $word =~ /\?B\?([^?]*)\?=/;
    my $bytes = decode_base64($b64);
    my $text = eval { Encode::decode('UTF-8', $bytes, Encode::FB_CROAK) };
    ok(defined $text, "$label: each word holds whole characters") or diag $word;
    $decoded .= $text if defined $text;
  }
  return $decoded;
}

subtest 'long Japanese subject' => sub {
  for my $n (1, 13, 14, 15, 40, 101) {
    my $subject = join '', map { ('あ', '髙', '①', 'ｶ', 'A', '𠮷')[$_ % 6] } 1 .. $n;
    my $field = Quillpost::Mime::header_field('Subject', Encode::encode('UTF-8', $subject));
    like($field, qr/\ASubject: =\?UTF-8\?B\?/, "$n characters: encoded");
    is(check_field($field, "$n characters"), $subject, "$n characters: decodes back");
  }
};

subtest 'plain values' => sub {
  is(Quillpost::Mime::header_field('To', 'admin@example.com'), "To: admin\@example.com\n",
     'a plain address stays as it is');
  my $tricky = Quillpost::Mime::header_field('Subject', '=?UTF-8?B?AAAA?= hello');
  isnt($tricky, "Subject: =?UTF-8?B?AAAA?= hello\n", 'text that looks encoded is encoded');
  is(check_field($tricky, 'look-alike'), '=?UTF-8?B?AAAA?= hello');
  my $long = 'x' x 90;
  is(check_field(Quillpost::Mime::header_field('Subject', $long), 'long ASCII'), $long);
};

subtest 'whole message' => sub {
  my $body = "一行目\n二行目①髙\n";
  my $raw = Quillpost::Mime::message(from => 'a@example.com', to => 'b@example.org',
    subject => Encode::encode('UTF-8', 'お問い合わせ'), body => Encode::encode('UTF-8', $body));
  my $mail = parse_mail($raw);
  is($mail->{header}{from}, 'a@example.com');
  is($mail->{header}{to}, 'b@example.org');
  is($mail->{header}{subject}, 'お問い合わせ');
  is($mail->{header}{'mime-version'}, '1.0');
  is($mail->{header}{'content-type'}, 'text/plain; charset=UTF-8');
  is($mail->{header}{'content-transfer-encoding'}, 'base64');
  like($mail->{header}{date},
       qr/\A(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d (?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d [+-]\d{4}\z/);
  like($mail->{header}{'message-id'}, qr/\A<[^<>\s]+\@example\.com>\z/);
  is($mail->{body}, "一行目\r\n二行目①髙\r\n", 'the body in canonical CR LF form');
  ok(!grep({ length($_) > 76 } split /\n/, $raw), 'no line over 76');
  unlike($raw, qr/\r/, 'LF line ends for sendmail');
};

subtest 'date offset' => sub {
  local $ENV{TZ} = 'Asia/Tokyo';
  like(Quillpost::Mime::date(0), qr/\AThu, 01 Jan 1970 09:00:00 \+0900\z/);
  local $ENV{TZ} = 'America/New_York';
  like(Quillpost::Mime::date(0), qr/\AWed, 31 Dec 1969 19:00:00 -0500\z/);
};

done_testing;
