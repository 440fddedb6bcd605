# A real CGI made by quillpost-cli from the contact fixture, run as a web server runs it:
# the empty form, every check and its message, the seven conversions, the confirmation
# round trip, correcting, sending with both mails, and a GET that never sends.
use strict;
use warnings;
use utf8;
use Test::More;
use FindBin;
use lib $FindBin::Bin;
use QpCgi qw(make_cgi e u);
binmode(Test::More->builder->$_, ':encoding(UTF-8)') for qw(output failure_output todo_output);

plan skip_all => 'quillpost-cli is not built' unless QpCgi::cli_path();

my $cgi = make_cgi('contact');

# A submission that passes every check, as a browser sends it (EUC-JP).
my @valid = (
  name => e(' 山田 太郎　'), email => e('ｔａｒｏ@example.com '), email2 => 'taro@example.com',
  zip => e('１２３－４５６７'), tel => '03-1234-5678', kana => e('ﾔﾏﾀﾞ'), code => e('ＡＢｃ12'),
  nick => 'abc', pass => 'secret', body => e("一行目\r\n二行目①"), agree => e('同意する'),
  sex => e('女'), pref => 'A&B <C>',
);

sub with {
  my (%change) = @_;
  my @form = @valid;
  for (my $i = 0; $i < @form; $i += 2) {
    $form[$i + 1] = delete $change{$form[$i]} if exists $change{$form[$i]};
  }
  return (@form, %change);
}

sub post { $cgi->request(method => 'POST', form => [@_]) }

# The page as text, and the messages of its error paragraph.
sub page { u($_[0]{body}) }
sub errors {
  my ($r) = @_;
  my ($p) = page($r) =~ m{<p id="error">(.*?)</p>}s or return undef;
  return [split m{<br />}, $p];
}

sub normal {
  my ($r, $label) = @_;
  is($r->{status}, 200, "$label: status 200");
  is($r->{stderr}, '', "$label: nothing on stderr");
  is($r->{exit}, 0, "$label: exit status 0");
}

subtest 'GET shows the empty form' => sub {
  my $r = $cgi->request;
  normal($r, 'GET');
  is($r->{headers}{'content-type'}, 'text/html; charset=EUC-JP');
  my $p = page($r);
  is_deeply(errors($r), [], 'no message');
  like($p, qr{action="/cgi-bin/form\.cgi"}, '__cgi_url__ is the script path');
  like($p, qr{name="name" type="text" value=""}, 'empty value');
  like($p, qr{name="email" type="text" value=""}, 'mark without blanks');
  like($p, qr{name="email2" type="text" value=""}, 'mark with several blanks');
  like($p, qr{\[\]\[\]}, 'unknown marks are empty');
  unlike($p, qr{<%|%>|checked="checked"|selected="selected"}, 'every mark filled');
  is(scalar @{$r->{mails}}, 0, 'no mail');

  my $odd = $cgi->request(env => { SCRIPT_NAME => '/cgi-bin/a"><b>.cgi' });
  like($odd->{body}, qr{action="/cgi-bin/a&quot;&gt;&lt;b&gt;\.cgi"}, '__cgi_url__ escaped');

  my $q = $cgi->request(form => [name => 'x', sex => e('女')]);
  unlike(page($q), qr{value="x"|checked="checked"}, 'values without a button are ignored');
};

subtest 'every check with its message, one per field, in item order' => sub {
  my $r = post(__action1__ => 'x');
  normal($r, 'empty');
  is_deeply(errors($r), ['お名前が入力されていません。', 'メールアドレスが入力されていません。',
    'お問い合わせ内容が入力されていません。', '同意してください。'], 'required fields');

  my %cases = (
    'mail pattern'  => [[email => 'taro', email2 => 'taro'], 'メールアドレスに間違いがあります。'],
    'retype'        => [[email2 => 'hanako@example.com'], 'メールアドレスが一致しません。'],
    'digits'        => [[zip => '12a'], '郵便番号は数字で入力してください。'],
    'size'          => [[kana => e('ｱｲｳｴｵｶｷｸｹｺｻ')], 'フリガナは10文字以内で入力してください。'],
    'alphanumeric'  => [[code => 'ab-1'], '会員番号は半角英数字で入力してください。'],
    'regexp'        => [[nick => 'abc1'], 'ニックネームに数字は使えません。'],
    'letters'       => [[pass => 'abc1'], 'パスワードは半角英字で入力してください。'],
    'size, no message' =>
      [[body => 'x' x 201], '「お問い合わせ内容」は200バイト以内で入力してください。'],
  );
  for my $label (sort keys %cases) {
    my ($change, $message) = @{$cases{$label}};
    my $r = post(with(@$change, __action1__ => 'x'));
    is_deeply(errors($r), [$message], $label);
    is(scalar @{$r->{mails}}, 0, "$label: no mail");
  }
  # The limits count bytes: ten half-width kana become ten two-byte characters.
  is_deeply(errors(post(with(kana => e('ｱｲｳｴｵｶｷｸｹｺ'), __action1__ => 'x'))), undef,
    '20 bytes pass (confirmation page, no error paragraph)');
  is_deeply(errors(post(with(body => 'x' x 200, __action1__ => 'x'))), undef, '200 bytes pass');
  # The required check comes first and is the only message of its field.
  is_deeply(errors(post(with(email => '', email2 => 'x', __action1__ => 'x'))),
    ['メールアドレスが入力されていません。'], 'first failing check only');
  # Optional empty fields skip their pattern.
  is_deeply(errors(post(with(zip => '', code => '', nick => '', pass => '', __action1__ => 'x'))),
    undef, 'empty optional fields pass');
};

subtest 'conversions, confirmation page and marks' => sub {
  my $r = post(@valid, __action1__ => 'x');
  normal($r, 'confirm');
  my $p = page($r);
  like($p, qr{<h1>確認画面</h1>}, 'the confirmation page');
  like($p, qr{お名前:山田 太郎<input name="name" type="hidden" value="山田 太郎" />}, 'strip');
  like($p, qr{value="taro\@example\.com" />}, 'full-width letters to half-width, then strip');
  like($p, qr{郵便番号:1234567<}, 'full-width digits and hyphen to half-width, hyphens deleted');
  like($p, qr{電話番号:０３－１２３４－５６７８<}, 'half-width digits and hyphens to full-width');
  like($p, qr{フリガナ:ヤマダ<}, 'half-width kana with a voiced mark to full-width');
  like($p, qr{会員番号:ABc12<}, 'full-width letters to half-width');
  like($p, qr{ニックネーム:ａｂｃ<}, 'half-width letters to full-width');
  like($p, qr{パスワード:\*{6}<input name="pass" type="hidden" value="secret" />},
    'password shown as one star per character, carried in the hidden field');
  like($p, qr{お問い合わせ内容:一行目<br />二行目①<input name="body" type="hidden" value="一行目\n二行目①" />},
    '_br form and the plain hidden value');
  like($p, qr{都道府県:A&amp;B &lt;C&gt;<input name="pref" type="hidden" value="A&amp;B &lt;C&gt;" />},
    'escaped in text and attribute');
  is(scalar @{$r->{mails}}, 0, 'no mail before the confirmation');
};

subtest 'correcting goes back to the form with the values' => sub {
  my $r = post(with(kana => e('ヤマダ'), __action3__ => 'x'));
  normal($r, 'correct');
  my $p = page($r);
  is_deeply(errors($r), [], 'no message');
  like($p, qr{name="kana" type="text" value="ヤマダ"});
  like($p, qr{<textarea name="body">一行目\n二行目①</textarea>});
  like($p, qr{name="agree" value="同意する" checked="checked"}, 'check box');
  like($p, qr{value="女" checked="checked" />女}, 'chosen radio button');
  unlike($p, qr{value="男" checked}, 'other radio button');
  like($p, qr{<option value="A&amp;B &lt;C&gt;" selected="selected">}, 'chosen option');
  unlike($p, qr{東京都" selected}, 'other option');
  is(scalar @{$r->{mails}}, 0, 'no mail');
};

subtest 'sending from the confirmation page' => sub {
  # What the confirmation page posts back: the converted values.
  my $r = post(with(name => e('山田 太郎'), email => 'taro@example.com',
    kana => e('ヤマダ'), body => e("一行目\n二行目①"), __action2__ => e('送信')));
  normal($r, 'send');
  like(page($r), qr{完了しました。山田 太郎様、ありがとうございました。}, 'finish page with marks');
  my @mails = @{$r->{mails}};
  is(scalar @mails, 2, 'administrator and automatic reply');
  my ($admin, $reply) = @mails;

  is_deeply($admin->{args}, ['-oi', 'admin@example.com'], 'recipient as an argument, no -t');
  is($admin->{header}{from}, 'taro@example.com');
  is($admin->{header}{to}, 'admin@example.com');
  is($admin->{header}{subject}, 'お問い合わせ（山田 太郎様）①㈱ｶﾞ', 'subject with the raw value');
  is($admin->{body}, join('', map { "$_\r\n" } 'お名前=山田 太郎',
    'メールアドレス=taro@example.com', 'メールアドレス（確認）=taro@example.com', '郵便番号=1234567',
    '電話番号=０３－１２３４－５６７８', 'フリガナ=ヤマダ', '会員番号=ABc12', 'ニックネーム=ａｂｃ',
    'パスワード=secret', 'お問い合わせ内容=一行目', '二行目①', '同意=同意する', '性別=女',
    '都道府県=A&B <C>'), 'one "display name=value" line per item, in order');
  for my $h (qw(date message-id mime-version content-type)) {
    ok(defined $admin->{header}{$h}, "$h header");
  }
  is($admin->{header}{'content-type'}, 'text/plain; charset=UTF-8');

  is_deeply($reply->{args}, ['-oi', 'taro@example.com'], 'reply to the visitor');
  is($reply->{header}{from}, 'info@example.com');
  is($reply->{header}{subject}, '【自動返信】お問い合わせありがとうございます');
  is($reply->{body}, "山田 太郎 様\r\n\r\nお問い合わせを受け付けました。\r\n内容:\r\n一行目\r\n二行目①\r\n"
    . "性別:女 パスワード:******\r\n髙橋・①・Ⅰ・㈱・ｱｲｳ\r\n",
    'body with marks filled and the extension characters intact');
};

subtest 'sending from the form when the values still need converting' => sub {
  my $r = post(@valid, __action2__ => 'x');
  normal($r, 'send');
  my ($admin) = @{$r->{mails}};
  like($admin->{body}, qr{^フリガナ=ヤマダ\r$}m, 'converted before sending');
};

subtest 'a required menu left at its first choice, which is no answer' => sub {
  my $menu = make_cgi('contact', edit => sub {
    $_[0] =~ s/(NameAttr=pref\r\n[^\[]*?Required=)0\r\nRequiredError=\r\n/${1}1\r\nRequiredError=choose\r\nFirstIsNone=1\r\n/
      or die "no pref item\n";
  });
  my $r = $menu->request(method => 'POST', form => [with(pref => e('東京都'), __action1__ => 'x')]);
  is_deeply(errors($r), ['choose'], 'the first choice counts as empty');
  $r = $menu->request(method => 'POST', form => [with(pref => e('大阪府'), __action1__ => 'x')]);
  like(page($r), qr{都道府県:大阪府<input}, 'any other choice is an answer');
};

subtest 'a GET never sends' => sub {
  my $r = $cgi->request(form => [@valid, __action2__ => 'x']);
  normal($r, 'GET send');
  is(scalar @{$r->{mails}}, 0, 'no mail');
  like(page($r), qr{name="name" type="text" value="山田 太郎"}, 'the form with the values');
  my $c = $cgi->request(form => [@valid, __action1__ => 'x']);
  like(page($c), qr{<h1>確認画面</h1>}, 'a GET may still reach the confirmation page');
  is(scalar @{$c->{mails}}, 0, 'no mail');
};

subtest 'multipart/form-data without files' => sub {
  my $boundary = '----qpBoundary7MA4YWxk';
  my @parts = (with(name => e('山田'), __action1__ => e('送信')));
  my $body = '';
  while (my ($name, $value) = splice @parts, 0, 2) {
    $body .= "--$boundary\r\nContent-Disposition: form-data; name=\"$name\"\r\n\r\n$value\r\n";
  }
  $body .= "--$boundary\r\nContent-Disposition: form-data; name=\"name\"; filename=\"a.txt\"\r\n"
    . "Content-Type: text/plain\r\n\r\nfile content\r\n--$boundary--\r\n";
  my $r = $cgi->request(method => 'POST', body => $body,
    content_type => "multipart/form-data; boundary=$boundary");
  normal($r, 'multipart');
  like(page($r), qr{お名前:山田<input}, 'fields read, the file part skipped');
  like(page($r), qr{お問い合わせ内容:一行目<br />二行目①<}, 'line breaks kept');
};

done_testing;
