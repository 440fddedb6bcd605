# Test helper for the Perl runtime: makes a real CGI from a fixture project with
# quillpost-cli, runs it as a web server would (environment, standard input) with a
# stand-in sendmail, and takes the response and the delivered mails apart.
package QpCgi;
use strict;
use warnings;
use Cwd qw(abs_path);
use Encode ();
use File::Basename qw(dirname);
use File::Copy qw(copy);
use File::Temp qw(tempdir);
use MIME::Base64 qw(decode_base64);
use Exporter 'import';

our @EXPORT_OK = qw(cli_path make_cgi e u urlencode parse_mail);

my $HERE = abs_path(dirname(__FILE__));
my $ROOT = abs_path("$HERE/../..");

# quillpost-cli: $QP_CLI (set by CTest), else a build folder of the source tree.
sub cli_path {
  for my $cli ($ENV{QP_CLI}, map { "$ROOT/$_/quillpost-cli" } qw(build build-perl)) {
    return $cli if defined $cli && -x $cli;
  }
  return undef;
}

# The runtime files: the build's lib/ copy when CTest gives it, else the sources.
sub runtime_dir { $ENV{QP_RUNTIME_LIB} || "$ROOT/lib" }

# Perl characters to EUC-JP bytes as browsers and the make send them (the Windows
# flavour: ①, 髙, the full-width tilde and hyphen), through iconv's EUC-JP-MS; and back.
# Encode's EUC-JP does the common characters in-process (with the Windows code points
# mapped to its own); iconv is asked only for the extension characters.
sub e {
  my ($text) = @_;
  (my $jis = $text) =~ tr/\x{FF5E}\x{FF0D}\x{2225}\x{FFE0}\x{FFE1}\x{FFE2}/\x{301C}\x{2212}\x{2016}\x{A2}\x{A3}\x{AC}/;
  if ($jis !~ /[\x{2460}-\x{33FF}\x{F900}-\x{FA2F}\x{2170}-\x{217F}\x{FFE4}\x{FF07}\x{FF02}]/) {
    my $bytes = eval { Encode::encode('euc-jp', $jis, Encode::FB_CROAK | Encode::LEAVE_SRC) };
    return $bytes if defined $bytes;
  }
  return _iconv('UTF-8', 'EUC-JP-MS', Encode::encode('UTF-8', $text));
}

sub u {
  my ($bytes) = @_;
  return Encode::decode('UTF-8', _iconv('EUC-JP-MS', 'UTF-8', $bytes))
    if $bytes =~ /[\x8F\xAD\xF5-\xFE]/;
  my $text = Encode::decode('euc-jp', $bytes);
  $text =~ tr/\x{301C}\x{2212}\x{2016}\x{A2}\x{A3}\x{AC}/\x{FF5E}\x{FF0D}\x{2225}\x{FFE0}\x{FFE1}\x{FFE2}/;
  return $text;
}

sub _iconv {
  my ($from, $to, $bytes) = @_;
  my $pid = open(my $pipe, '-|');
  die "fork: $!\n" unless defined $pid;
  if ($pid == 0) {
    open(my $in, '|-', 'iconv', '-f', $from, '-t', $to) or die "iconv: $!\n";
    binmode $in;
    print $in $bytes;
    close $in or exit 1;
    exit 0;
  }
  binmode $pipe;
  my $out = do { local $/; <$pipe> };
  close $pipe or die "iconv -f $from -t $to failed\n";
  return defined $out ? $out : '';
}

sub urlencode {
  my ($bytes) = @_;
  $bytes =~ s/([^A-Za-z0-9\-_.~])/sprintf('%%%02X', ord $1)/ge;
  return $bytes;
}

# The abuse defences switched off, for the tests of everything else.
my %GUARD_OFF = (UseToken => 0, MinSeconds => 0, UseHoneypot => 0, LimitCount => 0,
  ReplyLimit => 0, VisitorFrom => 1, ReplyPerHour => 0, ReplyEchoChars => 0);

# Makes form.cgi from tests/lib/fixtures/NAME.qpf (or from NAME, a path) in a new folder, with the
# stand-in sendmail in place of the project's SendmailPath and the three runtime files beside it.
# Options: charset => 'UTF-8' makes the project's script in UTF-8; inbox => 1 makes a key pair
# (inbox-key.pem beside the script) and keeps every send in the inbox.
# guard => { GUARD key => value } replaces the project's GUARD section (default:
# every defence off; 'project' keeps the file's own, or the defaults when it has none).
# The script's clock reads QP_TEST_NOW (seconds since the epoch) when a request sets it.
# edit => sub { ... } changes the project's text (in $_[0], Shift_JIS) before the make.
sub make_cgi {
  my ($name, %o) = @_;
  my $cli = cli_path() or die "quillpost-cli is not built\n";
  my $dir = tempdir('qp-cgi-XXXXXX', TMPDIR => 1, CLEANUP => 1);
  my $project = do {
    my $file = $name =~ m{/} ? $name : "$HERE/fixtures/$name.qpf";
    open(my $fh, '<:raw', $file) or die "$name.qpf: $!\n";
    local $/;
    <$fh>;
  };
  $project =~ s/^SendmailPath=[^\r\n]*/SendmailPath=$HERE\/bin\/sendmail/m
    or die "$name.qpf has no SendmailPath\n";
  $project =~ s/^(SendmailPath=[^\r\n]*\r\n)/$1Charset=$o{charset}\r\n/m if $o{charset};
  $o{edit}->($project) if $o{edit};
  my $guard = exists $o{guard} ? $o{guard} : \%GUARD_OFF;
  if (ref $guard) {
    $project =~ s/^\[GUARD\]\r\n(?:[^\[][^\r\n]*\r\n)*//m;
    $project .= join '', "[GUARD]\r\n", map { "$_=$guard->{$_}\r\n" } sort keys %$guard;
  }
  open(my $out, '>:raw', "$dir/project.qpf") or die "$dir: $!\n";
  print $out $project;
  close $out;
  open(my $saved, '>&', \*STDOUT) or die "dup: $!\n";
  open(STDOUT, '>', '/dev/null') or die "/dev/null: $!\n";
  if ($o{inbox}) {
    local $ENV{QUILLPOST_INBOX_PASSPHRASE} = '';
    open(my $err, '>&', \*STDERR) or die "dup: $!\n";
    open(STDERR, '>', '/dev/null') or die "/dev/null: $!\n";
    my $made = system($cli, 'inbox', "$dir/project.qpf", '--new-key', "$dir/inbox-key.pem");
    open(STDERR, '>&', $err) or die "dup: $!\n";
    $made == 0
      or die "quillpost-cli inbox --new-key failed\n";
  }
  my $status = system($cli, 'make', "$dir/project.qpf", '-o', "$dir/form.cgi");
  open(STDOUT, '>&', $saved) or die "dup: $!\n";
  die "quillpost-cli make $name.qpf failed ($status)\n" if $status != 0;
  my $script = _read("$dir/form.cgi");
  $script =~ s/GUARD => \$guard(?=[,)])/GUARD => \$guard, CLOCK => sub { \$ENV{QP_TEST_NOW} || time }/
    or die "form.cgi hands no GUARD to the runtime\n";
  _write("$dir/form.cgi", $script);
  for my $file (qw(Quillpost.pm jcode.pl mimew.pl)) {
    copy(runtime_dir() . "/$file", "$dir/$file") or die "$file: $!\n";
  }
  mkdir "$dir/mail" or die "$dir/mail: $!\n";
  return bless { dir => $dir, cgi => "$dir/form.cgi", maildir => "$dir/mail" }, __PACKAGE__;
}

# The state file of the limits, beside the script.
sub state_file { "$_[0]{dir}/.htquillpost-form.cgi" }

# The token and the honeypot's name that a page's form carries.
sub form_guard {
  my ($page) = @_;
  my ($token) = $page =~ /name="__qp_token__" value="([^"]*)"/;
  my ($bait) = $page =~ /<label>[^<]*<input type="text" name="(\w+)" value="" tabindex="-1"/;
  return ($token, $bait);
}

sub script_text {
  my ($self) = @_;
  open(my $fh, '<:raw', $self->{cgi}) or die "$self->{cgi}: $!\n";
  local $/;
  return scalar <$fh>;
}

# Runs one request. Options: method (GET), form (list of name => EUC-JP value pairs,
# sent as the query string of a GET or the urlencoded body of a POST), body and
# content_type (a raw POST body), query, env (more variables), sendmail_exit, refuse_f (the
# stand-in sendmail refuses -f as an untrusted user's), script and
# cwd (the path perl is given and the folder it runs in; the made script and "/"), limit
# (seconds after which the script is killed).
# Returns { status, headers, body, stderr, mails, killed }.
sub request {
  my ($self, %o) = @_;
  my $method = $o{method} || 'GET';
  my @pairs = @{$o{form} || []};
  my $encoded = join '&',
    map { urlencode($pairs[2 * $_]) . '=' . urlencode($pairs[2 * $_ + 1]) } 0 .. @pairs / 2 - 1;
  my $body = '';
  my %env = (
    PATH            => '/usr/bin:/bin',
    GATEWAY_INTERFACE => 'CGI/1.1',
    REQUEST_METHOD  => $method,
    SCRIPT_NAME     => '/cgi-bin/form.cgi',
    SERVER_NAME     => 'www.example.com',
    SERVER_PORT     => '80',
    QP_MAIL_DIR     => $self->{maildir},
    QP_SENDMAIL_EXIT => $o{sendmail_exit} || 0,
    QP_SENDMAIL_REFUSE_F => $o{refuse_f} ? 1 : undef,
  );
  if ($method eq 'POST') {
    $body = defined $o{body} ? $o{body} : $encoded;
    $env{CONTENT_LENGTH} = length $body;
    $env{CONTENT_TYPE} = $o{content_type} || 'application/x-www-form-urlencoded';
  } else {
    $env{QUERY_STRING} = defined $o{query} ? $o{query} : $encoded;
  }
  %env = (%env, %{$o{env} || {}});
  delete $env{$_} for grep { !defined $env{$_} } keys %env;

  my $before = () = glob("$self->{maildir}/mail*.eml");
  my ($in, $out, $err) = map { "$self->{dir}/request.$_" } qw(in out err);
  _write($in, $body);
  my $pid = fork;
  die "fork: $!\n" unless defined $pid;
  if ($pid == 0) {
    %ENV = %env;
    chdir($o{cwd} || '/') or die;
    open(STDIN, '<', $in) or die;
    open(STDOUT, '>', $out) or die;
    open(STDERR, '>', $err) or die;
    exec { $^X } $^X, $o{script} || $self->{cgi};
    exit 127;
  }
  my $killed = 0;
  {
    local $SIG{ALRM} = sub { $killed = kill 'KILL', $pid };
    alarm($o{limit} || 0);
    waitpid($pid, 0);
    alarm 0;
  }
  my $exit = $? >> 8;
  my $response = _read($out);
  my ($head, $page) = split /\r?\n\r?\n/, $response, 2;
  my %headers;
  for my $line (split /\r?\n/, defined $head ? $head : '') {
    $headers{lc $1} = $2 if $line =~ /\A([\w-]+):\s*(.*)\z/;
  }
  my ($status) = ($headers{status} || '200') =~ /\A(\d+)/;
  my @files = sort { ($a =~ /(\d+)\.eml\z/)[0] <=> ($b =~ /(\d+)\.eml\z/)[0] }
    glob("$self->{maildir}/mail*.eml");
  my @mails = map { parse_mail(_read($_), _read(($_ =~ s/\.eml\z/.args/r))) }
    @files[$before .. $#files];
  return {
    exit => $exit, status => $status, headers => \%headers,
    body => defined $page ? $page : '', stderr => _read($err), mails => \@mails,
    killed => $killed,
  };
}

# A delivered message: raw text, argv, unfolded raw headers, decoded headers and body.
sub parse_mail {
  my ($raw, $args) = @_;
  my ($head, $body) = split /\n\n/, $raw, 2;
  my (%raw_headers, @order);
  for my $field (split /\n(?![ \t])/, $head) {
    my ($name, $value) = $field =~ /\A([\w-]+):[ ]?(.*)\z/s or next;
    push @order, $name;
    push @{$raw_headers{lc $name}}, $value;
  }
  my %decoded = map {
    my $v = join ' ', @{$raw_headers{$_}};
    $v =~ s/\n[ \t]//g;
    ($_ => Encode::decode('MIME-Header', $v));
  } keys %raw_headers;
  my $text = ($raw_headers{'content-transfer-encoding'}[0] || '') =~ /base64/i
    ? decode_base64($body) : $body;
  return {
    raw => $raw, head => $head, args => [split /\n/, defined $args ? $args : ''],
    order => \@order, raw_headers => \%raw_headers, header => \%decoded,
    body_bytes => $text, body => Encode::decode('UTF-8', $text),
  };
}

sub _write {
  my ($path, $data) = @_;
  open(my $fh, '>:raw', $path) or die "$path: $!\n";
  print $fh $data;
  close $fh or die "$path: $!\n";
}

sub _read {
  my ($path) = @_;
  open(my $fh, '<:raw', $path) or return '';
  local $/;
  my $data = <$fh>;
  return defined $data ? $data : '';
}

1;
