#!/usr/local/bin/perl --
BEGIN { my $f = __FILE__; for (1 .. 40) { my $l = readlink $f; last unless defined $l; $f =~ s{[^/]*\z}{}; $f = $l =~ m{\A/} ? $l : $f . $l } unshift @INC, $f =~ m{\A(.*)/}s ? $1 : '.' }
use Quillpost;
my $items = [
  {
    ATTR => 'item1',
    TYPE => 'TEXT',
    NAME => 'ご意見',
    REQUIRED => 0,
    SIZE_CONSTRAINT => 0,
    CONVERT => [
      ],
    CONSTRAINT_REGEXP =><<__END__,
^[a-zA-Z]*\$
__END__
    CONSTRAINT_REGEXP_ERROR =><<__END__,
半角英字のみです。
__END__
  },
];
my $mail = {
  SENDMAIL => '/usr/lib/sendmail',
  ADMIN => {
    FROM => 'form@example.com',
    TO => 'admin@example.com',
    SUBJECT =><<__END__,
ご意見
__END__
  },
};
my $html = {
  FORM =><<__END__,
<p>フォーム</p>
__END__
  CONFIRM =><<__END__,
__END__
  FINISH =><<__END__,
<p>完了しました。</p>
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
