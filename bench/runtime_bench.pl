#!/usr/bin/perl
# Times one request of a made CGI (form page GET, confirmation POST, send POST) beside a
# bare "perl -e 1" on the same machine, runs interleaved so that load changes hit every
# case alike. The script comes from tests/lib/fixtures/contact.qpf through quillpost-cli;
# sendmail is a shell script that swallows the message.
#
#   perl bench/runtime_bench.pl [--runs N] [--cli PATH]
#
# Also times "perl -Mstrict -Mwarnings -e 1", the floor of any request: the runtime loads
# those two pragmas and itself for a form page, nothing else; and the same project made in
# UTF-8 (its form page GET and confirmation POST, each timed right after its EUC-JP twin);
# and the send POST of the same project with the inbox on (every send encrypted and stored
# beside the script first), right after the send without it: the difference is the inbox's.
#
# Every abuse defence is on (the project's defaults): the posts carry their form page's
# token, the script's test clock puts them 10 s after it, and each run comes from another
# address with another visitor address, so that the limits count but never refuse. A token
# sends once: every send gets the token of a form page of its own (fetched untimed), each
# 181 s after the one before, so that the cap of automatic replies an hour never bites and
# the state file holds what a day of sends leaves in it.
use strict;
use warnings;
use utf8;
use File::Basename qw(dirname);
use Getopt::Long;
use Time::HiRes qw(time);
use Cwd qw(abs_path);

my $root = abs_path(dirname(__FILE__) . '/..');
my ($runs, $cli) = (200, undef);
GetOptions('runs=i' => \$runs, 'cli=s' => \$cli) or die "usage: $0 [--runs N] [--cli PATH]\n";
$ENV{QP_CLI} = $cli if defined $cli;
unshift @INC, "$root/tests/lib";
require QpCgi;
QpCgi::cli_path() or die "quillpost-cli not found: build it or pass --cli\n";

my $cgi = QpCgi::make_cgi('contact', guard => 'project');
my $dir = $cgi->{dir};
open(my $sm, '>', "$dir/sendmail") or die $!;
print $sm "#!/bin/sh\ncat >/dev/null\n";
close $sm;
chmod 0755, "$dir/sendmail";
my $text = $cgi->script_text;
$text =~ s{SENDMAIL => '[^']*'}{SENDMAIL => '$dir/sendmail'} or die "no SENDMAIL line\n";
write_file("$dir/form.cgi", $text);
my $utf8 = QpCgi::make_cgi('contact', charset => 'UTF-8', guard => 'project');
(my $utf8_text = $utf8->script_text) =~ s{SENDMAIL => '[^']*'}{SENDMAIL => '$dir/sendmail'}
  or die "no SENDMAIL line\n";
write_file("$utf8->{dir}/form.cgi", $utf8_text);
my $inbox = QpCgi::make_cgi('contact', guard => 'project', inbox => 1);
(my $inbox_text = $inbox->script_text) =~ s{SENDMAIL => '[^']*'}{SENDMAIL => '$dir/sendmail'}
  or die "no SENDMAIL line\n";
write_file("$inbox->{dir}/form.cgi", $inbox_text);

my $e = \&QpCgi::e;
my @valid = (name => $e->('山田 太郎'), email => 'taro@example.com', email2 => 'taro@example.com',
  zip => $e->('１２３－４５６７'), tel => '03-1234-5678', kana => $e->('ﾔﾏﾀﾞ'), code => 'AB12',
  nick => 'abc', pass => 'secret', body => $e->("一行目\r\n二行目"), agree => $e->('同意する'),
  sex => $e->('女'), pref => $e->('東京都'));
my @valid_utf8 = (name => '山田 太郎', email => 'taro@example.com',
  email2 => 'taro@example.com', zip => '１２３－４５６７', tel => '03-1234-5678', kana => 'ﾔﾏﾀﾞ', code => 'AB12',
  nick => 'abc', pass => 'secret', body => "一行目\r\n二行目", agree => '同意する', sex => '女', pref => '東京都');
utf8::encode($_) for @valid_utf8;
sub encode_form {
  my @p = @_;
  join '&', map { QpCgi::urlencode($p[2 * $_]) . '=' . QpCgi::urlencode($p[2 * $_ + 1]) } 0 .. @p / 2 - 1;
}

my @cases = (
  ['perl -e 1', [$^X, '-e', '1'], {}, ''],
  ['perl -Mstrict -Mwarnings -e 1', [$^X, '-Mstrict', '-Mwarnings', '-e', '1'], {}, ''],
  ['form page GET', [$^X, "$dir/form.cgi"], { REQUEST_METHOD => 'GET', QUERY_STRING => '' }, ''],
  ['form page GET, UTF-8', [$^X, "$utf8->{dir}/form.cgi"], { REQUEST_METHOD => 'GET', QUERY_STRING => '' }, ''],
  ['confirmation POST', [$^X, "$dir/form.cgi"], post_env(), encode_form(@valid, __action1__ => 'x')],
  ['confirmation POST, UTF-8', [$^X, "$utf8->{dir}/form.cgi"], post_env(), encode_form(@valid_utf8, __action1__ => 'x')],
  ['send POST', [$^X, "$dir/form.cgi"], post_env(), encode_form(@valid, __action2__ => 'x')],
  ['send POST, inbox on', [$^X, "$inbox->{dir}/form.cgi"], post_env(), encode_form(@valid, __action2__ => 'x')],
);
my $now = 1_800_000_000;
my $visitor = 0;
for my $case (grep { $_->[2]{REQUEST_METHOD} && $_->[2]{REQUEST_METHOD} eq 'POST' } @cases) {
  $case->[3] .= '&__qp_token__=' . token_of($case->[1][1], $now);
  $case->[2]{CONTENT_LENGTH} = length $case->[3];
  $case->[2]{QP_TEST_NOW} = $now + 10;
}
my ($send) = grep { $_->[0] eq 'send POST' } @cases;
my $send_clock = $now;

# The token of a form page that the script serves at $at.
sub token_of {
  my ($script, $at) = @_;
  my $page = run(['token', [$^X, $script], { REQUEST_METHOD => 'GET', QP_TEST_NOW => $at }, ''], 1);
  my ($token) = QpCgi::form_guard($page) or die "$script: the form page carries no token\n";
  return QpCgi::urlencode($token);
}

# The next send with a token of its own, as long as any other.
sub fresh_send {
  $send_clock += 181;
  my $token = token_of($send->[1][1], $send_clock);
  $send->[3] =~ s/__qp_token__=[^&]*/__qp_token__=$token/ or die "the send carries no token\n";
  $send->[2]{QP_TEST_NOW} = $send_clock + 10;
}

sub post_env { { REQUEST_METHOD => 'POST', CONTENT_TYPE => 'application/x-www-form-urlencoded' } }

# Check once that every case gives the page it should before timing it.
for my $case (grep { $_->[1][1] !~ /\A-/ } @cases) {
  fresh_send() if $case == $send;
  my $out = run($case, 1);
  die "$case->[0]: unexpected response\n$out" unless $out =~ /\AContent-Type: text\/html/
    && $out !~ /id="error">[^<]/;
}

my %wall;
my %cpu;
for (1 .. $runs) {
  for my $case (@cases) {
    fresh_send() if $case == $send;
    my @before = times;
    my $t = time;
    run($case, 0);
    push @{$wall{$case->[0]}}, time - $t;
    my @after = times;
    $cpu{$case->[0]} += $after[2] + $after[3] - $before[2] - $before[3];
  }
}

my $base_wall = median($wall{'perl -e 1'});
my $base_cpu = $cpu{'perl -e 1'} / $runs;
printf "%d runs each, interleaved; perl %s\n", $runs, $^V;
printf "%-30s %12s %8s %12s %8s\n", 'case', 'median wall', 'ratio', 'mean CPU', 'ratio';
for my $case (@cases) {
  my $w = median($wall{$case->[0]});
  printf "%-30s %9.2f ms wall, %.2f ms CPU added by the inbox\n", '', ($w - median($wall{'send POST'})) * 1000,
    ($cpu{$case->[0]} - $cpu{'send POST'}) / $runs * 1000 if $case->[0] eq 'send POST, inbox on';
  my $c = $cpu{$case->[0]} / $runs;
  printf "%-30s %9.2f ms %7.2fx %9.2f ms %7.2fx\n", $case->[0], $w * 1000, $w / $base_wall,
    $c * 1000, $base_cpu ? $c / $base_cpu : 0;
}

sub run {
  my ($case, $capture) = @_;
  my (undef, $command, $env, $body) = @$case;
  ++$visitor;
  my $address = sprintf('10.%d.%d.%d', $visitor >> 16 & 255, $visitor >> 8 & 255, $visitor & 255);
  # As long as taro@example.com, so that CONTENT_LENGTH holds.
  my $email = sprintf('t%03d', $visitor % 1000) . '%40example.com';
  $body =~ s/taro%40example\.com/$email/g;
  write_file("$dir/bench.in", $body);
  my $pid = fork;
  die "fork: $!\n" unless defined $pid;
  if ($pid == 0) {
    %ENV = (PATH => '/usr/bin:/bin', SCRIPT_NAME => '/cgi-bin/form.cgi',
      SERVER_NAME => 'www.example.com', REMOTE_ADDR => $address, %$env);
    open(STDIN, '<', "$dir/bench.in") or die;
    open(STDOUT, '>', $capture ? "$dir/bench.out" : '/dev/null') or die;
    exec { $command->[0] } @$command;
    exit 127;
  }
  waitpid($pid, 0);
  return '' unless $capture;
  open(my $fh, '<:raw', "$dir/bench.out") or die;
  local $/;
  return scalar <$fh>;
}

sub median {
  my @sorted = sort { $a <=> $b } @{$_[0]};
  return $sorted[@sorted / 2];
}

sub write_file {
  my ($path, $data) = @_;
  open(my $fh, '>:raw', $path) or die "$path: $!\n";
  print $fh $data;
  close $fh or die "$path: $!\n";
}
