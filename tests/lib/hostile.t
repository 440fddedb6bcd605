# Hostile requests against a made CGI: markup in every field kind, header injection
# through an address field, forged hidden fields and choices, a huge body, broken EUC-JP
# and NUL, a site pattern that backtracks without end, a huge subject, odd addresses,
# forged Host and SCRIPT_NAME before a redirect, and values too long for the regex engine.
# Each must leave the pages escaped and send no mail, or a mail without an added header;
# no page may be framed by another site, sniffed, or cached with its token.
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
  # Markup is no choice of the check box, radio buttons or menu: only the typed fields
  # reach the confirmation page with it.
  for my $case (['form', [with(@kinds, email2 => $script, code => $script, __action1__ => 'x')],
                  qr{<p id="error">}],
                ['confirmation', [with((map { ($_ => $script) } qw(name nick body)), __action1__ => 'x')],
                  qr{<h1>確認画面</h1>}],
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

subtest 'forged choices are refused' => sub {
  my $r = post(with(agree => 'YES-SPAM', sex => 'NOT-A-CHOICE', pref => 'Atlantis', __action2__ => 'x'));
  is(scalar @{$r->{mails}}, 0, 'no mail');
  is_deeply(errors($r), ['「同意」は選択肢の中から選んでください。',
    '「性別」は選択肢の中から選んでください。', '「都道府県」は選択肢の中から選んでください。'],
    'one message per forged field');
};

subtest 'odd addresses' => sub {
  # 129 bytes of a plain address, written as it is.
  my $to = ('a' x 64) . '@' . ('b' x 60) . '.com';
  my $r = post(with(email => $to, email2 => $to, __action2__ => 'x'));
  my ($admin, $reply) = @{$r->{mails}};
  is(scalar @{$r->{mails}}, 2, length($to) . ' bytes: sent');
  is_deeply($admin->{raw_headers}{from}, [$to], 'From');
  is_deeply($reply->{raw_headers}{to}, [$to], 'To');
  # Too long, no domain, and what a relay reads as a route or a mail reader decodes into
  # another address.
  for my $to (('a' x 64) . '@' . join('.', ('b' x 62) x 3) . '.com', 'taro@localhost', 'a=?b?=@example.com',
      '.taro@example.com', 'taro.@example.com', 'ta..ro@example.com', 'taro%example.net@example.com',
      'example.net!taro@example.com') {
    my $r = post(with(email => $to, email2 => $to, __action2__ => 'x'));
    is(scalar @{$r->{mails}}, 0, "$to: no mail");
    is_deeply(errors($r), ['「メールアドレス」に正しいメールアドレスを入力してください。']);
  }
};

my $attack = make_cgi('attack');

subtest 'site patterns that backtrack without end' => sub {
  # A plain link with the confirm action: a value far beyond what a pattern sees, and one
  # that a pattern sees and never finishes with.
  my $r = $attack->request(limit => 60,
    form => [tel => ('1' x 30000) . 'x', serial => ('1' x 1000) . 'x', __action1__ => 'x']);
  ok(!$r->{killed}, 'the request ended');
  is_deeply(errors($r), ['電話番号は数字とハイフンで入力してください。', '製造番号に誤りがあります。'],
    "each field's message");
  is($r->{stderr}, '', 'nothing in the error log');
};

subtest 'a huge value in the subject' => sub {
  my $r = $attack->request(method => 'POST', form => [title => 'x' x 90000, note => 'n', __action2__ => 'x']);
  my ($admin) = @{$r->{mails}};
  is($admin->{header}{subject}, 'x' x 256, 'the subject cut');
  my ($kept) = $admin->{body} =~ /^件名=(x*)\r$/m;
  is(length $kept, 90000, 'the body keeps the whole value');
};

subtest 'a refused subject names the field at fault' => sub {
  my $r = $attack->request(method => 'POST',
    form => [title => e('ご挨拶'), note => e("一行目\r\n二行目"), __action2__ => 'x']);
  is(scalar @{$r->{mails}}, 0, 'no mail');
  is_deeply(errors($r), ['「ご用件」に改行などの使えない文字が含まれています。'], 'only the multi-line field');
};

subtest 'forged Host and SCRIPT_NAME before a redirect' => sub {
  my $redirect = make_cgi('redirect');
  my %cases = (
    'a host with a path'    => [{ HTTP_HOST => 'evil.example/x?' }, 'thanks.html'],
    'a host with CR LF'     => [{ HTTP_HOST => "evil\r\nSet-Cookie: a=b" }, 'thanks.html'],
    'a plain host and port' => [{ HTTP_HOST => 'www.example.jp:8080' },
                                'http://www.example.jp:8080/cgi-bin/thanks.html'],
    'CR LF in SCRIPT_NAME'  => [{ SCRIPT_NAME => "/cgi-bin/\r\nSet-Cookie: a=b/form.cgi" },
                                'http://www.example.com/cgi-bin/%0D%0ASet-Cookie:%20a=b/thanks.html'],
  );
  for my $label (sort keys %cases) {
    my ($env, $location) = @{$cases{$label}};
    my $r = $redirect->request(method => 'POST', form => [email => 'a@example.org', __action1__ => 1],
      env => $env);
    is($r->{status}, 302, "$label: redirect");
    is($r->{headers}{location}, $location, "$label: Location");
    ok(!exists $r->{headers}{'set-cookie'}, "$label: no header added");
  }
};

subtest 'a huge body' => sub {
  my $big = 'body=' . ('x' x (100 * 1024 + 1));
  my $r = $cgi->request(method => 'POST', body => $big);
  is($r->{status}, 413, 'refused');
  like(u($r->{body}), qr/送信されたデータが大きすぎます。/, 'error page');
  like($r->{body}, qr{lang="ja".*<meta name="viewport" content="width=device-width, initial-scale=1" />}s,
    'the error page is Japanese and fits a phone');
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

subtest 'values of 64 KB and more write nothing to the error log' => sub {
  # Beyond 65,534 characters, a repeated group of the regex engine stops with a warning. The
  # blanks go to fields that strip them; multipart carries the bytes as they are.
  my %fields = (name => ' ' x 70000 . 'x', email => 'x' . ' ' x 70000, body => 'x' x 70000, 'n' x 70000 => 'x');
  for my $charset ('EUC-JP', 'UTF-8') {
    my $long = make_cgi('contact', charset => $charset);
    for my $field (sort keys %fields) {
      my $r = $long->request(method => 'POST', content_type => 'multipart/form-data; boundary=XX', limit => 60,
        body => "--XX\r\nContent-Disposition: form-data; name=\"$field\"\r\n\r\n$fields{$field}\r\n"
          . "--XX\r\nContent-Disposition: form-data; name=\"__action1__\"\r\n\r\nx\r\n--XX--\r\n");
      my $label = "$charset, " . substr($field, 0, 10);
      is($r->{status}, 200, "$label: answered");
      is($r->{stderr}, '', "$label: nothing in the error log");
    }
  }
};

subtest 'pages cannot be framed or sniffed, and no cache keeps a token' => sub {
  my $guarded = make_cgi('contact', guard => { MinSeconds => 0 });
  my $form = $guarded->request;
  my ($token) = QpCgi::form_guard($form->{body});
  my $confirm = $guarded->request(method => 'POST', form => [with(__action1__ => 'x', __qp_token__ => $token)]);
  like(u($confirm->{body}), qr/確認画面/, 'the confirmation page');
  my %pages = (
    'the form page' => [$form, 1],
    'the confirmation page' => [$confirm, 1],
    'an error page' => [$guarded->request(query => 'x=' . 'y' x (101 * 1024)), 0],
    'the finish page' => [$guarded->request(method => 'POST', form => [with(__action2__ => 'x', __qp_token__ => $token)]), 0],
  );
  like(u($pages{'the finish page'}[0]{body}), qr/完了/, 'the finish page');
  for my $label (sort keys %pages) {
    my ($r, $token) = @{$pages{$label}};
    my %h = %{$r->{headers}};
    is(join(' | ', @h{qw(x-frame-options content-security-policy x-content-type-options)}),
      "SAMEORIGIN | frame-ancestors 'self' | nosniff", "$label: not framed, not sniffed");
    is($h{'cache-control'}, $token ? 'no-store' : undef, "$label: " . ($token ? 'not cached' : 'cache as it may'));
  }
};

done_testing;
