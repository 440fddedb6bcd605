# Hostile requests against a made CGI: markup in every field kind, header injection
# through an address field, forged hidden fields, a huge body, broken EUC-JP and NUL.
# Each must leave the pages escaped and send no mail, or a mail without an added header.
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

my @valid = (
  name => e('山田'), email => 'taro@example.com', email2 => 'taro@example.com',
  body => e('本文'), agree => e('同意する'), sex => e('女'), pref => e('東京都'),
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
sub errors {
  my ($p) = u($_[0]{body}) =~ m{<p id="error">(.*?)</p>}s or return undef;
  return [split m{<br />}, $p];
}

subtest 'markup in every field kind is escaped' => sub {
  my $script = '<script>alert("x")</script>\'';
  my @kinds = map { ($_ => $script) } qw(name nick body agree sex pref);
  # With errors (the form page), without (the confirmation page), and when correcting.
  for my $case (['form', [with(@kinds, email2 => $script, code => $script, __action1__ => 'x')],
                  qr{<p id="error">}],
                ['confirmation', [with(@kinds, __action1__ => 'x')], qr{<h1>確認画面</h1>}],
                ['correct', [with(@kinds, email2 => $script, __action3__ => 'x')],
                  qr{<p id="error"></p>}]) {
    my ($label, $form, $page) = @$case;
    my $r = post(@$form);
    is($r->{status}, 200, "$label: status");
    like(u($r->{body}), $page, "$label: the expected page");
    unlike($r->{body}, qr/<script/i, "$label: no markup from the request");
    like($r->{body}, qr/&lt;script&gt;alert\(&quot;x&quot;\)&lt;\/script&gt;&#39;/, "$label: escaped");
    is(scalar @{$r->{mails}}, 0, "$label: no mail");
  }
  my $r = post(with(name => "<% __cgi_url__ %><% email %>", __action1__ => 'x'));
  like(u($r->{body}), qr{お名前:&lt;% __cgi_url__ %&gt;&lt;% email %&gt;<input}, 'a value is never read as a mark');
};

subtest 'CR LF and Bcc in an address field' => sub {
  my $evil = "taro\@example.com\r\nBcc: victim\@example.net";
  my $r = post(with(email => $evil, email2 => $evil, __action2__ => 'x'));
  is($r->{status}, 200, 'status');
  is(scalar @{$r->{mails}}, 0, 'no mail');
  is_deeply(errors($r), ['「メールアドレス」に正しいメールアドレスを入力してください。'],
    'the form page says why');
  for my $to ('a@example.com, b@example.com', 'Name <a@example.com>', '-oQ/tmp/x@example.com',
              'a@example.com b@example.com', '') {
    my $r = post(with(email => $to, email2 => $to, __action2__ => 'x'));
    is(scalar @{$r->{mails}}, 0, "no mail for '$to'");
  }
};

subtest 'a NUL byte' => sub {
  my $r = post(with(email => "taro\@example.com\0", email2 => "taro\@example.com\0", __action2__ => 'x'));
  is(scalar @{$r->{mails}}, 0, 'address with NUL: no mail');
  is_deeply(errors($r), ['「メールアドレス」に正しいメールアドレスを入力してください。']);
  unlike($r->{body}, qr/\0/, 'no NUL in the page');

  my $n = post(with(name => "山田\0Bcc: x", __action2__ => 'x'));
  is(scalar @{$n->{mails}}, 0, 'subject with NUL: no mail');
  is_deeply(errors($n), ['「お名前」に改行などの使えない文字が含まれています。']);
};

subtest 'forged hidden fields are checked again' => sub {
  for my $case ([email => 'not-an-address', email2 => 'not-an-address'],
                [email2 => 'other@example.com'], [agree => ''], [zip => 'abc'],
                [body => 'x' x 201]) {
    my $r = post(with(@$case, __action2__ => 'x'));
    is(scalar @{$r->{mails}}, 0, "no mail with @$case[0,1]");
    is(scalar @{errors($r) || []}, 1, 'one message');
  }
};

subtest 'a huge body' => sub {
  my $big = 'body=' . ('x' x (100 * 1024 + 1));
  my $r = $cgi->request(method => 'POST', body => $big);
  is($r->{status}, 413, 'refused');
  like(u($r->{body}), qr/送信されたデータが大きすぎます。/, 'error page');
  is(scalar @{$r->{mails}}, 0, 'no mail');
  my $lying = $cgi->request(method => 'POST', body => 'x=1', env => { CONTENT_LENGTH => 10**9 });
  is($lying->{status}, 413, 'a huge announced length is refused before reading');
  my $get = $cgi->request(query => 'name=' . ('x' x (100 * 1024 + 1)));
  is($get->{status}, 413, 'a huge query string too');
  my $fits = $cgi->request(method => 'POST',
    body => 'name=a&pad=' . ('x' x (100 * 1024 - 25)) . '&__action3__=1');
  is($fits->{status}, 200, 'a body of exactly the limit is read');
  like(u($fits->{body}), qr{name="name" type="text" value="a"});
};

subtest 'broken EUC-JP bytes' => sub {
  # A lead byte before a quote would swallow the quote in a lenient decoder.
  my $r = post(with(name => "\xA4\"><script>", __action1__ => 'x'));
  like($r->{body}, qr{value="\?&quot;&gt;&lt;script&gt;"}, 'the stray byte becomes "?"');
  my $s = post(with(name => "\xB0\xA1\xFF\x8E\xB1\x8F\xA1", __action2__ => 'x'));
  my ($admin) = @{$s->{mails}};
  ok($admin, 'sent');
  like($admin->{body}, qr/^お名前=亜\?ｱ\?\?\r$/m, 'valid characters kept, broken bytes replaced');
  is($s->{stderr}, '', 'nothing on stderr');
};

done_testing;
