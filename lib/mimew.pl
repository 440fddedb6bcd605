# MIME helpers of the form-mail runtime: RFC 2047 header words with folding, and whole
# messages with a UTF-8 base64 body. Loaded only when a mail is sent. Plain ASCII file.
package Quillpost::Mime;
use strict;
use warnings;
use MIME::Base64 ();

# Longest header line written, and the RFC 2047 limit of one encoded word.
my $LINE_MAX = 76;
my $WORD_MAX = 75;

# One UTF-8 character (a stray byte counts as one, so nothing is ever lost or split).
my $UTF8_CHAR = qr/[\x00-\x7F]|[\xC2-\xDF][\x80-\xBF]|[\xE0-\xEF][\x80-\xBF]{2}
  |[\xF0-\xF4][\x80-\xBF]{3}|[\x80-\xFF]/x;

# "Name: value" as header lines ending in LF. A value of printable ASCII that fits stays as
# it is; anything else becomes "=?UTF-8?B?...?=" words of whole characters, at most
# $WORD_MAX characters each, one word per line, continuation lines starting with a blank.
# The value is UTF-8 bytes and holds no line break (the caller refuses those).
sub header_field {
  my ($name, $value) = @_;
  my $head = "$name: ";
  if ($value =~ /\A[\x20-\x7E]*\z/ && $value !~ /=\?/
      && length($head) + length($value) <= $LINE_MAX) {
    return "$head$value\n";
  }
  my @words;
  my $room = $LINE_MAX - length($head);
  my $chunk = '';
  for my $char ($value =~ /($UTF8_CHAR)/g) {
    if ($chunk ne '' && _word_length(length($chunk) + length($char)) > $room) {
      push @words, _word($chunk);
      $chunk = '';
      $room = $LINE_MAX - 1;
    }
    $chunk .= $char;
  }
  push @words, _word($chunk) if $chunk ne '' || !@words;
  return $head . join("\n ", @words) . "\n";
}

sub _word_length {
  my ($bytes) = @_;
  my $length = 12 + 4 * int(($bytes + 2) / 3);
  return $length > $WORD_MAX ? $LINE_MAX + 1 : $length;
}

sub _word {
  my ($bytes) = @_;
  return '=?UTF-8?B?' . MIME::Base64::encode_base64($bytes, '') . '?=';
}

# RFC 5322 date of the local time with its offset from UTC.
sub date {
  my ($time) = @_;
  $time = time unless defined $time;
  my @local = localtime $time;
  my @utc = gmtime $time;
  my $offset = ($local[2] - $utc[2]) * 60 + $local[1] - $utc[1];
  my $days = $local[5] <=> $utc[5] || $local[7] <=> $utc[7];
  $offset += 1440 * $days;
  my $sign = $offset < 0 ? '-' : '+';
  $offset = abs $offset;
  return sprintf('%s, %02d %s %04d %02d:%02d:%02d %s%02d%02d',
    (qw(Sun Mon Tue Wed Thu Fri Sat))[$local[6]], $local[3],
    (qw(Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec))[$local[4]], $local[5] + 1900,
    @local[2, 1, 0], $sign, int($offset / 60), $offset % 60);
}

# The whole message, LF line ends, for sendmail. from, to and reply_to (optional) are plain
# addresses that the caller has checked (printable ASCII, at most 254 bytes): they go in as
# they are, since an encoded word is no address. subject and body are UTF-8 bytes.
sub message {
  my (%args) = @_;
  my ($domain) = $args{from} =~ /\@([A-Za-z0-9.-]+)\z/;
  $domain = 'localhost' unless defined $domain;
  my $id = sprintf('%d.%d.%06x@%s', time, $$, int(rand(0x1000000)), $domain);
  my $body = defined $args{body} ? $args{body} : '';
  $body =~ s/\r?\n/\r\n/g;
  return "From: $args{from}\n"
    . "To: $args{to}\n"
    . (defined $args{reply_to} ? "Reply-To: $args{reply_to}\n" : '')
    . header_field('Subject', defined $args{subject} ? $args{subject} : '')
    . header_field('Date', date())
    . header_field('Message-ID', "<$id>")
    . "MIME-Version: 1.0\n"
    . "Content-Type: text/plain; charset=UTF-8\n"
    . "Content-Transfer-Encoding: base64\n"
    . "\n"
    . MIME::Base64::encode_base64($body, "\n");
}

# Hands one message to sendmail: no shell, the recipient as an argument (never -t), and
# sendmail's standard output kept out of the CGI response. $sender, when given, goes as -f
# (unless the command names its own), so that bounces reach the site and SPF checks the
# site's domain; a sendmail that refuses it gets the message once more without, and says
# so in one line of the error log. Returns 1 when sent as asked, 2 when sent without the
# sender (the request's later mails may leave it out), 0 when not sent: then $FAILURE says
# why, for the caller's line in the error log.
our $FAILURE = '';

sub deliver {
  my ($command, $to, $text, $sender) = @_;
  my @command = split ' ', (defined $command ? $command : '');
  $FAILURE = 'no sendmail command';
  return 0 unless @command;
  @command = ($command[0], grep { $_ ne '-t' } @command[1 .. $#command]);
  undef $sender if grep { /\A-f/ } @command;
  my $status;
  if (defined $sender) {
    $status = _sendmail([@command, "-f$sender", '-oi', $to], $text);
    return 0 unless defined $status;
    return 1 if $status == 0;
  }
  my $refused = $status;
  $status = _sendmail([@command, '-oi', $to], $text);
  return 0 unless defined $status;
  if ($status != 0) {
    $FAILURE = "$command[0] failed (status $status)";
    return 0;
  }
  return 1 unless defined $refused;
  warn "Quillpost: $command[0] refused -f$sender (status $refused); sent without it\n";
  return 2;
}

# Runs sendmail with the message on its standard input. Returns its exit status (0: the
# message was taken whole), undef when it could not be started ($FAILURE says why).
sub _sendmail {
  my ($command, $text) = @_;
  local $SIG{PIPE} = 'IGNORE';
  $FAILURE = "standard output cannot be saved ($!)";
  open(my $saved, '>&', \*STDOUT) or return undef;
  unless (open(STDOUT, '>&', \*STDERR)) {
    open(STDOUT, '>&', $saved) or die "cannot restore STDOUT: $!\n";
    return undef;
  }
  my $pid = open(my $pipe, '|-', @$command);
  my $error = $!;
  open(STDOUT, '>&', $saved) or die "cannot restore STDOUT: $!\n";
  unless ($pid) {
    $FAILURE = "cannot run $command->[0]: $error";
    return undef;
  }
  binmode $pipe;
  my $written = print $pipe $text;
  my $closed = close $pipe;
  return $written && $closed ? 0 : $? >> 8 || 1;
}

1;
