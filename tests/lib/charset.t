# Characters in both codes of a made script: the contact fixture made in UTF-8 and in EUC-JP,
# sent emoji, 𠮷, combining marks, half-width kana, ① and 髙 as a browser sends them (UTF-8
# bytes, or EUC-JP with numeric references for what EUC-JP cannot hold); broken UTF-8;
# references to markup and control characters; the size limits.
use strict;
use warnings;
use utf8;
use Encode ();
use Test::More;
use FindBin;
use lib $FindBin::Bin;
use QpCgi qw(make_cgi e u);
binmode(Test::More->builder->$_, ':encoding(UTF-8)') for qw(output failure_output todo_output);

plan skip_all => 'quillpost-cli is not built' unless QpCgi::cli_path();

my $utf8 = make_cgi('contact', charset => 'UTF-8');
my $euc = make_cgi('contact');

sub b { Encode::encode('UTF-8', $_[0]) }
sub t { Encode::decode('UTF-8', $_[0], Encode::FB_CROAK | Encode::LEAVE_SRC) }

# The contact form filled in; %change replaces values, in the code of the script.
sub form {
  my ($code, %change) = @_;
  my $enc = $code eq 'UTF-8' ? \&b : \&e;
  my @form = (
    name => $enc->('山田 太郎'), email => 'taro@example.com', email2 => 'taro@example.com',
    zip => '1234567', tel => '03-1234-5678', kana => $enc->('ﾔﾏﾀﾞ'), code => 'AB12',
    nick => 'abc', pass => 'secret', body => $enc->('本文'), agree => $enc->('同意する'),
    sex => $enc->('女'), pref => $enc->('東京都'),
  );
  for (my $i = 0; $i < @form; $i += 2) {
    $form[$i + 1] = delete $change{$form[$i]} if exists $change{$form[$i]};
  }
  return (@form, %change);
}

sub post { my ($cgi, @form) = @_; $cgi->request(method => 'POST', form => \@form) }

sub errors {
  my ($page) = @_;
  my ($p) = $page =~ m{<p id="error">(.*?)</p>}s or return undef;
  return [split m{<br />}, $p];
}

my $beyond = "😀𠮷e\x{301}";    # outside Shift_JIS, and a combining mark
my $japanese = 'ｶﾞ①髙';

subtest 'UTF-8 script: pages and messages in UTF-8' => sub {
  my $r = $utf8->request;
  is($r->{headers}{'content-type'}, 'text/html; charset=UTF-8');
  like(t($r->{body}), qr{<h1>お問い合わせ</h1>}, 'the template in UTF-8');
  my $e = post($utf8, form('UTF-8', name => '', body => 'x' x 201, __action1__ => 'x'));
  is_deeply(errors(t($e->{body})), ['お名前が入力されていません。',
    '「お問い合わせ内容」は200バイト以内で入力してください。'], "the project's and the runtime's messages");
  my $big = $utf8->request(method => 'POST', body => 'x=' . ('a' x 200_000));
  is($big->{status}, 413);
  like(t($big->{body}), qr{charset=utf-8.*送信されたデータが大きすぎます。}s, 'error page in UTF-8');
};

subtest 'UTF-8 script: every character reaches the pages and the mails unchanged' => sub {
  my @form = form('UTF-8', name => b("山田 $beyond"), kana => b("ﾔﾏﾀﾞ$beyond"),
    nick => b('abc😀𠮷'), body => b("$japanese\r\n$beyond"), zip => b('１２３−４５６７'),
    email => b('ｔａｒｏ@example.com　'));
  my $c = post($utf8, @form, __action1__ => 'x');
  my $p = t($c->{body});
  like($p, qr{お名前:山田 \Q$beyond\E<input name="name" type="hidden" value="山田 \Q$beyond\E" />});
  like($p, qr{フリガナ:ヤマダ\Q$beyond\E<}, 'half-width kana converted, the rest kept');
  like($p, qr{ニックネーム:ａｂｃ😀𠮷<}, 'half-width letters converted, the rest kept');
  like($p, qr{お問い合わせ内容:\Q$japanese\E<br />\Q$beyond\E<});
  like($p, qr{郵便番号:1234567<}, 'full-width digits to half-width, a minus sign deleted');
  like($p, qr{電話番号:０３－１２３４－５６７８<}, 'half-width digits and hyphens to full-width');
  like($p, qr{メールアドレス:taro\@example\.com<}, 'full-width letters to half-width, then strip');

  my $s = post($utf8, form('UTF-8', name => b("山田 $beyond"), kana => b("ヤマダ$beyond"),
    body => b("$japanese\n$beyond")), __action2__ => 'x');
  is(scalar @{$s->{mails}}, 2, 'both mails sent');
  my ($admin, $reply) = @{$s->{mails}};
  is($admin->{header}{subject}, "お問い合わせ（山田 ${beyond}様）①㈱ｶﾞ");
  like($admin->{body}, qr{^お名前=山田 \Q$beyond\E\r$}m);
  like($admin->{body}, qr{^フリガナ=ヤマダ\Q$beyond\E\r$}m);
  like($admin->{body}, qr{^お問い合わせ内容=\Q$japanese\E\r\n\Q$beyond\E\r$}m);
  like($reply->{body}, qr{\A山田 \Q$beyond\E 様\r\n}, 'the automatic reply');
  like(t($s->{body}), qr{完了しました。山田 \Q$beyond\E様}, 'the finish page');
};

subtest 'UTF-8 script: broken UTF-8 becomes U+FFFD' => sub {
  my $r = post($utf8, form('UTF-8', name => "a\xE3\x81b\xFF\xC0\xAFc\xED\xA0\x80",
    body => "\xF0\x9F\x98", __action2__ => 'x'));
  my $p = t($r->{body});    # dies on a broken page
  my $name = "a\x{FFFD}\x{FFFD}b\x{FFFD}\x{FFFD}\x{FFFD}c\x{FFFD}\x{FFFD}\x{FFFD}";
  like($p, qr{完了しました。\Q$name\E様});
  like($r->{mails}[0]{body}, qr{^お名前=\Q$name\E\r$}m);
  like($r->{mails}[0]{body}, qr{^お問い合わせ内容=\x{FFFD}{3}\r$}m);
};

subtest 'EUC-JP script: references the browser made come back as the character' => sub {
  my $refs = '&#128512;&#x20BB7;';    # 😀𠮷 as a browser sends them from an EUC-JP page
  my $c = post($euc, form('EUC-JP', name => e('山田 ') . $refs, kana => e('ﾔﾏﾀﾞ') . $refs,
    nick => "abc$refs", body => e($japanese) . $refs), __action1__ => 'x');
  is_deeply(errors($c->{body}), undef, 'the pattern sees one character, not digits');
  my $p = u($c->{body});
  like($p, qr{お名前:山田 \Q$refs\E<input name="name" type="hidden" value="山田 \Q$refs\E" />},
    'shown as the character in text and attribute');
  like($p, qr{フリガナ:ヤマダ\Q$refs\E<}, 'no conversion touches a reference');
  like($p, qr{ニックネーム:ａｂｃ\Q$refs\E<});

  my $s = post($euc, form('EUC-JP', name => e('山田 ') . $refs, body => e($japanese) . $refs),
    __action2__ => 'x');
  my ($admin, $reply) = @{$s->{mails}};
  is($admin->{header}{subject}, 'お問い合わせ（山田 😀𠮷様）①㈱ｶﾞ');
  like($admin->{body}, qr{^お名前=山田 😀𠮷\r$}m);
  like($admin->{body}, qr{^お問い合わせ内容=\Q$japanese\E😀𠮷\r$}m);
  like($reply->{body}, qr{\A山田 😀𠮷 様\r\n});
};

subtest 'EUC-JP script: references to markup, control and EUC-JP characters stay text' => sub {
  my $typed = '&#60;script&#62;&#x3C;&#38;&#34;&#39;&#0;&#10;&#x7F;&#128;&#12354;&#55357;&#99999999;';
  my $r = post($euc, form('EUC-JP', name => "x$typed", body => $typed), __action1__ => 'x');
  (my $escaped = $typed) =~ s/&/&amp;/g;
  my $p = u($r->{body});
  like($p, qr{お名前:x\Q$escaped\E<input name="name" type="hidden" value="x\Q$escaped\E" />});
  unlike($p, qr{<script>|&#60;|&#x3C;}, 'no markup made');
  my $s = post($euc, form('EUC-JP', name => "x$typed", body => $typed), __action2__ => 'x');
  like($s->{mails}[0]{body}, qr{^お名前=x\Q$typed\E\r$}m, 'the mail carries the text as typed');
  is($s->{mails}[0]{header}{subject}, "お問い合わせ（x${typed}様）①㈱ｶﾞ");
};

subtest 'size limits count EUC-JP bytes in both codes' => sub {
  # お問い合わせ内容 takes 200 bytes: 100 characters beyond ASCII, each counting as 2.
  for my $case (['UTF-8', $utf8, b('𠮷')], ['EUC-JP', $euc, '&#134071;'],
                ['UTF-8', $utf8, b('ｶ')], ['EUC-JP', $euc, e('①')]) {
    my ($code, $cgi, $char) = @$case;
    my $fits = post($cgi, form($code, body => $char x 100, __action1__ => 'x'));
    is_deeply(errors($fits->{body}), undef, "$code: 100 of $char fit");
    my $over = post($cgi, form($code, body => ($char x 100) . 'x', __action1__ => 'x'));
    my $text = $code eq 'UTF-8' ? t($over->{body}) : u($over->{body});
    is_deeply(errors($text), ['「お問い合わせ内容」は200バイト以内で入力してください。'],
      "$code: one byte more is refused");
  }
  # A reference typed as text counts as its text.
  my $typed = post($euc, form('EUC-JP', body => ('&#60;' x 40) . 'x', __action1__ => 'x'));
  is_deeply(errors(u($typed->{body})), ['「お問い合わせ内容」は200バイト以内で入力してください。']);
};

done_testing;
