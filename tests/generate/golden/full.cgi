#!/usr/bin/perl --
BEGIN { my $f = __FILE__; for (1 .. 40) { my $l = readlink $f; last unless defined $l; $f =~ s{[^/]*\z}{}; $f = $l =~ m{\A/} ? $l : $f . $l } unshift @INC, $f =~ m{\A(.*)/}s ? $1 : '.' }
use Quillpost;
my $items = [
  {
    ATTR => 'name',
    TYPE => 'TEXT',
    NAME => '¤ªÌ¾Á°',
    REQUIRED => 1,
    REQUIRED_ERROR =><<__END__,
¤ªÌ¾Á°¤òÆþÎÏ¤·¤Æ¤¯¤À¤µ¤¤¡£
__END__
    SIZE_CONSTRAINT => 0,
    CONVERT => [
      \&Quillpost::strip,
      \&Quillpost::han_kana_to_zen,
      ],
  },
  {
    ATTR => 'email',
    TYPE => 'TEXT',
    NAME => '¥á¡¼¥ë¥¢¥É¥ì¥¹',
    REQUIRED => 1,
    REQUIRED_ERROR =><<__END__,
¥á¡¼¥ë¥¢¥É¥ì¥¹¤ÏÉ¬¿Ü¤Ç¤¹¡ÊÎã: user\@example.com¡Ë
__END__
    SIZE_CONSTRAINT => 0,
    CONVERT => [
      \&Quillpost::zen_alphabet_to_han,
      \&Quillpost::strip,
      ],
    CONSTRAINT_REGEXP =><<__END__,
[0-9A-Za-z_!#\$%&*+-/=?^_{|}~.]+\@[0-9,A-Z,a-z][0-9,a-z,A-Z,_,.,-]*
__END__
    CONSTRAINT_REGEXP_ERROR =><<__END__,
¥á¡¼¥ë¥¢¥É¥ì¥¹¤Î·Á¼°¤¬°ã¤¤¤Þ¤¹¡£\$ ¤ä \@ ¤Î°ÌÃÖ¤ò³ÎÇ§¤·¤Æ¤¯¤À¤µ¤¤¡£
__END__
  },
  {
    ATTR => 'email2',
    TYPE => 'TEXT',
    NAME => '¥á¡¼¥ë¥¢¥É¥ì¥¹(³ÎÇ§)',
    REQUIRED => 0,
    SIZE_CONSTRAINT => 0,
    CONVERT => [
      ],
    RETYPE_ATTR => 'email',
    RETYPE_ERROR =><<__END__,
³ÎÇ§ÍÑ¤Î¥á¡¼¥ë¥¢¥É¥ì¥¹¤¬°ìÃ×¤·¤Þ¤»¤ó¡£
__END__
  },
  {
    ATTR => 'zip',
    TYPE => 'TEXT',
    NAME => 'Í¹ÊØÈÖ¹æ',
    REQUIRED => 0,
    SIZE_CONSTRAINT => 0,
    CONVERT => [
      \&Quillpost::zen_num_hyphen_to_han,
      ],
    CONSTRAINT_REGEXP =><<__END__,
^\\d{3}-\\d{4}\$
__END__
    CONSTRAINT_REGEXP_ERROR =><<__END__,
Í¹ÊØÈÖ¹æ¤Ï 123-4567 ¤Î·Á¤ÇÆþÎÏ¤·¤Æ¤¯¤À¤µ¤¤¡£
__END__
  },
  {
    ATTR => 'code',
    TYPE => 'TEXT',
    NAME => '²ñ°÷ÈÖ¹æ',
    REQUIRED => 0,
    SIZE_CONSTRAINT => 8,
    SIZE_CONSTRAINT_ERROR =><<__END__,
²ñ°÷ÈÖ¹æ¤Ï8·å¤Þ¤Ç¤Ç¤¹¡£
__END__
    CONVERT => [
      ],
    CONSTRAINT_REGEXP =><<__END__,
^[0-9]*\$
__END__
    CONSTRAINT_REGEXP_ERROR =><<__END__,
²ñ°÷ÈÖ¹æ¤ÏÈ¾³Ñ¿ô»ú¤ÇÆþÎÏ¤·¤Æ¤¯¤À¤µ¤¤¡£
__END__
  },
  {
    ATTR => 'pass',
    TYPE => 'TEXT',
    NAME => '¹ç¸ÀÍÕ',
    REQUIRED => 0,
    SIZE_CONSTRAINT => 0,
    CONVERT => [
      ],
    CONSTRAINT_REGEXP =><<__END__,
^[0-9a-zA-Z]*\$
__END__
    CONSTRAINT_REGEXP_ERROR =><<__END__,
¹ç¸ÀÍÕ¤ÏÈ¾³Ñ±Ñ¿ô»ú¤Ç¤¹¡£
__END__
  },
  {
    ATTR => 'body',
    TYPE => 'TEXTAREA',
    NAME => '¤ªÌä¤¤¹ç¤ï¤»ÆâÍÆ¡ÊÉ½¼¨¡¦¥½¥Õ¥È¡Ë',
    REQUIRED => 1,
    REQUIRED_ERROR =><<__END__,
ÆâÍÆ¤òÆþÎÏ¤·¤Æ¤¯¤À¤µ¤¤¡£
\__END__
\$100 ¤Ï \\100 ¤Ç¤¹¡£
__END__
    SIZE_CONSTRAINT => 2000,
    CONVERT => [
      ],
  },
  {
    ATTR => 'news',
    TYPE => 'CHECKBOX',
    NAME => 'O\'Reilly \\ ¡Ö¥Ë¥å¡¼¥¹¡×',
    REQUIRED => 0,
    VALUE => '¼õ¤±¼è¤ë & <³ÎÇ§>',
    CONVERT => [
      ],
  },
  {
    ATTR => 'kind',
    TYPE => 'RADIO',
    NAME => '¼ïÊÌ',
    REQUIRED => 1,
    REQUIRED_ERROR =><<__END__,
¼ïÊÌ¤òÁª¤ó¤Ç¤¯¤À¤µ¤¤¡£
__END__
    VALUES => [
      '¼ÁÌä',
      '¤´°Õ¸«',
      '<¤½¤ÎÂ¾>',
      ],
    CONVERT => [
      ],
  },
  {
    ATTR => 'pref',
    TYPE => 'POPUPMENU',
    NAME => 'ÅÔÆ»ÉÜ¸©',
    REQUIRED => 0,
    VALUES => [
      'ÅìµþÅÔ',
      'ÂçºåÉÜ',
      'ôûÃÎ¸©­¡',
      ],
    CONVERT => [
      ],
  },
];
my $mail = {
  SENDMAIL => '/usr/sbin/sendmail',
  ADMIN => {
    FROM => '<% email %>',
    TO => 'webmaster@example.com',
    SUBJECT =><<__END__,
[¤ªÌä¤¤¹ç¤ï¤»] <% name %> ÍÍ¤è¤ê (\$5 / user\@example.com \\É½)
__END__
  },
  USER => {
    FROM => 'O\'Hara <info@example.com>',
    TO => '<% email %>',
    SUBJECT =><<__END__,
¤ªÌä¤¤¹ç¤ï¤»¤¢¤ê¤¬¤È¤¦¤´¤¶¤¤¤Þ¤¹
__END__
    BODY =><<__END__,
<% name %> ÍÍ

ÎÁ¶â¤Ï \$100 (ÀÇ¹þ) ¤Ç¤¹¡£
Ï¢ÍíÀè: support\@example.com
\__END__
É½¼¨¤È¥½¥Õ¥È¤Î·ï

__END__
  }
};
my $html = {
  FORM =><<__END__,
<html><body>
<p><% __error__ %></p>
<form action="<% __cgi_url__ %>"></form>
</body></html>
__END__
  CONFIRM =><<__END__,
<p>³ÎÇ§: <% name %> / mail\@example.com / \$total</p>
__END__
  FINISH =><<__END__,
<?xml version="1.0" encoding="euc-jp"?>
<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">
<html xmlns="http://www.w3.org/1999/xhtml">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=euc-jp" />
<title>´°Î»²èÌÌ</title>
</head>
<body>
<h1>´°Î»²èÌÌ</h1>
<p>´°Î»¤·¤Þ¤·¤¿¡£</p>
</body>
</html>

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
