# The made form against bots: posts that never loaded the form, tokens of another make,
# too old or too new, or spent; posts from another site's page; the honeypot, which no answer
# gives away; bursts from one address and one IPv6 /48 (one after another and all at once);
# the reply limits and what a reply may carry; a flood against the state file, a state file
# that cannot be written or that would tell addresses; the administrator mail's From, a
# project file from before the defences, and a script made before them on this runtime.
use strict;
use warnings;
use utf8;
use Test::More;
use FindBin;
use lib $FindBin::Bin;
use Encode ();
use QpCgi qw(make_cgi e u);
binmode(Test::More->builder->$_, ':encoding(UTF-8)') for qw(output failure_output todo_output);

plan skip_all => 'quillpost-cli is not built' unless QpCgi::cli_path();

my $EXPIRED = 'ページの有効期限が切れました。もう一度送信してください。';
my $TOO_SOON = '送信までの時間が短すぎます。もう一度送信してください。';
my $TOO_MANY = '送信回数の上限に達しました。しばらくしてからもう一度お試しください。';
my $T0 = 1_800_000_000;

# The redirect fixture sends on the first press: one mail to the site, one reply.
sub guarded { make_cgi('redirect', guard => { @_ }) }

sub form_page {
  my ($cgi, %o) = @_;
  my $r = $cgi->request(env => { QP_TEST_NOW => $o{at} || $T0, REMOTE_ADDR => $o{from} || '192.0.2.1' });
  return QpCgi::form_guard($r->{body});
}

sub send_form {
  my ($cgi, %o) = @_;
  my @form = (email => $o{email} || 'visitor@example.org', your_message => 'hello', __action1__ => 'x');
  push @form, __qp_token__ => $o{token} if defined $o{token};
  push @form, @{$o{extra} || []};
  return $cgi->request(method => 'POST', form => \@form,
    env => { QP_TEST_NOW => $o{at} || $T0 + 10, REMOTE_ADDR => $o{from} || '192.0.2.1', %{$o{env} || {}} });
}

sub error_of { my ($p) = u($_[0]{body}) =~ m{<p id="error">(.*?)</p>}s; $p }

subtest 'a bot that never loaded the form sends nothing' => sub {
  my $cgi = guarded();
  my ($token) = form_page($cgi);
  like($token, qr/\A\d+\.[0-9a-f]{32}\.[0-9a-f]{64}\z/, 'the form page carries a token');
  my ($other) = form_page(guarded());
  (my $forged = $token) =~ tr/0-9a-f/1-9a-f0/;
  $forged =~ s/\A\d+/substr($token, 0, index($token, '.'))/e;
  (my $backdated = $token) =~ s/\A(\d+)/$1 - 100/e;
  for my $case ([missing => undef], ['of another make' => $other], [forged => $forged],
      [backdated => $backdated], [garbage => 'x' x 5000]) {
    my $r = send_form($cgi, token => $case->[1]);
    is(scalar @{$r->{mails}}, 0, "$case->[0]: no mail");
    is(error_of($r), $EXPIRED, "$case->[0]: the form says why");
    like(u($r->{body}), qr/value="visitor\@example\.org"/, "$case->[0]: typed values kept");
    my ($fresh) = QpCgi::form_guard($r->{body});
    ok($fresh && $fresh ne $token, "$case->[0]: a fresh token");
  }
  my $r = send_form($cgi, token => $token);
  is(scalar @{$r->{mails}}, 2, 'the real token sends');

  # The form page signs without Digest::SHA; the send checks with it.
  require Digest::SHA;
  require(QpCgi::runtime_dir() . '/Quillpost.pm');
  my @bad = grep {
    my $key = 'k' x ($_ % 130);
    Quillpost::_hmac_sha256_hex($key, 'm' x $_) ne Digest::SHA::hmac_sha256_hex('m' x $_, $key)
  } 0 .. 200;
  is_deeply(\@bad, [], 'the Perl HMAC-SHA-256 agrees with Digest::SHA');
};

subtest 'tokens too new and too old' => sub {
  my $cgi = guarded(MinSeconds => 5, TokenHours => 2);
  my ($token) = form_page($cgi);
  my $soon = send_form($cgi, token => $token, at => $T0 + 4);
  is(error_of($soon), $TOO_SOON, 'four seconds: too soon');
  is(scalar @{$soon->{mails}}, 0, 'nothing sent');
  my $old = send_form($cgi, token => $token, at => $T0 + 2 * 3600 + 1);
  is(error_of($old), $EXPIRED, 'past the token life: expired');
  my $future = send_form($cgi, token => $token, at => $T0 - 3600);
  is(error_of($future), $EXPIRED, 'issued in the future: refused');
  is(scalar @{send_form($cgi, token => $token, at => $T0 + 5)->{mails}}, 2, 'five seconds: sent');

  # The confirmation page carries on the form's token, so the time counts from the form.
  my $contact = make_cgi('contact', guard => { MinSeconds => 5 });
  my ($first) = form_page($contact);
  my @valid = (name => e('山田'), email => 'taro@example.com', email2 => 'taro@example.com',
    body => 'x', agree => e('同意する'), __qp_token__ => $first);
  my $confirm = $contact->request(method => 'POST', form => [@valid, __action1__ => 'x'],
    env => { QP_TEST_NOW => $T0 + 6, REMOTE_ADDR => '192.0.2.9' });
  is((QpCgi::form_guard($confirm->{body}))[0], $first, 'the confirmation page keeps the token');
  my $sent = $contact->request(method => 'POST', form => [@valid, __action2__ => 'x'],
    env => { QP_TEST_NOW => $T0 + 7, REMOTE_ADDR => '192.0.2.9' });
  is(scalar @{$sent->{mails}}, 2, 'sent from the confirmation page');
};

subtest 'one token, one send; another site cannot make its visitors send' => sub {
  my $cgi = guarded(LimitCount => 0, ReplyLimit => 0);
  my ($token) = form_page($cgi);
  my @mails = map { scalar @{send_form($cgi, token => $token)->{mails}} } 1 .. 3;
  is_deeply(\@mails, [2, 0, 0], 'the token sends once');
  my $again = send_form($cgi, token => $token);
  is(error_of($again), $EXPIRED, 'then it is refused as expired');
  my ($fresh) = QpCgi::form_guard($again->{body});
  is(scalar @{send_form($cgi, token => $fresh, at => $T0 + 20)->{mails}}, 2, 'the fresh token of that page sends');

  # Ten at once with one token: the state file's lock lets exactly one through.
  my ($shared) = form_page($cgi);
  my @kids = map {
    my $n = $_;
    my $pid = fork // die "fork: $!\n";
    unless ($pid) {
      my $clone = bless { %$cgi, dir => "$cgi->{dir}/same$n", maildir => "$cgi->{dir}/same$n" }, ref $cgi;
      mkdir $clone->{dir};
      my $r = send_form($clone, token => $shared);
      exit($r->{status} == 302 ? 0 : 1);
    }
    $pid;
  } 1 .. 10;
  my %exits;
  $exits{waitpid($_, 0) && $? >> 8}++ for @kids;
  is_deeply(\%exits, { 0 => 1, 1 => 9 }, 'ten at once with one token: one sends');

  # The confirmation step may be passed again; the send only once.
  my $contact = make_cgi('contact', guard => { MinSeconds => 0 });
  my ($first) = form_page($contact);
  my @valid = (name => e('山田'), email => 'taro@example.com', email2 => 'taro@example.com',
    body => 'x', agree => e('同意する'), __qp_token__ => $first);
  my $post = sub {
    $contact->request(method => 'POST', form => [@valid, @_], env => { QP_TEST_NOW => $T0 + 6, REMOTE_ADDR => '192.0.2.9' });
  };
  my @confirms = map { u($post->(__action1__ => 'x')->{body}) =~ /確認画面/ ? 1 : 0 } 1 .. 2;
  is_deeply(\@confirms, [1, 1], 'the confirmation page twice');
  is_deeply([map { scalar @{$post->(__action2__ => 'x')->{mails}} } 1 .. 2], [2, 0], 'the send once');

  # A page of another site that posts here: refused before anything, as if expired.
  my %foreign = (
    'Origin of another host' => { HTTP_ORIGIN => 'https://evil.example' },
    'Origin null' => { HTTP_ORIGIN => 'null' },
    'Referer of another host, no Origin' => { HTTP_REFERER => 'http://evil.example/www.example.com/form' },
    'Sec-Fetch-Site: cross-site' => { HTTP_SEC_FETCH_SITE => 'cross-site', HTTP_ORIGIN => 'http://www.example.com' },
    'a look-alike host' => { HTTP_ORIGIN => 'http://www.example.com.evil.example' },
  );
  for my $label (sort keys %foreign) {
    my ($t) = form_page($cgi);
    my $r = send_form($cgi, token => $t, env => $foreign{$label});
    is(scalar @{$r->{mails}}, 0, "$label: no mail");
    is(error_of($r), $EXPIRED, "$label: the expired message");
    unlike(u($r->{body}), qr/visitor\@example\.org/, "$label: nothing of the post shown");
  }
  my %own = (
    'Origin of this host and port' => { HTTP_ORIGIN => 'https://WWW.example.com:8443', HTTP_HOST => 'www.example.com:8443' },
    'Referer of this host' => { HTTP_REFERER => 'http://www.example.com/cgi-bin/form.cgi' },
    'Sec-Fetch-Site: same-origin' => { HTTP_SEC_FETCH_SITE => 'same-origin' },
  );
  for my $label (sort keys %own) {
    my ($t) = form_page($cgi);
    is(scalar @{send_form($cgi, token => $t, env => $own{$label})->{mails}}, 2, "$label: sent");
  }
};

subtest 'the honeypot tells nothing and counts only with a valid token' => sub {
  my $cgi = guarded(LimitCount => 2);
  my (undef, $bait) = form_page($cgi);
  my $r = $cgi->request(env => { REMOTE_ADDR => '192.0.2.1' });
  like(u($r->{body}), qr{<div style="position: absolute; left: -10000px;[^"]*" aria-hidden="true">.*?<label>この欄は空のままにしてください <input type="text" name="\Q$bait\E" value="" tabindex="-1" autocomplete="off" /></label></div>}s,
    'off-screen, hidden from screen readers, out of the tab order');

  # Without a valid token, filling the trap changes nothing in the answer and counts nothing.
  my ($stale) = form_page($cgi, at => $T0 - 86400 * 2);
  for my $case ([none => undef], [stale => $stale]) {
    my @answers = map {
      my $hit = send_form($cgi, token => $case->[1], extra => [$_ ? ($bait => 'http://spam.example/') : ()]);
      (my $body = $hit->{body}) =~ s/value="[0-9a-f.]+"/value=""/;
      "$hit->{status} " . scalar(@{$hit->{mails}}) . " $body";
    } 0, 1;
    is($answers[1], $answers[0], "$case->[0] token: the same answer with and without the trap");
  }
  # A cross-site image that fills the trap with a token of its own: a GET never counts.
  for (1 .. 3) {
    my ($t) = form_page($cgi);
    $cgi->request(form => [email => 'x@example.org', __action1__ => 1, __qp_token__ => $t, $bait => 'x'],
      env => { QP_TEST_NOW => $T0 + 10, REMOTE_ADDR => '192.0.2.1', HTTP_SEC_FETCH_SITE => 'cross-site' });
  }
  ok(!-s $cgi->state_file, 'nothing counted');

  # With a valid token: the finish as after a send, nothing sent, the address counted.
  for (1 .. 2) {
    my ($t) = form_page($cgi);
    my $hit = send_form($cgi, token => $t, extra => [$bait => 'http://spam.example/']);
    is($hit->{status}, 302, 'the redirect as after a send');
    is(scalar @{$hit->{mails}}, 0, 'no mail');
  }
  my ($t) = form_page($cgi);
  my $after = send_form($cgi, token => $t);
  is($after->{status}, 429, 'the hits counted against the address');
  is(send_form($cgi, token => $t, extra => [$bait => 'x'])->{status}, 429, 'at the limit the trap answers 429 too');

  # The trap's name changes with the make's secret, among names no item uses: here an item
  # takes the name a bot would fill first.
  (my $script = $cgi->script_text) =~ s/ATTR => 'your_message'/ATTR => 'url'/ or die "no item to rename\n";
  my %names;
  for my $n (1 .. 12) {
    (my $other = $script) =~ s/SECRET => '[0-9a-f]+'/"SECRET => '" . sprintf('%064x', $n * 7919) . "'"/e;
    QpCgi::_write($cgi->{cgi}, $other);
    $names{(form_page($cgi))[1]}++;
  }
  cmp_ok(scalar keys %names, '>=', 3, 'several names: ' . join(' ', sort keys %names));
  ok(!$names{url}, 'never an item\'s');
};

subtest 'a burst from one address stops at the limit' => sub {
  my $cgi = guarded(LimitCount => 3, LimitMinutes => 10, ReplyLimit => 0);
  my @sent = map { scalar @{send_form($cgi, token => (form_page($cgi))[0], email => "v$_\@example.org")->{mails}} } 1 .. 5;
  is_deeply(\@sent, [2, 2, 2, 0, 0], 'three sends, then none');
  my $r = send_form($cgi, token => (form_page($cgi))[0]);
  is($r->{status}, 429, 'status 429');
  like(u($r->{body}), qr/\Q$TOO_MANY\E/, 'the page says why');
  is(scalar @{send_form($cgi, token => (form_page($cgi))[0], from => '198.51.100.7')->{mails}}, 2,
    'another address still sends');
  is(scalar @{send_form($cgi, token => (form_page($cgi, at => $T0 + 600))[0], at => $T0 + 10 + 601)->{mails}}, 2,
    'the first address again once its window has passed');

  # IPv6: one subscriber's /64 is one visitor; one /48 gets four times the limit.
  my $v6 = guarded(LimitCount => 2);
  my @from = ('2001:db8:1:2::1', '2001:db8:1:2:ffff:0:0:9', '2001:DB8:1:2::abcd', '2001:db8:1:3::1');
  my @v6 = map { send_form($v6, token => (form_page($v6))[0], from => $_)->{status} } @from;
  is_deeply(\@v6, [302, 302, 429, 302], 'the third host of one /64 refused, the next /64 not')
    or diag explain \@v6;
  my @wide = map { my $net = $_; map { send_form($v6, token => (form_page($v6))[0], from => "2001:db8:1:$net\::$_")->{status} } 1 .. 2 } 4 .. 7;
  is_deeply(\@wide, [(302) x 5, (429) x 3], 'eight sends of one /48, then 429 from its every /64')
    or diag explain \@wide;
  is(send_form($v6, token => (form_page($v6))[0], from => '2001:db8:2:1::1')->{status}, 302, 'another /48 sends');
};

subtest 'automatic replies: one limit per mailbox, a cap in all, a short echo' => sub {
  my $cgi = guarded(ReplyLimit => 2);
  my @mails = map { send_form($cgi, token => (form_page($cgi))[0], from => "192.0.2.$_")->{mails} } 1 .. 4;
  is_deeply([map { scalar @$_ } @mails], [2, 2, 1, 1], 'the site hears of all four, the visitor twice');
  is_deeply($mails[3][0]{args}, ['-fadmin@example.com', '-oi', 'admin@example.com'], 'the one left is the site\'s');

  # Spellings of one mailbox share its limit; spellings that are no plain address get no reply.
  my $one = guarded(ReplyLimit => 1);
  my $n = 0;
  my $replies = sub { [map { scalar(@{send_form($one, token => (form_page($one))[0], email => $_, from => '192.0.2.' . ++$n)->{mails}}) - 1 } @_] };
  is_deeply($replies->('victim@example.org', 'Victim@Example.ORG', 'victim+1@example.org', 'v.ictim@example.org'),
    [1, 0, 0, 0], 'case, a +tag and dots: one mailbox');
  my @odd = ('.victim@example.org', 'victim.@example.org', 'vic..tim@example.org', 'victim%example.org@relay.example',
    'example.org!victim@relay.example', '=?utf-8?q?victim?=@example.org', '"victim"@example.org', 'victim(x)@example.org');
  is_deeply($replies->(@odd), [(0) x @odd], 'routes, quotes, comments and encoded words: no reply');
  is_deeply($replies->('other@example.org'), [1], 'another mailbox still gets its reply');

  my $capped = guarded(ReplyLimit => 5, ReplyPerHour => 3, LimitCount => 0);
  my @hour = map { scalar(@{send_form($capped, token => (form_page($capped))[0], email => "r$_\@example.org")->{mails}}) - 1 } 1 .. 5;
  is_deeply(\@hour, [1, 1, 1, 0, 0], 'three replies an hour in all');
  is(scalar @{send_form($capped, token => (form_page($capped, at => $T0 + 3600))[0], at => $T0 + 3611)->{mails}}, 2,
    'and again an hour later');

  for my $charset ('EUC-JP', 'UTF-8') {
    my $echo = make_cgi('redirect', charset => $charset, guard => { UseToken => 0, ReplyEchoChars => 10 });
    my $long = '一二三四五六七八九十①http://spam.example/';
    my $value = $charset eq 'UTF-8' ? Encode::encode('UTF-8', $long) : e($long);
    my $r = $echo->request(method => 'POST', form => [email => 'a@example.org', your_message => $value, __action1__ => 1]);
    my ($admin, $reply) = @{$r->{mails}};
    is($reply->{body}, "一二三四五六七八九十…\r\n", "$charset: the reply shows ten characters and \"…\"");
    like($admin->{body}, qr/\Q$long\E/, "$charset: the site's mail the whole value");
  }
};

subtest 'twenty sends at once from one address send exactly the limit' => sub {
  my $cgi = guarded(LimitCount => 5, ReplyLimit => 0);
  my @tokens = map { (form_page($cgi))[0] } 1 .. 20;
  my @kids;
  for my $n (1 .. 20) {
    my $pid = fork;
    die "fork: $!\n" unless defined $pid;
    if ($pid == 0) {
      # Each its own mail folder: a request lists the folder's mails while another's are written.
      my $clone = bless { %$cgi, dir => "$cgi->{dir}/req$n", maildir => "$cgi->{dir}/req$n" }, ref $cgi;
      mkdir $clone->{dir};
      my $r = send_form($clone, token => $tokens[$n - 1]);
      exit($r->{status} == 200 || $r->{status} == 302 ? 0 : $r->{status} == 429 ? 1 : 2);
    }
    push @kids, $pid;
  }
  my %exits;
  $exits{waitpid($_, 0) && $? >> 8}++ for @kids;
  is_deeply(\%exits, { 0 => 5, 1 => 15 }, 'five went through, fifteen got 429');
  my @files = glob("$cgi->{dir}/req*/mail*.eml");
  is(scalar @files, 10, 'five mails to the site, five replies');
};

subtest 'a flood cannot reset the limits' => sub {
  my $cgi = guarded(LimitCount => 2, ReplyLimit => 2);
  my $victim = sub { send_form($cgi, token => (form_page($cgi))[0], email => 'victim@example.org', @_) };
  is_deeply([map { scalar @{$victim->(from => '192.0.2.50')->{mails}} } 1 .. 2], [2, 2],
    'a visitor at the reply limit, from an address at its send limit');
  my $before = QpCgi::_read($cgi->state_file);

  # Trap hits without a token, and posts with fresh tokens from the address at its limit.
  my (undef, $bait) = form_page($cgi);
  send_form($cgi, extra => [$bait => 'http://spam.example/'], from => '192.0.2.66') for 1 .. 40;
  my @limited = map { send_form($cgi, token => (form_page($cgi))[0], from => '192.0.2.50')->{status} } 1 .. 10;
  is_deeply(\@limited, [(429) x 10], 'the address at its limit stays there');
  is(QpCgi::_read($cgi->state_file), $before, 'and the flood added not one line');

  # What a flood from 2,500 addresses at their limits leaves: the sends' lines at their
  # bound, the replies' counts untouched.
  QpCgi::_write($cgi->state_file, $before . join("", map { sprintf("A %032x %d\n", $_, $T0 + 10) } 1 .. 5000));
  send_form($cgi, token => (form_page($cgi))[0], from => '198.51.100.1', email => 'other@example.org');
  is(scalar @{$victim->(from => '198.51.100.2')->{mails}}, 1, 'the visitor still gets no third reply');
  my $after = QpCgi::_read($cgi->state_file);
  is(scalar(() = $after =~ /^A /mg), 2000, 'the sends held to their bound');
  is(scalar(() = $after =~ /^R /mg), 3, 'the replies kept');
};

subtest 'the state file keeps no address and its loss only costs the limits' => sub {
  my $cgi = guarded();
  send_form($cgi, token => (form_page($cgi))[0], from => '203.0.113.45', email => 'secret.person@example.org');
  send_form($cgi, token => (form_page($cgi))[0], from => '2001:db8:aa::1');
  my $state = QpCgi::_read($cgi->state_file);
  like($state, qr/\A(?:[ANRT] [0-9a-f]{32} \d+\n){7}\z/, 'only keyed hashes, spent tokens and times');
  unlike($state, qr/203\.0\.113|2001:db8|secret\.person|example\.org/i, 'no address in clear');
  is((stat $cgi->state_file)[2] & 07777, 0600, 'readable by the script\'s owner only');

  my $blocked = guarded(LimitCount => 1);
  mkdir $blocked->state_file or die $!;
  my ($token) = form_page($blocked);
  my @r = map { send_form($blocked, token => $token) } 1 .. 2;
  is_deeply([map { scalar @{$_->{mails}} } @r], [2, 2], 'the form still sends, without limits');
  like($r[0]{stderr}, qr/\AQuillpost: \S+\.htquillpost-form\.cgi cannot be opened .*\n\z/,
    'one line in the error log');
};

subtest 'the administrator mail comes From the site unless told otherwise' => sub {
  my @valid = (name => e('山田'), email => 'taro@example.com', email2 => 'taro@example.com',
    body => 'x', agree => e('同意する'), __action2__ => 'x');
  for my $visitor_from (0, 1) {
    my $cgi = make_cgi('contact', guard => { UseToken => 0, VisitorFrom => $visitor_from });
    my $r = $cgi->request(method => 'POST', form => \@valid, env => { REMOTE_ADDR => '192.0.2.1' });
    my ($admin) = grep { $_->{args}[-1] eq 'admin@example.com' } @{$r->{mails}};
    ok($admin, "VisitorFrom=$visitor_from: sent") or next;
    if ($visitor_from) {
      is($admin->{header}{from}, 'taro@example.com', 'From the visitor as the project says');
      ok(!exists $admin->{header}{'reply-to'}, 'no Reply-To');
    } else {
      is($admin->{header}{from}, 'admin@example.com', 'From the administrator\'s own address');
      is($admin->{header}{'reply-to'}, 'taro@example.com', 'the visitor in Reply-To');
    }
  }
};

subtest 'a UTF-8 script says it in UTF-8' => sub {
  my $cgi = make_cgi('redirect', charset => 'UTF-8', guard => {});
  my $form = $cgi->request(env => { QP_TEST_NOW => $T0 });
  like(Encode::decode('UTF-8', $form->{body}), qr/<label>\Qこの欄は空のままにしてください\E /,
    'the honeypot\'s label');
  my $r = send_form($cgi);
  my ($error) = $r->{body} =~ m{<p id="error">(.*?)</p>}s;
  is(Encode::decode('UTF-8', $error), $EXPIRED, 'the refusal');
};

subtest 'a project file without GUARD is made with every defence on' => sub {
  my $cgi = make_cgi('redirect', guard => 'project');
  like(QpCgi::_read($cgi->{cgi}), qr/USE_TOKEN => 1,\r\n  MIN_SECONDS => 3,\r\n  TOKEN_HOURS => 24,\r\n  USE_HONEYPOT => 1,\r\n  LIMIT_COUNT => 5,\r\n  LIMIT_MINUTES => 60,\r\n  REPLY_LIMIT => 2,\r\n  VISITOR_FROM => 0,\r\n  REPLY_PER_HOUR => 20,\r\n  REPLY_ECHO_CHARS => 500,\r\n  ENVELOPE_FROM => '',/,
    'the defaults');
  my ($token, $bait) = form_page($cgi);
  ok($token && $bait, 'token and honeypot in the form');
  is(scalar @{send_form($cgi)->{mails}}, 0, 'a post without the token sends nothing');
  is(scalar @{send_form($cgi, token => $token, at => $T0 + 2)->{mails}}, 0, 'nor one within 3 s');
  is(scalar @{send_form($cgi, token => $token, at => $T0 + 3)->{mails}}, 2, 'the visitor\'s does');
};

subtest 'a script made before the defences runs on this runtime (the moment of a deploy between renames)' => sub {
  my $cgi = guarded(UseToken => 0, UseHoneypot => 0, LimitCount => 0, ReplyLimit => 0, MinSeconds => 0);
  my $script = $cgi->script_text;
  $script =~ s/^my \$guard = \{.*?^\};\r\n//ms or die "no guard block\n";
  $script =~ s/, GUARD => \$guard, CLOCK => sub \{ \$ENV\{QP_TEST_NOW\} \|\| time \}\)/)/
    or die "no GUARD argument\n";
  QpCgi::_write($cgi->{cgi}, $script);
  unlike($script, qr/GUARD/, 'the script has no defences');
  my $r = $cgi->request;
  is($r->{status}, 200, 'the form page');
  is($r->{stderr}, '', 'no warning');
  is(scalar @{send_form($cgi)->{mails}}, 2, 'and its post sends');
};

done_testing;
