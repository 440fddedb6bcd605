#!/usr/bin/perl --
BEGIN { my $f = __FILE__; for (1 .. 40) { my $l = readlink $f; last unless defined $l; $f =~ s{[^/]*\z}{}; $f = $l =~ m{\A/} ? $l : $f . $l } unshift @INC, $f =~ m{\A(.*)/}s ? $1 : '.' }
use Quillpost;
my $items = [
];
my $mail = {
  SENDMAIL => '/usr/lib/sendmail',
  ADMIN => {
    FROM => '',
    TO => '',
    SUBJECT =><<__END__,

__END__
  },
};
my $html = {
  FORM =><<__END__,

__END__
  CONFIRM =><<__END__,
__END__
  FINISH =><<__END__,

__END__
};
my $guard = {
  SECRET => 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa',
  USE_TOKEN => 1,
  MIN_SECONDS => 3,
  TOKEN_HOURS => 24,
  USE_HONEYPOT => 1,
  LIMIT_COUNT => 5,
  LIMIT_MINUTES => 60,
  REPLY_LIMIT => 2,
  VISITOR_FROM => 0,
  REPLY_PER_HOUR => 20,
  REPLY_ECHO_CHARS => 500,
  ENVELOPE_FROM => '',
};
my $qpf = Quillpost->new(ITEMS => $items, HTML => $html, MAIL => $mail, GUARD => $guard);
print $qpf->run();
