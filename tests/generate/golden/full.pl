#!/usr/bin/perl --
BEGIN { my $f = __FILE__; for (1 .. 40) { my $l = readlink $f; last unless defined $l; $f =~ s{[^/]*\z}{}; $f = $l =~ m{\A/} ? $l : $f . $l } unshift @INC, $f =~ m{\A(.*)/}s ? $1 : '.' }
use Quillpost;
my $items = [
  {
    ATTR => 'name',
    TYPE => 'TEXT',
    NAME => 'お名前',
    REQUIRED => 1,
    REQUIRED_ERROR =><<__END__,
お名前を入力してください。
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
    NAME => 'メールアドレス',
    REQUIRED => 1,
    REQUIRED_ERROR =><<__END__,
メールアドレスは必須です（例: user\@example.com）
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
メールアドレスの形式が違います。\$ や \@ の位置を確認してください。
__END__
  },
  {
    ATTR => 'email2',
    TYPE => 'TEXT',
    NAME => 'メールアドレス(確認)',
    REQUIRED => 0,
    SIZE_CONSTRAINT => 0,
    CONVERT => [
      ],
    RETYPE_ATTR => 'email',
    RETYPE_ERROR =><<__END__,
確認用のメールアドレスが一致しません。
__END__
  },
  {
    ATTR => 'zip',
    TYPE => 'TEXT',
    NAME => '郵便番号',
    REQUIRED => 0,
    SIZE_CONSTRAINT => 0,
    CONVERT => [
      \&Quillpost::zen_num_hyphen_to_han,
      ],
    CONSTRAINT_REGEXP =><<__END__,
^\\d{3}-\\d{4}\$
__END__
    CONSTRAINT_REGEXP_ERROR =><<__END__,
郵便番号は 123-4567 の形で入力してください。
__END__
  },
  {
    ATTR => 'code',
    TYPE => 'TEXT',
    NAME => '会員番号',
    REQUIRED => 0,
    SIZE_CONSTRAINT => 8,
    SIZE_CONSTRAINT_ERROR =><<__END__,
会員番号は8桁までです。
__END__
    CONVERT => [
      ],
    CONSTRAINT_REGEXP =><<__END__,
^[0-9]*\$
__END__
    CONSTRAINT_REGEXP_ERROR =><<__END__,
会員番号は半角数字で入力してください。
__END__
  },
  {
    ATTR => 'pass',
    TYPE => 'TEXT',
    NAME => '合言葉',
    REQUIRED => 0,
    SIZE_CONSTRAINT => 0,
    CONVERT => [
      ],
    CONSTRAINT_REGEXP =><<__END__,
^[0-9a-zA-Z]*\$
__END__
    CONSTRAINT_REGEXP_ERROR =><<__END__,
合言葉は半角英数字です。
__END__
  },
  {
    ATTR => 'body',
    TYPE => 'TEXTAREA',
    NAME => 'お問い合わせ内容（表示・ソフト）',
    REQUIRED => 1,
    REQUIRED_ERROR =><<__END__,
内容を入力してください。
\__END__
\$100 は \\100 です。
__END__
    SIZE_CONSTRAINT => 2000,
    CONVERT => [
      ],
  },
  {
    ATTR => 'news',
    TYPE => 'CHECKBOX',
    NAME => 'O\'Reilly \\ 「ニュース」',
    REQUIRED => 0,
    VALUE => '受け取る & <確認>',
    CONVERT => [
      ],
  },
  {
    ATTR => 'kind',
    TYPE => 'RADIO',
    NAME => '種別',
    REQUIRED => 1,
    REQUIRED_ERROR =><<__END__,
種別を選んでください。
__END__
    VALUES => [
      '質問',
      'ご意見',
      '<その他>',
      ],
    CONVERT => [
      ],
  },
  {
    ATTR => 'pref',
    TYPE => 'POPUPMENU',
    NAME => '都道府県',
    REQUIRED => 0,
    VALUES => [
      '東京都',
      '大阪府',
      '髙知県①',
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
[お問い合わせ] <% name %> 様より (\$5 / user\@example.com \\表)
__END__
  },
  USER => {
    FROM => 'O\'Hara <info@example.com>',
    TO => '<% email %>',
    SUBJECT =><<__END__,
お問い合わせありがとうございます
__END__
    BODY =><<__END__,
<% name %> 様

料金は \$100 (税込) です。
連絡先: support\@example.com
\__END__
表示とソフトの件

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
<p>確認: <% name %> / mail\@example.com / \$total</p>
__END__
  FINISH =><<__END__,
<?xml version="1.0" encoding="euc-jp"?>
<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">
<html xmlns="http://www.w3.org/1999/xhtml">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=euc-jp" />
<title>完了画面</title>
</head>
<body>
<h1>完了画面</h1>
<p>完了しました。</p>
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
