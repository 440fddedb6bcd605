# Sending without a confirmation page, the redirect after it, the automatic reply that a
# bad visitor address drops, a multi-line value refused in a header, the envelope sender,
# and sendmails that refuse it, fail or cannot start.
use strict;
use warnings;
use utf8;
use Test::More;
use FindBin;
use lib $FindBin::Bin;
use QpCgi qw(make_cgi e u);
binmode(Test::More->builder->$_, ':encoding(UTF-8)') for qw(output failure_output todo_output);

plan skip_all => 'quillpost-cli is not built' unless QpCgi::cli_path();

my $cgi = make_cgi('redirect');
sub post { $cgi->request(method => 'POST', form => [@_]) }

subtest 'send and redirect' => sub {
  my $r = post(email => ' hanako@example.org ', your_message => e('よろしく①'), __action1__ => 'x');
  is($r->{status}, 302, 'redirect status');
  is($r->{headers}{location}, 'http://www.example.com/cgi-bin/thanks.html',
    'relative address made absolute against the script');
  is($r->{body}, '', 'no page');
  is($r->{stderr}, '', 'nothing on stderr');
  my ($admin, $reply) = @{$r->{mails}};
  is(scalar @{$r->{mails}}, 2, 'two mails');
  is_deeply($admin->{args}, ['-fadmin@example.com', '-oi', 'admin@example.com']);
  is($admin->{header}{subject}, 'ご意見：よろしく①');
  is($admin->{body}, "メールアドレス=hanako\@example.org\r\nご意見=よろしく①\r\n");
  is_deeply($reply->{args}, ['-fadmin@example.com', '-oi', 'hanako@example.org']);
  is($reply->{body}, "よろしく①\r\n");

  my $https = $cgi->request(method => 'POST', form => [email => 'a@example.org', __action1__ => 1],
    env => { HTTPS => 'on', HTTP_HOST => 'form.example.jp:8443', SCRIPT_NAME => '/x/y.cgi' });
  is($https->{headers}{location}, 'https://form.example.jp:8443/x/thanks.html', 'scheme and host');
  my $evil = $cgi->request(method => 'POST', form => [email => 'a@example.org', __action1__ => 1],
    env => { HTTP_HOST => "evil\r\nSet-Cookie: a=b" });
  is($evil->{headers}{location}, 'thanks.html', 'a broken Host header: relative to the script');
  ok(!exists $evil->{headers}{'set-cookie'}, 'no header added');
  my $port = $cgi->request(method => 'POST', form => [email => 'a@example.org', __action1__ => 1],
    env => { SERVER_PORT => 8080 });
  is($port->{headers}{location}, 'http://www.example.com:8080/cgi-bin/thanks.html',
    'server name and port without a Host header');
};

subtest 'a bad visitor address drops only the automatic reply' => sub {
  for my $to ('not an address', 'a@example.org, b@example.org', '') {
    my $r = post(email => $to, your_message => 'hello', __action1__ => 'x');
    if ($to eq '') {
      is(scalar @{$r->{mails}}, 0, 'required address missing: nothing sent');
      next;
    }
    is($r->{status}, 302, "'$to': still finished");
    is(scalar @{$r->{mails}}, 1, "'$to': one mail");
    is_deeply($r->{mails}[0]{args}, ['-fadmin@example.com', '-oi', 'admin@example.com'], "'$to': the administrator's");
  }
};

subtest 'a line break taken into a header is refused' => sub {
  my $r = post(email => 'a@example.org', your_message => "one\r\nBcc: victim\@example.net",
    __action1__ => 'x');
  is($r->{status}, 200, 'the form again');
  is(scalar @{$r->{mails}}, 0, 'no mail');
  like(u($r->{body}), qr{<p id="error">「ご意見」に改行などの使えない文字が含まれています。</p>},
    'the form page says why');
  like(u($r->{body}), qr{<textarea name="your_message">one\nBcc: victim\@example\.net</textarea>},
    'the value kept for correcting');
};

subtest 'a GET never sends' => sub {
  my $r = $cgi->request(form => [email => 'a@example.org', __action1__ => 'x']);
  is($r->{status}, 200, 'the form');
  is(scalar @{$r->{mails}}, 0, 'no mail');
  my $h = $cgi->request(method => 'HEAD', form => [email => 'a@example.org', __action1__ => 'x']);
  is(scalar @{$h->{mails}}, 0, 'nor a HEAD');
};

# Rewrites the SENDMAIL setting of the made script.
sub set_sendmail {
  my ($command) = @_;
  my $text = $cgi->script_text;
  $text =~ s{SENDMAIL => '[^']*'}{SENDMAIL => '$command'} or die 'no SENDMAIL';
  open(my $fh, '>:raw', $cgi->{cgi}) or die $!;
  print $fh $text;
  close $fh or die $!;
}

subtest 'the sendmail command line' => sub {
  my $standin = "$FindBin::Bin/bin/sendmail";
  set_sendmail("$standin -t -fbounce\@example.com");
  my $r = post(email => "a\@example.org\0", your_message => 'xy', __action1__ => 'x');
  is($r->{status}, 302, 'sent');
  is_deeply($r->{mails}[0]{args}, ['-fbounce@example.com', '-oi', 'admin@example.com'],
    'options of the setting kept, except -t; the recipient last');
  is($r->{mails}[0]{body}, "メールアドレス=a\@example.org\r\nご意見=xy\r\n", 'no NUL in the body');
  is(scalar @{$r->{mails}}, 1, 'the reply to the address with NUL dropped');
  set_sendmail("$standin; touch $cgi->{dir}/shell-ran");
  my $s = post(email => 'a@example.org', __action1__ => 'x');
  is($s->{status}, 500, 'a command with shell syntax is not a program');
  ok(!-e "$cgi->{dir}/shell-ran", 'no shell ran it');
  set_sendmail($standin);
};

subtest 'bounces go to the site, where the host lets them' => sub {
  my $r = $cgi->request(method => 'POST', form => [email => 'a@example.org', __action1__ => 'x'], refuse_f => 1);
  is($r->{status}, 302, 'a sendmail that refuses -f: sent');
  is_deeply([map { $_->{args} } @{$r->{mails}}], [['-oi', 'admin@example.com'], ['-oi', 'a@example.org']],
    'both mails again without it');
  like($r->{stderr}, qr/\AQuillpost: \S+ refused -fadmin\@example\.com \(status 64\); sent without it\n\z/,
    'one line in the error log');
  my $fixed = make_cgi('redirect', guard => { EnvelopeFrom => 'bounce@example.net', UseToken => 0,
    UseHoneypot => 0, LimitCount => 0, ReplyLimit => 0 });
  my $s = $fixed->request(method => 'POST', form => [email => 'a@example.org', __action1__ => 'x']);
  is_deeply([map { $_->{args}[0] } @{$s->{mails}}], ['-fbounce@example.net', '-fbounce@example.net'],
    'EnvelopeFrom names the sender of both');
};

subtest 'sendmail failures' => sub {
  my $failed = $cgi->request(method => 'POST', form => [email => 'a@example.org', __action1__ => 'x'],
    sendmail_exit => 75);
  is($failed->{status}, 500, 'non-zero exit: status 500');
  like(u($failed->{body}), qr{<p>メールの送信に失敗しました。</p>}, 'error page');
  ok(!exists $failed->{headers}{location}, 'no redirect');

  # The same script with a sendmail that does not exist.
  set_sendmail('/nonexistent/sendmail');
  my $missing = post(email => 'a@example.org', __action1__ => 'x');
  is($missing->{status}, 500, 'cannot start: status 500');
  like(u($missing->{body}), qr{メールの送信に失敗しました。});
  like($missing->{stderr}, qr{/nonexistent/sendmail}, 'the reason in the error log');
  is(scalar @{$missing->{mails}}, 0, 'no mail');
};

done_testing;
