# The form-mail runtime: reads the request, converts and checks the fields, fills the page
# templates and sends the mails that the generated CGI describes. This file is EUC-JP; a
# script made in UTF-8 says so (CHARSET) and gets its pages and messages in UTF-8.
#
# It is uploaded beside the script as it is, so it stays one file, in sections by job,
# each under a rule line: settings and messages, character codes, the course of a request,
# request reading, checks and conversions, pages and marks, abuse defences, loading. What
# a form page does not run sits after __DATA__ in groups named by job (request, checks,
# mails, inbox, guard, codes), each compiled when one of its subs is first called (see Loading).
package Quillpost;
use strict;
use warnings;

our $VERSION = '1.0';

# ---------------------------------------------------------------------------------------
# Settings and messages
#
# Package variables, as are the patterns of the next section: the groups compiled later
# (see Loading) see no lexical of this file.

# Largest request body (and query string) read; bigger requests get an error page.
our $MAX_BODY = 100 * 1024;

# A site's pattern sees at most $PATTERN_MAX_BYTES of a value (a longer value fails it), and
# all the patterns of one request together run for at most $PATTERN_SECONDS: a pattern that
# backtracks without end costs the visitor an error message, not the server its processor.
our $PATTERN_MAX_BYTES = 1024;
our $PATTERN_SECONDS = 1;

# A mail header filled with visitor values is cut to this many bytes (EUC-JP, whole
# characters); the body keeps every value whole.
our $HEADER_MAX_BYTES = 256;

# Longest address taken (RFC 5321 path limit less its angle brackets).
our $ADDRESS_MAX_BYTES = 254;

# The defences that a GUARD block made before their keys existed gets (see new).
my %GUARD_DEFAULTS = (REPLY_PER_HOUR => 20, REPLY_ECHO_CHARS => 500, ENVELOPE_FROM => '');

# The messages that visitors see; a run of a UTF-8 script converts them.
our $MSG_TOO_LARGE   = '送信されたデータが大きすぎます。';
our $MSG_SEND_FAILED = 'メールの送信に失敗しました。';
our $MSG_INTERNAL    = 'エラーが発生しました。';
our $MSG_BAD_ADDRESS = '「%s」に正しいメールアドレスを入力してください。';
our $MSG_BAD_CHARS   = '「%s」に改行などの使えない文字が含まれています。';
our $MSG_INVALID     = '「%s」の入力内容に誤りがあります。';
our $MSG_TOO_LONG    = '「%s」は%dバイト以内で入力してください。';
our $MSG_REQUIRED    = '「%s」が入力されていません。';
our $MSG_NOT_OFFERED = '「%s」は選択肢の中から選んでください。';
our $MSG_TOO_MANY    = '送信回数の上限に達しました。しばらくしてからもう一度お試しください。';

# ---------------------------------------------------------------------------------------
# Character codes: the patterns that every job uses. The conversions between the codes
# are the group "codes" after __DATA__.

# One EUC-JP character; anything else is a stray byte.
our $EUC_CHAR = qr/[\x00-\x7F]|\x8E[\xA1-\xDF]|\x8F[\xA1-\xFE][\xA1-\xFE]|[\xA1-\xFE][\xA1-\xFE]/;

# True while a script made in UTF-8 runs: its texts, the request's values and the pages are
# UTF-8 then, else all EUC-JP (see the group "codes").
our $UTF8 = 0;

# One valid UTF-8 character: no overlong form, no surrogate, nothing above U+10FFFF.
our $UTF8_CHAR = qr/[\x00-\x7F]|[\xC2-\xDF][\x80-\xBF]|\xE0[\xA0-\xBF][\x80-\xBF]
  |[\xE1-\xEC\xEE\xEF][\x80-\xBF]{2}|\xED[\x80-\x9F][\x80-\xBF]|\xF0[\x90-\xBF][\x80-\xBF]{2}
  |[\xF1-\xF3][\x80-\xBF]{3}|\xF4[\x80-\x8F][\x80-\xBF]{2}/x;

# ---------------------------------------------------------------------------------------
# The course of a request: from the script's settings to the whole response

sub new {
  my ($class, %args) = @_;
  my $self = bless {
    items => ref $args{ITEMS} eq 'ARRAY' ? $args{ITEMS} : [],
    html  => ref $args{HTML} eq 'HASH' ? $args{HTML} : {},
    mail  => ref $args{MAIL} eq 'HASH' ? $args{MAIL} : {},
    # Scripts made before the defences existed carry no GUARD and run as they always did;
    # a GUARD made before a key existed gets that key's default.
    guard => ref $args{GUARD} eq 'HASH' ? { %GUARD_DEFAULTS, %{$args{GUARD}} } : undef,
    # Tests pass a clock to age tokens; a made script never does.
    clock => ref $args{CLOCK} eq 'CODE' ? $args{CLOCK} : undef,
    # Scripts without INBOX only mail, as they always did.
    inbox => ref $args{INBOX} eq 'HASH' && $args{INBOX}{MODULUS} && $args{INBOX}{BYTES} ? $args{INBOX} : undef,
    # Scripts without CHECK answer no status request.
    check => ref $args{CHECK} eq 'HASH' && $args{CHECK}{KEY} ? $args{CHECK} : undef,
  }, $class;
  my $charset = defined $args{CHARSET} ? uc $args{CHARSET} : 'EUC-JP';
  die "Quillpost: unknown CHARSET $charset\n" unless $charset =~ /\A(?:EUC-JP|UTF-8)\z/;
  $self->{utf8} = $charset eq 'UTF-8';
  $self->{by_attr} = {};
  for my $item (@{$self->{items}}) {
    next unless ref $item eq 'HASH' && defined $item->{ATTR};
    $self->{by_attr}{$item->{ATTR}} ||= $item;
  }
  return $self;
}

# Handles the request of the environment and standard input; returns the whole response.
sub run {
  my ($self) = @_;
  local $UTF8 = $self->{utf8};
  no warnings 'once';    # jcode.pl, which reads it, is loaded only when needed
  local $Quillpost::Jcode::UTF8 = $self->{utf8};
  my $response = eval { $self->_handle_request };
  return $response if defined $response;
  warn "Quillpost: $@" if $@;
  return _error_page(500, $MSG_INTERNAL);
}

sub _handle_request {
  my ($self) = @_;
  my $method = uc($ENV{REQUEST_METHOD} || 'GET');
  my $form = _read_form($method);
  return _error_page(413, $MSG_TOO_LARGE) unless $form;
  # The program's site check signs its request; any other is an ordinary one and learns nothing.
  if ($self->{check} && $method eq 'GET' && defined $form->{__qp_status__}) {
    my $status = $self->_check_status($form->{__qp_status__});
    return $status if defined $status;
  }

  my %values;
  for my $item (@{$self->{items}}) {
    my $attr = $item->{ATTR};
    next unless defined $attr;
    my $value = defined $form->{$attr} ? $form->{$attr} : '';
    # Only a multi-line field can hold a line break; a browser never sends one elsewhere.
    $value =~ tr/\n//d unless ($item->{TYPE} || '') eq 'TEXTAREA';
    $values{$attr} = $value;
  }

  # Pages after the first carry on the token of the form page that began the visit.
  $self->_carry_token($form) if $self->{guard};
  if (exists $form->{__action3__}) {
    return $self->_page('FORM', \%values, []);
  }
  my $send = exists $form->{__action2__};
  unless ($send || exists $form->{__action1__}) {
    return $self->_page('FORM', {}, []);
  }

  if ($self->{guard} && $method eq 'POST') {
    my $refusal = $self->_guard_cross_site_refusal;
    return $refusal if $refusal;
  }
  $self->_convert(\%values);
  my $errors = $self->_check(\%values, $form);
  return $self->_page('FORM', \%values, $errors) if @$errors;
  if ($self->{guard}) {
    my $refusal = $self->_guard_token_refusal(\%values);
    return $refusal if $refusal;
    # Only a request that passed the token is judged by the honeypot, so that a request
    # without one cannot tell the trap from its answer, nor count against another's address.
    return $self->_guard_bait(\%values) if $method eq 'POST' && $self->_honeypot_filled($form);
  }

  if (!$send && _text($self->{html}{CONFIRM}) =~ /\S/) {
    return $self->_page('CONFIRM', \%values, []);
  }
  # Mail leaves only for a POST; a GET that gets this far just shows its values again.
  return $self->_page('FORM', \%values, []) unless $method eq 'POST';

  return $self->_send_mails(\%values);
}

# A here-document value without its final line break.
sub _text {
  my ($text) = @_;
  return '' unless defined $text;
  $text =~ s/\r?\n\z//;
  return $text;
}

# ---------------------------------------------------------------------------------------
# Request reading. Multipart bodies are the group "request" after __DATA__.

# The form fields of the request, the first value of each name; undef when too large.
sub _read_form {
  my ($method) = @_;
  my ($data, $type) = ('', '');
  if ($method eq 'POST') {
    my $length = $ENV{CONTENT_LENGTH};
    if (defined $length && $length =~ /\A\s*(\d+)\s*\z/) {
      $length = $1;
      return undef if $length > $MAX_BODY;
    } else {
      $length = $MAX_BODY + 1;
    }
    binmode STDIN;
    while (length($data) < $length) {
      my $got = read(STDIN, $data, $length - length($data), length($data));
      last unless $got;
    }
    return undef if length($data) > $MAX_BODY;
    $type = defined $ENV{CONTENT_TYPE} ? $ENV{CONTENT_TYPE} : '';
  } else {
    $data = defined $ENV{QUERY_STRING} ? $ENV{QUERY_STRING} : '';
    return undef if length($data) > $MAX_BODY;
  }

  my @pairs;
  if ($type =~ m{\Amultipart/form-data}i) {
    @pairs = _parse_multipart($data, $type);
  } elsif ($type eq '' || $type =~ m{\Aapplication/x-www-form-urlencoded}i) {
    @pairs = _parse_urlencoded($data);
  }
  my %form;
  while (my ($name, $value) = splice @pairs, 0, 2) {
    next if exists $form{$name};
    $form{$name} = _clean_value($value);
  }
  return \%form;
}

sub _parse_urlencoded {
  my ($data) = @_;
  my @pairs;
  for my $pair (split /[&;]/, $data) {
    next if $pair eq '';
    my ($name, $value) = split /=/, $pair, 2;
    $value = '' unless defined $value;
    for ($name, $value) {
      tr/+/ /;
      s/%([0-9A-Fa-f]{2})/chr(hex($1))/ge;
    }
    push @pairs, $name, $value;
  }
  return @pairs;
}

# Line breaks become LF; a byte that is not part of a valid character becomes "?" in EUC-JP
# and U+FFFD in UTF-8, so that no broken sequence can swallow the quote or bracket that
# follows it in a page.
sub _clean_value {
  my ($value) = @_;
  $value =~ s/\r\n?/\n/g;
  my ($char, $bad) = $UTF8 ? ($UTF8_CHAR, "\xEF\xBF\xBD") : ($EUC_CHAR, '?');
  # A bounded run: an unbounded one stops at perl's recursion limit with a warning that a
  # visitor could write into the error log at will.
  $value =~ s/((?:$char){1,4096})|[\x80-\xFF]/defined $1 ? $1 : $bad/ge;
  return $value;
}

# ---------------------------------------------------------------------------------------
# Checks and conversions. Converting and checking a request's values is the group
# "checks" after __DATA__.

# The conversions named in the items' CONVERT lists; each takes and returns one value.
sub zen_num_hyphen_to_han { _require_lib('jcode.pl'); Quillpost::Jcode::zen_num_hyphen_to_han(@_) }
sub han_num_hyphen_to_zen { _require_lib('jcode.pl'); Quillpost::Jcode::han_num_hyphen_to_zen(@_) }
sub hyphen_delete         { _require_lib('jcode.pl'); Quillpost::Jcode::hyphen_delete(@_) }
sub zen_alphabet_to_han   { _require_lib('jcode.pl'); Quillpost::Jcode::zen_alphabet_to_han(@_) }
sub han_alphabet_to_zen   { _require_lib('jcode.pl'); Quillpost::Jcode::han_alphabet_to_zen(@_) }
sub han_kana_to_zen       { _require_lib('jcode.pl'); Quillpost::Jcode::han_kana_to_zen(@_) }
sub strip                 { _require_lib('jcode.pl'); Quillpost::Jcode::strip(@_) }

# ---------------------------------------------------------------------------------------
# Pages and marks

sub escape_html {
  my ($text) = @_;
  return '' unless defined $text;
  $text =~ tr/\x00-\x08\x0B-\x1F\x7F//d;
  $text =~ s/&/&amp;/g;
  $text =~ s/</&lt;/g;
  $text =~ s/>/&gt;/g;
  $text =~ s/"/&quot;/g;
  $text =~ s/'/&#39;/g;
  # A reference the browser made for a character that the page cannot hold shows the character.
  $text =~ s/&amp;(#(?:([0-9]{1,8})|[xX]([0-9A-Fa-f]{1,6}));)/(defined _browser_char($2, $3) ? '&' : '&amp;') . $1/ge
    if !$UTF8 && index($text, '&amp;#') >= 0;
  return $text;
}

# The item a mark shows and the form it takes: (attr, '') for the plain value, (attr,
# 'br' | 'password' | 'checked' | 'error' | 'invalid') or (attr, 'checked' | 'selected',
# choice); empty when the mark names no item. A name attribute that itself ends in "_br"
# wins over the suffix.
sub _mark_item {
  my ($self, $mark) = @_;
  my $by_attr = $self->{by_attr};
  return ($mark, '') if $by_attr->{$mark};
  return ($1, $2, $3) if $mark =~ /\A(\w+?)_(checked|selected)\((.*)\)\z/s && $by_attr->{$1};
  return ($1, $2) if $mark =~ /\A(\w+)_(br|password|checked|error|invalid)\z/ && $by_attr->{$1};
  return;
}

# The text of one <% ... %> mark. $raw gives the plain values (mails), else HTML.
sub _mark {
  my ($self, $mark, $values, $errors, $raw) = @_;
  if ($mark eq '__error__') {
    return $raw ? join("\n", @$errors) : join('<br />', map { escape_html($_) } @$errors);
  }
  return $self->_error_summary($errors, $raw) if $mark eq '__error_summary__';
  if ($mark eq '__cgi_url__') {
    my $url = defined $ENV{SCRIPT_NAME} ? $ENV{SCRIPT_NAME} : '';
    return $raw ? $url : escape_html($url);
  }
  my ($attr, $form, $choice) = $self->_mark_item($mark) or return '';
  if ($form eq 'error' || $form eq 'invalid') {
    my $message = @$errors && $self->{error_of} ? $self->{error_of}{$attr} : undef;
    return '' unless defined $message;
    return $form eq 'invalid' ? 'aria-invalid="true"' : $raw ? $message : escape_html($message);
  }
  my $value = defined $values->{$attr} ? $values->{$attr} : '';
  if ($form eq '') {
    return $raw ? $value : escape_html($value);
  }
  if (defined $choice) {
    return $value eq $choice ? qq{$form="$form"} : '';
  }
  if ($form eq 'checked') {
    return $value ne '' ? 'checked="checked"' : '';
  }
  if ($form eq 'password') {
    my $char = $UTF8 ? $UTF8_CHAR : $EUC_CHAR;
    my $n = () = $value =~ /$char|[\x80-\xFF]/g;
    return '*' x $n;
  }
  return $value if $raw;
  $value = escape_html($value);
  $value =~ s/\n/<br \/>/g;
  return $value;
}

# The messages of a failed check as a list, each linked to the field whose id is its name
# attribute; messages that concern no field (a refused token) stand unlinked.
sub _error_summary {
  my ($self, $errors, $raw) = @_;
  return '' unless @$errors;
  return join("\n", @$errors) if $raw;
  my $error_of = $self->{error_of} || {};
  my @fields = grep { defined $_->{ATTR} && defined $error_of->{$_->{ATTR}} } @{$self->{items}};
  my @lines = @fields
    ? map { '<li><a href="#' . escape_html($_->{ATTR}) . '">' . escape_html($error_of->{$_->{ATTR}})
        . '</a></li>' } @fields
    : map { '<li>' . escape_html($_) . '</li>' } @$errors;
  return '<ul>' . join('', @lines) . '</ul>';
}

# Fills every mark of a template in one pass, so that a value is never read as a mark.
sub _fill {
  my ($self, $template, $values, $errors, $raw) = @_;
  $template =~ s/<%\s*(.*?)\s*%>/$self->_mark($1, $values, $errors, $raw)/gse;
  return $template;
}

sub _page {
  my ($self, $key, $values, $errors) = @_;
  my $page = $self->_fill(_text($self->{html}{$key}), $values, $errors, 0);
  my $tokens = 0;
  ($page, $tokens) = $self->_guard_fields($page) if $self->{guard} && $key ne 'FINISH';
  return _response(200, $page, $tokens);
}

# No other site may frame a page (a visitor could be made to press its button unseen), no
# browser may read one as anything but HTML, and a page with a token is kept by no cache:
# a token serves one send.
my $PAGE_HEADERS = "X-Frame-Options: SAMEORIGIN\r\nContent-Security-Policy: frame-ancestors 'self'\r\n"
  . "X-Content-Type-Options: nosniff\r\n";

sub _response {
  my ($status, $body, $no_store) = @_;
  my $head = $status == 200 ? '' : "Status: $status " . _reason($status) . "\r\n";
  return $head . 'Content-Type: text/html; charset=' . ($UTF8 ? 'UTF-8' : 'EUC-JP') . "\r\n"
    . $PAGE_HEADERS . ($no_store ? "Cache-Control: no-store\r\n" : '') . "\r\n" . $body;
}

sub _reason {
  my ($status) = @_;
  return { 413 => 'Request Entity Too Large', 429 => 'Too Many Requests',
    500 => 'Internal Server Error' }->{$status}
    || 'Error';
}

sub _error_page {
  my ($status, $message) = @_;
  my $text = escape_html($message);
  my $code = $UTF8 ? 'utf-8' : 'euc-jp';
  my $page = <<"END_OF_PAGE";
<?xml version="1.0" encoding="$code"?>
<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">
<html xmlns="http://www.w3.org/1999/xhtml" xml:lang="ja" lang="ja">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=$code" />
<meta name="viewport" content="width=device-width, initial-scale=1" />
<title>エラー</title>
</head>
<body>
<p>$text</p>
</body>
</html>
END_OF_PAGE
  return _response($status, $UTF8 ? _source_text($page) : $page);
}

# ---------------------------------------------------------------------------------------
# Abuse defences: the part that the form page needs. A form page carries a signed token and
# a field that only bots fill; the checks and the counting that a confirm or a send needs
# are the group "guard" after __DATA__.

my $TOKEN_FIELD = '__qp_token__';
# The honeypot takes one of these names that no item uses, picked by the make's secret, so
# that it changes from one make to the next: names that bots fill and that no browser fills
# for a person.
my @BAIT_NAMES = qw(url homepage website site_url web_url blog_url company_url home_url);
# Its label, also in UTF-8 bytes: a form page of a UTF-8 script then converts nothing.
my $BAIT_LABEL = 'この欄は空のままにしてください';
my $BAIT_LABEL_UTF8 = "\xE3\x81\x93\xE3\x81\xAE\xE6\xAC\x84\xE3\x81\xAF\xE7\xA9\xBA\xE3\x81\xAE"
  . "\xE3\x81\xBE\xE3\x81\xBE\xE3\x81\xAB\xE3\x81\x97\xE3\x81\xA6\xE3\x81\x8F\xE3\x81\xA0"
  . "\xE3\x81\x95\xE3\x81\x84";

sub _honeypot_name {
  my ($self) = @_;
  return $self->{bait_name} ||= do {
    my @free = grep { !$self->{by_attr}{$_} } @BAIT_NAMES;
    my $secret = defined $self->{guard}{SECRET} ? $self->{guard}{SECRET} : '';
    my $pick = $secret =~ /([0-9A-Fa-f]{4})\z/ ? hex $1 : 0;
    @free ? $free[$pick % @free] : 'qp_url';
  };
}

sub _honeypot_filled {
  my ($self, $form) = @_;
  return 0 unless $self->{guard}{USE_HONEYPOT};
  my $bait = $form->{$self->_honeypot_name};
  return defined $bait && $bait ne '';
}

sub _carry_token {
  my ($self, $form) = @_;
  my $token = $form->{$TOKEN_FIELD};
  $self->{token} = $token if defined $token && $token =~ /\A\d{1,12}\.[0-9a-f]{32}\.[0-9a-f]{64}\z/;
}

# The hidden token and the honeypot, inserted into every <form> that posts to this script,
# so that the site's own templates need no change. Returns the page and the number of
# tokens it now carries.
sub _guard_fields {
  my ($self, $page) = @_;
  my $guard = $self->{guard};
  my $fields = '';
  if ($guard->{USE_TOKEN}) {
    my $token = $self->{token} || $self->_new_token;
    $fields .= qq{<input type="hidden" name="$TOKEN_FIELD" value="$token" />};
  }
  if ($guard->{USE_HONEYPOT}) {
    $fields .= '<label>' . ($UTF8 ? $BAIT_LABEL_UTF8 : $BAIT_LABEL) . ' <input type="text" name="'
      . $self->_honeypot_name . '" value="" tabindex="-1" autocomplete="off" /></label>';
  }
  return ($page, 0) if $fields eq '';
  my $block = '<div style="position: absolute; left: -10000px; top: auto; width: 1px; height: 1px;'
    . qq{ overflow: hidden;" aria-hidden="true">$fields</div>};
  my $forms = 0;
  $page =~ s{(<form\b[^>]*>)}{_posts_here($1) ? do { $forms++; $1 . $block } : $1}gie;
  return ($page, $guard->{USE_TOKEN} ? $forms : 0);
}

# Whether a form's action is this script: none, the script's path, or a relative address
# that leads to it.
sub _posts_here {
  my ($tag) = @_;
  my ($action) = $tag =~ /\saction\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'>]+))/i
    ? grep { defined } ($1, $2, $3) : ('');
  $action =~ s/&amp;/&/gi;
  $action =~ s/[?#].*//s;
  $action =~ s{\A[A-Za-z][A-Za-z0-9+.-]*://[^/]*}{};
  return 1 if $action eq '';
  my $script = defined $ENV{SCRIPT_NAME} && $ENV{SCRIPT_NAME} ne '' ? $ENV{SCRIPT_NAME} : "/$0";
  return $action eq $script if $action =~ m{\A/};
  $action =~ s{\A(?:\./)+}{};
  (my $dir = $script) =~ s{[^/]*\z}{};
  return $dir . $action eq $script;
}

# Issue time, a random part and their signature.
sub _new_token {
  my ($self) = @_;
  my $body = int($self->_now) . '.' . _random_hex(16);
  return "$body." . $self->_sign($body);
}

sub _now {
  my ($self) = @_;
  return $self->{clock} ? $self->{clock}->() : time;
}

sub _sign {
  my ($self, $text) = @_;
  my $key = defined $self->{guard}{SECRET} ? $self->{guard}{SECRET} : '';
  # A send loads Digest::SHA anyway; the form page spares itself the library and signs with
  # the same function written in Perl (64-bit integers needed).
  if (defined &Digest::SHA::hmac_sha256_hex || length(pack 'j', 0) < 8) {
    require Digest::SHA;
    return Digest::SHA::hmac_sha256_hex("token:$text", $key);
  }
  return _hmac_sha256_hex($key, "token:$text");
}

# Only makes tokens unique; the signature is what they rest on.
sub _random_hex {
  my ($bytes) = @_;
  my $data = '';
  if (open(my $fh, '<:raw', '/dev/urandom')) {
    read($fh, $data, $bytes);
    close $fh;
  }
  $data = pack('N*', map { int(rand(4294967296)) } 1 .. $bytes / 4) ^ pack('NN', time, $$)
    unless length $data == $bytes;
  return unpack('H*', $data);
}

my @SHA256_K = (
  0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
  0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
  0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
  0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
  0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
  0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
  0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
  0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2);

sub _sha256 {
  my ($msg) = @_;
  my @h = (0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab,
    0x5be0cd19);
  my $bits = 8 * length $msg;
  $msg .= "\x80" . ("\0" x ((55 - length $msg) % 64)) . pack('NN', $bits / 4294967296, $bits % 4294967296);
  for my $block (unpack '(a64)*', $msg) {
    my @w = unpack 'N16', $block;
    for my $t (16 .. 63) {
      my ($x, $y) = @w[$t - 15, $t - 2];
      $w[$t] = ($w[$t - 16] + $w[$t - 7]
        + ((($x >> 7 | $x << 25) ^ ($x >> 18 | $x << 14) ^ $x >> 3) & 0xFFFFFFFF)
        + ((($y >> 17 | $y << 15) ^ ($y >> 19 | $y << 13) ^ $y >> 10) & 0xFFFFFFFF)) & 0xFFFFFFFF;
    }
    my ($a, $b, $c, $d, $e, $f, $g, $k) = @h;
    for my $t (0 .. 63) {
      my $t1 = ($k + ((($e >> 6 | $e << 26) ^ ($e >> 11 | $e << 21) ^ ($e >> 25 | $e << 7)) & 0xFFFFFFFF)
        + (($e & $f) ^ (~$e & $g)) + $SHA256_K[$t] + $w[$t]) & 0xFFFFFFFF;
      my $t2 = ((($a >> 2 | $a << 30) ^ ($a >> 13 | $a << 19) ^ ($a >> 22 | $a << 10)) & 0xFFFFFFFF)
        + (($a & $b) ^ ($a & $c) ^ ($b & $c));
      ($k, $g, $f, $e, $d, $c, $b, $a)
        = ($g, $f, $e, ($d + $t1) & 0xFFFFFFFF, $c, $b, $a, ($t1 + $t2) & 0xFFFFFFFF);
    }
    my @v = ($a, $b, $c, $d, $e, $f, $g, $k);
    $h[$_] = ($h[$_] + $v[$_]) & 0xFFFFFFFF for 0 .. 7;
  }
  return pack 'N8', @h;
}

sub _hmac_sha256_hex {
  my ($key, $data) = @_;
  $key = _sha256($key) if length $key > 64;
  $key .= "\0" x (64 - length $key);
  return unpack 'H*', _sha256(($key ^ ("\x5c" x 64)) . _sha256(($key ^ ("\x36" x 64)) . $data));
}

# ---------------------------------------------------------------------------------------
# Loading

# The folder of this file, in a form that require takes as a path, never as an @INC search.
my $LIB_DIR = do {
  my $dir = __FILE__;
  $dir =~ s{[^/\\]*\z}{};
  $dir =~ m{\A(?:[A-Za-z]:)?[/\\]|\A\.\.?[/\\]} ? $dir : "./$dir";
};

sub _require_lib {
  my ($file) = @_;
  require $LIB_DIR . $file;
}

# The groups of subs after __DATA__ are compiled on the first call of one of their subs, so
# that a form page compiles nothing it does not run. A group begins with a line "#@ NAME",
# NAME being the job whose section it continues.
our $AUTOLOAD;
my ($lazy_text, $lazy_line, %lazy_done);

sub AUTOLOAD {
  my ($sub) = $AUTOLOAD =~ /(\w+)\z/;
  _compile_group_of($sub);
  goto &{\&{"Quillpost::$sub"}};
}

sub DESTROY {}

# Compiles the group that holds $sub. With no $sub it compiles every group not yet compiled,
# for the tests: a request compiles only the groups it calls, so an error in a group would
# otherwise wait for the first visitor whose request calls it.
sub _compile_group_of {
  my ($sub) = @_;
  unless (defined $lazy_text) {
    local $/;
    $lazy_text = <DATA>;
    close DATA;
  }
  my $line = $lazy_line;
  for my $group (split /^(?=#@ )/m, $lazy_text) {
    my ($name) = $group =~ /\A#@ (\w+)/;
    if (defined $name && !$lazy_done{$name} && (!defined $sub || $group =~ /^sub \Q$sub\E\b/m)) {
      $lazy_done{$name} = 1;
      (my $file = __FILE__) =~ tr/"//d;
      _compile(qq{#line $line "$file"\n$group}) or die $@;
      return if defined $sub;
    }
    $line += $group =~ tr/\n//;
  }
  die "Undefined subroutine &Quillpost::$sub called\n" if defined $sub;
}

# Compiles a group with no lexical of this file in sight.
sub _compile { eval "$_[0]\n;1" }

$lazy_line = __LINE__ + 3;
1;
__DATA__
#@ request
# ---------------------------------------------------------------------------------------
# Request reading: multipart bodies

# multipart/form-data without files: file parts are skipped.
sub _parse_multipart {
  my ($data, $type) = @_;
  my ($boundary) = $type =~ /boundary=(?:"([^"]+)"|([^;,\s]+))/i;
  $boundary = $2 unless defined $boundary && length $boundary;
  return () unless defined $boundary && length $boundary;
  my @pairs;
  for my $part (split /--\Q$boundary\E/, $data) {
    next unless $part =~ s/\A\r?\n//;
    my ($head, $body) = split /\r?\n\r?\n/, $part, 2;
    next unless defined $body;
    $body =~ s/\r?\n\z//;
    my ($disposition) = $head =~ /^Content-Disposition:[ \t]*([^\r\n]*)/mi;
    next unless defined $disposition && $disposition =~ /\bform-data\b/i;
    next if $disposition =~ /;\s*filename\*?=/i;
    # Bounded, as every repeated group that a visitor's bytes run through (see _clean_value).
    my ($name) = $disposition =~ /;\s*name="((?:[^"\\]|\\.){0,4096})"/i;
    ($name) = $disposition =~ /;\s*name=([^;\s]+)/i unless defined $name;
    next unless defined $name;
    $name =~ s/%22/"/g;
    push @pairs, $name, $body;
  }
  return @pairs;
}

#@ checks
# ---------------------------------------------------------------------------------------
# Checks and conversions: the run over a request's values

sub _convert {
  my ($self, $values) = @_;
  for my $item (@{$self->{items}}) {
    next unless defined $item->{ATTR} && ref $item->{CONVERT} eq 'ARRAY';
    my $value = $values->{$item->{ATTR}};
    for my $f (@{$item->{CONVERT}}) {
      next unless ref $f eq 'CODE';
      $value = $f->($value);
      $value = '' unless defined $value;
    }
    # A menu's first choice ("please choose") is no answer when the project says so.
    $value = '' if $item->{FIRST_IS_NONE} && ref $item->{VALUES} eq 'ARRAY'
                   && defined $item->{VALUES}[0] && $value eq $item->{VALUES}[0];
    $values->{$item->{ATTR}} = $value;
  }
}

# One message per field, the first check that fails, in item order; each field's own is kept
# for its marks.
sub _check {
  my ($self, $values, $form) = @_;
  my @errors;
  $self->{error_of} = {};
  for my $item (@{$self->{items}}) {
    next unless defined $item->{ATTR};
    my $value = $values->{$item->{ATTR}};
    my $name = _text($item->{NAME});
    my $message;
    if ($value eq '') {
      $message = _message($item->{REQUIRED_ERROR}, $MSG_REQUIRED, $name) if $item->{REQUIRED};
    }
    my $size = $item->{SIZE_CONSTRAINT};
    if (!defined $message && $value ne '' && defined $size && $size =~ /\A\d+\z/
        && $size > 0 && _size($value) > $size) {
      $message = _message($item->{SIZE_CONSTRAINT_ERROR}, $MSG_TOO_LONG, $name, $size);
    }
    if (!defined $message && $value ne '' && !_is_offered($item, $value)) {
      $message = sprintf(_source_text($MSG_NOT_OFFERED), $name);
    }
    if (!defined $message && $value ne '' && defined $item->{CONSTRAINT_REGEXP}) {
      my $pattern = _text($item->{CONSTRAINT_REGEXP});
      if ($pattern ne '' && !$self->_matches($pattern, _for_pattern($value))) {
        $message = _message($item->{CONSTRAINT_REGEXP_ERROR}, $MSG_INVALID, $name);
      }
    }
    if (!defined $message && defined $item->{RETYPE_ATTR} && $item->{RETYPE_ATTR} ne '') {
      my $other = $item->{RETYPE_ATTR};
      my $again = exists $values->{$other} ? $values->{$other}
                : defined $form->{$other} ? $form->{$other} : '';
      $message = _message($item->{RETYPE_ERROR}, $MSG_INVALID, $name) if $again ne $value;
    }
    next unless defined $message;
    push @errors, $message;
    $self->{error_of}{$item->{ATTR}} = $message;
  }
  return \@errors;
}

# A check box, radio button or pop-up menu takes only a value that its entry lists. An
# entry without the list comes from a script made before entries carried it.
sub _is_offered {
  my ($item, $value) = @_;
  my $type = defined $item->{TYPE} ? $item->{TYPE} : '';
  if ($type eq 'CHECKBOX') {
    return !exists $item->{VALUE} || (defined $item->{VALUE} && $value eq $item->{VALUE});
  }
  if ($type eq 'RADIO' || $type eq 'POPUPMENU') {
    return 1 unless ref $item->{VALUES} eq 'ARRAY';
    return scalar grep { defined $_ && $_ eq $value } @{$item->{VALUES}};
  }
  return 1;
}

my %pattern_cache;

# The site's pattern, within the request's bounds; false when it fails or runs out of time.
# No warning of the regex engine reaches the error log: a visitor could fill it at will.
sub _matches {
  my ($self, $pattern, $value) = @_;
  return 0 if length($value) > $PATTERN_MAX_BYTES;
  my $re = $pattern_cache{$pattern};
  unless ($re) {
    $re = eval { no warnings; qr/$pattern/ };
    unless ($re) {
      # A pattern that does not compile is the form's fault: the value is refused.
      warn "Quillpost: bad CONSTRAINT_REGEXP: $@";
      return 0;
    }
    $pattern_cache{$pattern} = $re;
  }
  require Time::HiRes;
  my $left = exists $self->{pattern_time_left} ? $self->{pattern_time_left} : $PATTERN_SECONDS;
  return 0 if $left <= 0;
  my $start = Time::HiRes::time();
  # The regex engine looks at pending signals while it backtracks, so the alarm stops it
  # even with perl's deferred signals.
  my $matched = eval {
    local $SIG{ALRM} = sub { die "pattern timeout\n" };
    Time::HiRes::alarm($left);
    my $m = do { no warnings; $value =~ $re };
    Time::HiRes::alarm(0);
    $m;
  };
  Time::HiRes::alarm(0);
  $self->{pattern_time_left} = $left - (Time::HiRes::time() - $start);
  return $matched ? 1 : 0;
}

sub _message {
  my ($text, $fallback, @args) = @_;
  $text = _text($text);
  return $text ne '' ? $text : sprintf(_source_text($fallback), @args);
}

#@ mails
# ---------------------------------------------------------------------------------------
# Mails

sub _send_mails {
  my ($self, $values) = @_;
  my $mail = $self->{mail};

  my ($admin, $refusal) = $self->_build_mail($mail->{ADMIN}, $values, $self->_admin_body($values), 1);
  return $self->_page('FORM', $values, $refusal) if $refusal;
  return _error_page(500, $MSG_SEND_FAILED) unless $admin;

  # A visitor's address that is not usable only costs the visitor the automatic reply.
  my $reply;
  if (ref $mail->{USER} eq 'HASH') {
    my $body = $self->_fill(_text($mail->{USER}{BODY}), $self->_echo_values($values), [], 1);
    ($reply) = $self->_build_mail($mail->{USER}, $values, $body);
  }

  if ($self->{guard}) {
    my ($verdict, $reply_allowed) = $self->_guard_count($reply ? $reply->{to} : undef);
    return $self->_guard_spent_refusal($values) if $verdict eq 'used';
    return _error_page(429, $MSG_TOO_MANY) if $verdict eq 'limit';
    undef $reply unless $reply_allowed;
  }

  # A kept message is safe whatever happens to its mails: the visitor is told it went.
  my $kept = $self->{inbox} ? $self->_inbox_store($values) : undef;
  my $sender = $self->_envelope_sender;
  my $failure;
  for my $message ($admin, $reply ? $reply : ()) {
    my $sent = Quillpost::Mime::deliver($mail->{SENDMAIL}, $message->{to}, $message->{text}, $sender);
    undef $sender if $sent == 2;
    next if $sent;
    $failure = ($message == $admin ? 'admin mail: ' : 'reply mail: ') . $Quillpost::Mime::FAILURE;
    last;
  }
  $self->_inbox_status($kept, $failure) if $kept;
  if (defined $failure) {
    warn "Quillpost: $failure" . ($kept ? '; the message is kept in the inbox' : '') . "\n";
    return _error_page(500, $MSG_SEND_FAILED) unless $kept;
  }
  return $self->_finish($values);
}

# The values as the automatic reply's body shows them: each cut to REPLY_ECHO_CHARS
# characters with "…", so that the reply cannot carry a sender's long text to any address.
sub _echo_values {
  my ($self, $values) = @_;
  my $max = $self->{guard} ? $self->{guard}{REPLY_ECHO_CHARS} : 0;
  return $values unless $max && $max > 0;
  my %echo = %$values;
  for my $value (values %echo) {
    # No character is shorter than a byte.
    next if length($value) <= $max;
    my @chars = _chars($value);
    $value = join('', @chars[0 .. $max - 1]) . ($UTF8 ? "\xE2\x80\xA6" : "\xA1\xC4") if @chars > $max;
  }
  return \%echo;
}

# The envelope sender, where bounces go and what SPF checks: ENVELOPE_FROM, else the
# administrator mail's To when it is one plain address; undef when neither is.
sub _envelope_sender {
  my ($self) = @_;
  my $fixed = $self->{guard} ? $self->{guard}{ENVELOPE_FROM} : undef;
  my $address = defined $fixed && $fixed ne '' ? $fixed
    : ref $self->{mail}{ADMIN} eq 'HASH' ? _text($self->{mail}{ADMIN}{TO}) : '';
  $address =~ s/\A +| +\z//g;
  return _is_address($address) ? $address : undef;
}

# The finish page, or the redirect to the project's address.
sub _finish {
  my ($self, $values) = @_;
  my $location = _text($self->{html}{REDIRECT});
  $location =~ s/\A\s+|\s+\z//g;
  if ($location ne '') {
    return _error_page(500, $MSG_INTERNAL) if $location =~ /[\x00-\x20\x7F]/;
    return "Status: 302 Found\r\nLocation: " . _absolute_url($location) . "\r\n\r\n";
  }
  return $self->_page('FINISH', $values, []);
}

# "display name=value" for each item, in the order in which the mail converter reads them.
sub _admin_body {
  my ($self, $values) = @_;
  my $body = '';
  for my $item (@{$self->{items}}) {
    next unless defined $item->{ATTR};
    my $value = $values->{$item->{ATTR}};
    $body .= _text($item->{NAME}) . '=' . (defined $value ? $value : '') . "\n";
  }
  return $body;
}

# Fills and checks the headers of one mail. Returns the mail, or undef and the messages
# that tell the visitor which field made it impossible (none when the form is at fault).
sub _build_mail {
  my ($self, $settings, $values, $body, $for_admin) = @_;
  return (undef, undef) unless ref $settings eq 'HASH';
  my %header;
  for my $key (qw(FROM TO SUBJECT)) {
    my $template = _text($settings->{$key});
    my $value = $self->_fill($template, $values, [], 1);
    my $address = $key ne 'SUBJECT';
    $value =~ s/\A +| +\z//g if $address;
    my $control = $value =~ /[\x00-\x1F\x7F]/;
    if ($control || ($address && !_is_address($value))) {
      # An address names every field it is made of; a subject only those that hold the
      # character it cannot carry.
      my @names = $self->_marked_names($template, $values, $address ? undef : qr/[\x00-\x1F\x7F]/);
      unless (@names) {
        warn "Quillpost: the mail's $key setting is not usable\n";
        return (undef, undef);
      }
      return (undef, [map { sprintf(_source_text($address ? $MSG_BAD_ADDRESS : $MSG_BAD_CHARS), $_) } @names]);
    }
    $header{$key} = $address ? $value : _cut($value, $HEADER_MAX_BYTES);
  }
  # Receiving servers that check the sender's domain (SPF, DMARC) refuse a mail that claims
  # to come from the visitor's domain: the administrator's own address sends it, and a
  # reply still reaches the visitor.
  my $reply_to;
  if ($for_admin && $self->{guard} && !$self->{guard}{VISITOR_FROM}
      && $self->_marked_names(_text($settings->{FROM}))) {
    ($reply_to, $header{FROM}) = ($header{FROM}, $header{TO});
  }
  _require_lib('jcode.pl');
  _require_lib('mimew.pl');
  $body =~ tr/\x00-\x08\x0B-\x1F\x7F//d;
  my $text = Quillpost::Mime::message(
    from    => $header{FROM},
    to      => $header{TO},
    reply_to => $reply_to,
    subject => _mail_text($header{SUBJECT}),
    body    => _mail_text($body),
  );
  return ({ to => $header{TO}, text => $text }, undef);
}

# Display names of the items whose values a template takes; with $only, of those whose
# filled mark matches it.
sub _marked_names {
  my ($self, $template, $values, $only) = @_;
  my (@names, %seen);
  while ($template =~ /<%\s*(.*?)\s*%>/gs) {
    my $mark = $1;
    my ($attr) = $self->_mark_item($mark) or next;
    next if $only && $self->_mark($mark, $values, [], 1) !~ $only;
    push @names, _text($self->{by_attr}{$attr}{NAME}) unless $seen{$attr}++;
  }
  return @names;
}

# One plain address: a dot-atom local part (no leading, trailing or doubled dot; no "%" or
# "!", which relays read as routes; no quote, comment or encoded word, which mail readers
# show as another address), no display name, no list, no blank, no leading hyphen (it is
# handed to sendmail as an argument), a domain of at least two labels.
my $LOCAL_ATOM = qr/[A-Za-z0-9#\$&'*+\/=?^_`{|}~-]+/;
my $ADDRESS = qr/\A(?!-)(?=[^\@]{1,64}\@)(?![^\@]*=\?)$LOCAL_ATOM(?:\.$LOCAL_ATOM)*\@
  [A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?(?:\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)+\z/x;

sub _is_address {
  my ($value) = @_;
  return length($value) <= $ADDRESS_MAX_BYTES && $value =~ $ADDRESS;
}

# The longest start of a text whose EUC-JP length (see _size) is at most $max, in whole
# characters.
sub _cut {
  my ($text, $max) = @_;
  return $text if _size($text) <= $max;
  my ($start, $size) = ('', 0);
  for my $char (_chars($text)) {
    $size += _size($char);
    last if $size > $max;
    $start .= $char;
  }
  return $start;
}

# One label of a host name, and a plain host name with an optional port.
my $HOST_LABEL = qr/[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?/;
my $PLAIN_HOST = qr/\A$HOST_LABEL(?:\.$HOST_LABEL)*(?::[0-9]{1,5})?\z/;

# A relative redirect address is made absolute against the script's own URL when the host
# is a plain host name; otherwise it goes out relative, for the browser to resolve against
# the script's URL. Every byte outside printable ASCII is percent-encoded, so no control
# byte of the setting or of the server's variables reaches the header.
sub _absolute_url {
  my ($location) = @_;
  $location = _url_bytes($location);
  return $location if $location =~ m{\A[A-Za-z][A-Za-z0-9+.-]*://};
  my $https = defined $ENV{HTTPS} && $ENV{HTTPS} =~ /\A(?:on|1)\z/i;
  my $host = $ENV{HTTP_HOST};
  if (!defined $host || $host eq '') {
    $host = $ENV{SERVER_NAME};
    my $port = $ENV{SERVER_PORT};
    $host .= ":$port" if defined $host && defined $port && $port =~ /\A\d+\z/
      && $port != ($https ? 443 : 80);
  }
  return $location unless defined $host && length($host) <= 261 && $host =~ $PLAIN_HOST;
  my $path = $location;
  unless ($path =~ m{\A/}) {
    my $dir = _url_bytes(defined $ENV{SCRIPT_NAME} ? $ENV{SCRIPT_NAME} : '/');
    return $location unless $dir =~ m{\A/};
    $dir =~ s{[^/]*\z}{};
    $path = $dir . $path;
  }
  return ($https ? 'https' : 'http') . "://$host$path";
}

sub _url_bytes {
  my ($text) = @_;
  $text =~ s/([^\x21-\x7E])/sprintf('%%%02X', ord $1)/ge;
  return $text;
}

#@ inbox
# ---------------------------------------------------------------------------------------
# The inbox: every send kept beside the script before it is mailed, readable only with the
# site owner's private key, which never comes to the server.
#
# One line per record in .htquillpost-NAME-inbox, appended under flock:
#   Q1 ID KEYID WRAPPED CONTENT TAG   a message (ID: 16 random bytes; KEYID: names the key)
#   S1 ID STATUS TAG                  whether the message's mails went
#   F                                 the file reached its cap; later sends were not kept
# WRAPPED is a fresh 32-byte record key under the project's RSA key (OAEP with SHA-256 and
# MGF1-SHA-256). CONTENT and STATUS are encrypted with a keystream of HMAC-SHA-256 in
# counter mode and TAG is HMAC-SHA-256 over the line before it (encrypt then MAC), each
# with keys of its own derived from the record key. Binary fields are base64.

use Digest::SHA ();
use MIME::Base64 ();
use Fcntl qw(:flock :seek O_RDWR O_APPEND O_CREAT);

our $INBOX_LOCK_SECONDS = 10;

# Stores the message of $values; returns what the status line needs, or undef (and one
# line in the error log) when it was not stored.
sub _inbox_store {
  my ($self, $values) = @_;
  my $inbox = $self->{inbox};
  my $random = _inbox_random(80);
  return _inbox_refused('no random source') unless defined $random;
  my ($id, $key, $seed) = (unpack('H*', substr($random, 0, 16)), substr($random, 16, 32), substr($random, 48, 32));
  my @plain = (int($self->_now), defined $ENV{REMOTE_ADDR} ? $ENV{REMOTE_ADDR} : '');
  for my $item (@{$self->{items}}) {
    next unless defined $item->{ATTR};
    my $value = $values->{$item->{ATTR}};
    push @plain, map { _mail_text($_) } $item->{ATTR}, _text($item->{NAME}), defined $value ? $value : '';
  }
  my $wrapped = eval { _inbox_wrap($inbox, $key, $seed) };
  return _inbox_refused("the key is not usable: $@") unless defined $wrapped;
  my $line = _inbox_sealed($key, 'Q1', "$id $inbox->{KEY_ID} " . _inbox_b64($wrapped), pack('(N/a*)*', @plain));
  my $problem = _inbox_append($line, $inbox->{MAX_BYTES});
  return _inbox_refused($problem) if $problem;
  return { id => $id, key => $key };
}

# The status line of a stored message: mailed, or failed with the reason.
sub _inbox_status {
  my ($self, $kept, $failure) = @_;
  my $line = _inbox_sealed($kept->{key}, 'S1', $kept->{id},
    pack('(N/a*)*', defined $failure ? ('failed', $failure) : ('mailed', '')));
  my $problem = _inbox_append($line);
  warn "Quillpost: the inbox cannot take the mail status ($problem)\n" if $problem;
}

sub _inbox_refused {
  my ($why) = @_;
  $why =~ s/\s+\z//;
  warn "Quillpost: the message is not kept in the inbox ($why)\n";
  return undef;
}

# "KIND HEAD CONTENT TAG" with CONTENT the encrypted $plain.
sub _inbox_sealed {
  my ($key, $kind, $head, $plain) = @_;
  my $stream_key = Digest::SHA::hmac_sha256("$kind enc", $key);
  my $cipher = '';
  for my $counter (0 .. int((length($plain) + 31) / 32) - 1) {
    $cipher .= Digest::SHA::hmac_sha256(pack('N', $counter), $stream_key);
  }
  my $line = "$kind $head " . _inbox_b64($plain ^ substr($cipher, 0, length $plain));
  return "$line " . _inbox_b64(Digest::SHA::hmac_sha256($line, Digest::SHA::hmac_sha256("$kind mac", $key))) . "\n";
}

sub _inbox_b64 { MIME::Base64::encode_base64($_[0], '') }

# Random bytes from the system, never from rand: they are keys.
sub _inbox_random {
  my ($bytes) = @_;
  open(my $fh, '<:raw', '/dev/urandom') or return undef;
  my $data = '';
  while (length $data < $bytes) {
    my $got = read($fh, $data, $bytes - length $data, length $data);
    return undef unless $got;
  }
  close $fh;
  return $data;
}

# Appends one line to the inbox file beside the script. With $cap (a new message), a file
# that would grow beyond it takes nothing but one full mark. Returns the problem, or undef.
sub _inbox_append {
  my ($line, $cap) = @_;
  my $dir = $0;
  $dir =~ s{[^/\\]*\z}{};
  (my $name = $0) =~ s{.*[/\\]}{}s;
  $name =~ s/[^A-Za-z0-9._-]/_/g;
  my $path = ($dir eq '' ? './' : $dir) . ".htquillpost-$name-inbox";
  # A download renames the file away: a line that went to the renamed file after the
  # download read it would be lost, so the file is locked and then checked to be the one
  # under the name.
  for my $attempt (1 .. 5) {
    my $fh;
    sysopen($fh, $path, O_RDWR | O_APPEND | O_CREAT, 0600) or return "$path cannot be opened ($!)";
    binmode $fh;
    my $waited = 0;
    until (flock($fh, LOCK_EX | LOCK_NB)) {
      return "$path stayed locked" if $waited >= $INBOX_LOCK_SECONDS;
      select(undef, undef, undef, 0.02);
      $waited += 0.02;
    }
    my @held = stat $fh;
    my @named = stat $path;
    next unless @named && $held[0] == $named[0] && $held[1] == $named[1];
    my $size = $held[7];
    if (defined $cap && $size + length($line) > $cap) {
      my $last = '';
      sysseek($fh, -2, SEEK_END) && sysread($fh, $last, 2) if $size >= 2;
      syswrite($fh, "F\n") unless $last eq "F\n";
      return "$path is full";
    }
    my $wrote = syswrite($fh, $line);
    unless (defined $wrote && $wrote == length $line) {
      my $error = $!;
      # A half line would spoil the next one: the file goes back to its length.
      truncate($fh, $size) if defined $wrote;
      return "$path cannot be written ($error)";
    }
    close $fh or return "$path cannot be written ($!)";
    return undef;
  }
  return "$path keeps being replaced";
}

# RSA-OAEP (SHA-256, MGF1-SHA-256, empty label) of $message under the script's public key.
sub _inbox_wrap {
  my ($inbox, $message, $seed) = @_;
  my $size = $inbox->{BYTES};
  my $hash = Digest::SHA::sha256('');
  my $block = $hash . ("\0" x ($size - length($message) - 66)) . "\x01" . $message;
  $block ^= _inbox_mgf1($seed, $size - 33);
  $seed ^= _inbox_mgf1($block, 32);
  return _inbox_power($inbox, "\0$seed$block", $size);
}

sub _inbox_mgf1 {
  my ($seed, $length) = @_;
  my $mask = '';
  $mask .= Digest::SHA::sha256($seed . pack('N', length($mask) / 32)) while length $mask < $length;
  return substr($mask, 0, $length);
}

# $block ** EXPONENT mod MODULUS, as $size bytes: Montgomery multiplication (CIOS) on
# little-endian limbs of 28 bits, whose products and carries stay within Perl's 64-bit
# integers. Math::BigInt costs a module to load and a long division at every step; this
# loads nothing and divides nowhere. MONTGOMERY_R2 (R^2 mod MODULUS, R = 2^(28 * limbs))
# comes from the make.
sub _inbox_power {
  my ($inbox, $block, $size) = @_;
  my $limbs = int((8 * $size + 27) / 28);
  die "this perl has no 64-bit integers\n" if length(pack('j', 0)) < 8;
  die "the key is not usable\n" unless length $inbox->{MODULUS} == 2 * $size
    && $inbox->{MODULUS} =~ /\A[0-9a-f]+[13579bdf]\z/ && length $inbox->{MONTGOMERY_R2} == 2 * $size
    && $inbox->{MONTGOMERY_R2} =~ /\A[0-9a-f]+\z/ && $inbox->{EXPONENT} =~ /\A[1-9][0-9]{0,9}\z/;
  my $n = _inbox_limbs(pack('H*', $inbox->{MODULUS}), $limbs);
  # -1 / n mod 2^28 by Newton's iteration: each step doubles the correct low bits.
  my $inverse = do {
    use integer;
    my $x = 1;
    $x = ($x * ((2 - (($n->[0] * $x) & 0xFFFFFFF)) & 0xFFFFFFF)) & 0xFFFFFFF for 1 .. 5;
    (-$x) & 0xFFFFFFF;
  };
  my $mont = sub { _inbox_montmul($_[0], $_[1], $n, $inverse) };
  my $base = $mont->(_inbox_limbs($block, $limbs), _inbox_limbs(pack('H*', $inbox->{MONTGOMERY_R2}), $limbs));
  my $result = $base;
  for my $bit (split //, substr(sprintf('%b', $inbox->{EXPONENT}), 1)) {
    $result = $mont->($result, $result);
    $result = $mont->($result, $base) if $bit;
  }
  $result = $mont->($result, [1, (0) x ($limbs - 1)]);
  my $bits = join '', map { sprintf('%028b', $_) } reverse @$result;
  return pack('B*', substr($bits, length($bits) - 8 * $size));
}

# Big-endian bytes as $count limbs of 28 bits, least significant first.
sub _inbox_limbs {
  my ($bytes, $count) = @_;
  my $bits = unpack('B*', $bytes);
  $bits = ('0' x ($count * 28 - length $bits)) . $bits;
  return [reverse map { oct("0b$_") } unpack('(a28)*', $bits)];
}

# a * b / R mod n for a, b < n, all as limbs.
sub _inbox_montmul {
  my ($a, $b, $n, $inverse) = @_;
  use integer;
  my $top = $#$n;
  my $s = $top + 1;
  my @t = (0) x ($s + 2);
  for my $bi (@$b) {
    my ($carry, $j, $x) = (0, 0);
    for my $aj (@$a) {
      $x = $t[$j] + $aj * $bi + $carry;
      $t[$j++] = $x & 0xFFFFFFF;
      $carry = $x >> 28;
    }
    $x = $t[$s] + $carry;
    $t[$s] = $x & 0xFFFFFFF;
    $t[$s + 1] = $x >> 28;
    my $m = ($t[0] * $inverse) & 0xFFFFFFF;
    $carry = ($t[0] + $m * $n->[0]) >> 28;
    for $j (1 .. $top) {
      $x = $t[$j] + $m * $n->[$j] + $carry;
      $t[$j - 1] = $x & 0xFFFFFFF;
      $carry = $x >> 28;
    }
    $x = $t[$s] + $carry;
    $t[$top] = $x & 0xFFFFFFF;
    $t[$s] = $t[$s + 1] + ($x >> 28);
  }
  # The result is below 2n: n once more off when it is not below n.
  my $over = $t[$s] > 0;
  unless ($over) {
    $over = 1;
    for (my $j = $top; $j >= 0; $j--) {
      next if $t[$j] == $n->[$j];
      $over = $t[$j] > $n->[$j];
      last;
    }
  }
  if ($over) {
    my $borrow = 0;
    for my $j (0 .. $top) {
      my $x = $t[$j] - $n->[$j] - $borrow;
      $borrow = $x < 0 ? 1 : 0;
      $t[$j] = $x & 0xFFFFFFF;
    }
  }
  $#t = $top;
  return \@t;
}

#@ guard
# ---------------------------------------------------------------------------------------
# Abuse defences: what a confirm or a send needs

use Digest::SHA ();
use Fcntl qw(:flock O_RDWR O_CREAT);

our $MSG_EXPIRED = 'ページの有効期限が切れました。もう一度送信してください。';
our $MSG_TOO_SOON = '送信までの時間が短すぎます。もう一度送信してください。';
# The state file's bounds: lines kept of each kind (the oldest go first), so that a flood
# of one kind cannot push out another's, and the wait for its lock. The kinds: A sends per
# visitor address (IPv6: /64), N sends per IPv6 /48, R automatic replies per mailbox, T
# tokens spent.
our %STATE_MAX_LINES = (A => 2000, N => 1000, R => 1000, T => 1000);
our $STATE_LOCK_SECONDS = 10;
# One /48 holds 65,536 /64s: it may send this many times LIMIT_COUNT.
our $NETWORK_FACTOR = 4;

# The form again, with a fresh token, when the token is missing, forged, expired or too new.
sub _guard_token_refusal {
  my ($self, $values) = @_;
  return undef unless $self->{guard}{USE_TOKEN};
  my $problem = $self->_token_problem($self->{token});
  return undef unless $problem;
  return $self->_guard_refusal($values, $problem);
}

# A post that a browser says comes from another site's page gets the empty form, as if its
# token had expired.
sub _guard_cross_site_refusal {
  my ($self) = @_;
  return _cross_site() ? $self->_guard_refusal({}, $MSG_EXPIRED) : undef;
}

# A token already spent on a send.
sub _guard_spent_refusal {
  my ($self, $values) = @_;
  return $self->_guard_refusal($values, $MSG_EXPIRED);
}

sub _guard_refusal {
  my ($self, $values, $message) = @_;
  delete $self->{token};
  return $self->_page('FORM', $values, [_source_text($message)]);
}

sub _token_problem {
  my ($self, $token) = @_;
  my $guard = $self->{guard};
  return $MSG_EXPIRED unless defined $token && $token =~ /\A(\d+)\.([0-9a-f]+)\.([0-9a-f]+)\z/;
  my ($issued, $signature) = ($1, $3);
  my $expected = $self->_sign("$1.$2");
  return $MSG_EXPIRED if ($signature ^ $expected) =~ /[^\0]/;
  my $age = $self->_now - $issued;
  # A clock a little behind another server's is no reason to refuse; the future is.
  return $MSG_EXPIRED if $age < -60 || $age > $self->_token_seconds;
  return $MSG_TOO_SOON if $age < ($guard->{MIN_SECONDS} || 0);
  return undef;
}

sub _token_seconds {
  my ($self) = @_;
  my $hours = $self->{guard}{TOKEN_HOURS};
  return 3600 * ($hours && $hours > 0 ? $hours : 24);
}

# Whether a browser says that the request comes from another site's page: Sec-Fetch-Site,
# else the host that Origin (or, without it, Referer) names against the request's own. A
# request without these headers is judged by its token alone.
sub _cross_site {
  my $fetch = $ENV{HTTP_SEC_FETCH_SITE};
  return 1 if defined $fetch && lc $fetch eq 'cross-site';
  my $from = defined $ENV{HTTP_ORIGIN} && $ENV{HTTP_ORIGIN} ne '' ? $ENV{HTTP_ORIGIN} : $ENV{HTTP_REFERER};
  return 0 unless defined $from && $from ne '';
  my $own = defined $ENV{HTTP_HOST} && $ENV{HTTP_HOST} ne '' ? $ENV{HTTP_HOST} : $ENV{SERVER_NAME};
  return 0 unless defined $own && $own ne '';
  # "null" (a sandboxed or privacy-stripped origin) names no host of ours.
  my ($host) = $from =~ m{\A[A-Za-z][A-Za-z0-9+.-]*://(?:[^/?#\@]*\@)?([^/?#]*)} or return 1;
  return _bare_host($host) ne _bare_host($own);
}

sub _bare_host {
  my ($host) = @_;
  $host =~ s/:[0-9]*\z//;
  $host =~ s/\.\z//;
  return lc $host;
}

# A filled honeypot with a valid token: the visitor is told it went, nothing goes, and the
# address is counted (and the token spent); an address at its limit hears so, as a send
# would.
sub _guard_bait {
  my ($self, $values) = @_;
  my ($verdict) = $self->_guard_count(undef, 1);
  return $self->_guard_spent_refusal($values) if $verdict eq 'used';
  return _error_page(429, $MSG_TOO_MANY) if $verdict eq 'limit';
  return $self->_finish($values);
}

# Judges one send (or, with $bait, one honeypot hit) under the state file's lock and counts
# it: the verdict is 'used' for a token already spent, 'limit' for an address at its limit
# (nothing is counted then), else 'ok'; second, whether the automatic reply to $reply_to
# may go (counted when it may).
sub _guard_count {
  my ($self, $reply_to, $bait) = @_;
  my $guard = $self->{guard};
  $reply_to = undef if $bait || !($guard->{REPLY_LIMIT} && $guard->{REPLY_LIMIT} > 0);
  my @visitor = $self->_visitor_entries;
  my ($issued, $random) = $guard->{USE_TOKEN} && $self->{token} ? split /\./, $self->{token} : ();
  return ('ok', 1) unless @visitor || defined $random || defined $reply_to;
  my $state = _state_open() or return ('ok', 1);

  my $now = int($self->_now);
  my $lines = $self->_live_lines($state->{text}, $now);
  my %count;
  $count{substr($_, 0, 34)}++ for @$lines;
  my $verdict = defined $random && $count{"T $random"} ? 'used'
    : (grep { ($count{$_->[0]} || 0) >= $_->[1] } @visitor) ? 'limit' : 'ok';
  if ($verdict ne 'ok') {
    _state_close($state, undef);
    return ($verdict, 0);
  }
  push @$lines, map { "$_->[0] $now" } @visitor;
  # A spent token's line keeps its issue time, so that it expires with the token.
  push @$lines, "T $random $issued" if defined $random;
  my $reply_allowed = 1;
  if (defined $reply_to) {
    my $mailbox = 'R ' . $self->_keyed('reply', _mailbox_key($reply_to));
    $reply_allowed = $self->_reply_allowed(\%count, $mailbox, $lines, $now);
    push @$lines, "$mailbox $now" if $reply_allowed;
  }
  _state_close($state, _trimmed_text($lines));
  return ('ok', $reply_allowed);
}

# The lines of the state file that have not expired; any other line is dropped.
sub _live_lines {
  my ($self, $text, $now) = @_;
  my $window = 60 * ($self->{guard}{LIMIT_MINUTES} && $self->{guard}{LIMIT_MINUTES} > 0
    ? $self->{guard}{LIMIT_MINUTES} : 60);
  my %life = (A => $window, N => $window, R => 86400, T => $self->_token_seconds);
  return [grep {
    /\A([ANRT]) [0-9a-f]{32} (\d+)\z/ && $2 > $now - $life{$1} && $2 <= $now + 60
  } split /\n/, $text];
}

# The lines that count one send of the visitor, each with its limit; none without limits.
sub _visitor_entries {
  my ($self) = @_;
  my $limit = $self->{guard}{LIMIT_COUNT} || 0;
  return () unless $limit > 0;
  my ($address, $network) = _visitor_keys();
  return (['A ' . $self->_keyed('address', $address), $limit],
    defined $network ? (['N ' . $self->_keyed('network', $network), $NETWORK_FACTOR * $limit]) : ());
}

# At most REPLY_LIMIT replies to one mailbox in 24 hours and REPLY_PER_HOUR to all in an hour.
sub _reply_allowed {
  my ($self, $count, $mailbox, $lines, $now) = @_;
  my $guard = $self->{guard};
  return 0 if ($count->{$mailbox} || 0) >= $guard->{REPLY_LIMIT};
  my $per_hour = $guard->{REPLY_PER_HOUR} || 0;
  return 1 unless $per_hour > 0;
  my $hour = grep { /\AR \S+ (\d+)\z/ && $1 > $now - 3600 } @$lines;
  return $hour < $per_hour;
}

# One mailbox however it is spelled: lower case, without a "+tag" and without the dots of
# the local part, which large mail services ignore. The address is a plain one (see
# _is_address).
sub _mailbox_key {
  my ($address) = @_;
  my ($local, $domain) = lc($address) =~ /\A([^\@]*)\@(.*)\z/s;
  $local =~ s/\+.*//s;
  $local =~ tr/.//d;
  return "$local\@$domain";
}

# The lines as the file keeps them: each kind held to its bound, its oldest lines first out.
sub _trimmed_text {
  my ($lines) = @_;
  my %left;
  $left{substr($_, 0, 1)}++ for @$lines;
  my @kept = grep {
    my $kind = substr($_, 0, 1);
    $left{$kind}-- <= $STATE_MAX_LINES{$kind};
  } @$lines;
  return join '', map { "$_\n" } @kept;
}

# Addresses are kept only as hashes keyed with this make's secret.
sub _keyed {
  my ($self, $kind, $text) = @_;
  my $key = defined $self->{guard}{SECRET} ? $self->{guard}{SECRET} : '';
  return substr(Digest::SHA::hmac_sha256_hex("$kind:$text", $key), 0, 32);
}

# The visitor's address and, for IPv6, its network: the /64 that one subscriber holds and
# the /48 that one site holds (undef for IPv4).
sub _visitor_keys {
  my $address = defined $ENV{REMOTE_ADDR} ? lc $ENV{REMOTE_ADDR} : '';
  $address =~ s/%.*//s;
  return ("4:$1", undef) if $address =~ /\A(?:::ffff:)?(\d{1,3}(?:\.\d{1,3}){3})\z/;
  return ("?:$address", undef) unless $address =~ /\A[0-9a-f:.]+\z/ && $address =~ /:/;
  my ($head, $tail) = split /::/, $address, 2;
  my @head = grep { length } split /:/, $head;
  my @tail = defined $tail ? grep { length } split /:/, $tail : ();
  my $groups = @head + @tail + grep { /\./ } @tail;
  my @all = map { sprintf('%x', hex($_ || 0)) } (@head, ('0') x (defined $tail ? 8 - $groups : 0), @tail)[0 .. 3];
  return ('6:' . join(':', @all), '6:' . join(':', @all[0 .. 2]) . '::/48');
}

# The state file beside the script, opened and locked; undef (and one line in the error
# log) when it cannot be made, read or locked, and the form then goes on without limits.
sub _state_open {
  my $dir = $0;
  $dir =~ s{[^/\\]*\z}{};
  (my $name = $0) =~ s{.*[/\\]}{}s;
  $name =~ s/[^A-Za-z0-9._-]/_/g;
  my $path = ($dir eq '' ? './' : $dir) . ".htquillpost-$name";
  my $fh;
  unless (sysopen($fh, $path, O_RDWR | O_CREAT, 0600)) {
    warn "Quillpost: $path cannot be opened ($!); sending without limits\n";
    return undef;
  }
  binmode $fh;
  my $waited = 0;
  until (flock($fh, LOCK_EX | LOCK_NB)) {
    if ($waited >= $STATE_LOCK_SECONDS) {
      warn "Quillpost: $path stayed locked; sending without limits\n";
      return undef;
    }
    select(undef, undef, undef, 0.05);
    $waited += 0.05;
  }
  my $text = '';
  while (1) {
    my $got = sysread($fh, $text, 65536, length $text);
    unless (defined $got) {
      warn "Quillpost: $path cannot be read ($!); sending without limits\n";
      return undef;
    }
    last unless $got;
  }
  return { fh => $fh, path => $path, text => $text };
}

# Writes the state file's new text, when there is one, and lets the lock go.
sub _state_close {
  my ($state, $text) = @_;
  my $fh = $state->{fh};
  unless (defined $text) {
    close $fh;
    return;
  }
  my $ok = sysseek($fh, 0, 0) && truncate($fh, 0);
  while ($ok && length $text) {
    my $wrote = syswrite($fh, $text);
    $ok = defined $wrote && $wrote > 0;
    substr($text, 0, $wrote) = '' if $ok;
  }
  warn "Quillpost: $state->{path} cannot be written ($!); its counts may be lost\n" unless $ok;
  close $fh;
}

#@ codes
# ---------------------------------------------------------------------------------------
# Character codes
#
# A run handles bytes in the script's own code: EUC-JP, or UTF-8 while $UTF8 is true (set
# for one run from CHARSET). Mails leave in UTF-8. An EUC-JP page cannot hold every
# character: for the others a browser sends a numeric character reference, which the run
# carries as text and shows, counts and mails as the character it stands for.

# A numeric character reference: decimal in $1, hexadecimal in $2; and the same as a token.
my $REFERENCE = qr/&#(?:([0-9]{1,8})|[xX]([0-9A-Fa-f]{1,6}));/;
my $REFERENCE_TOKEN = qr/&#(?:[0-9]{1,8}|[xX][0-9A-Fa-f]{1,6});/;

# The geta mark (U+3013), which stands for a referenced character where a pattern is matched.
my $GETA = "\xA2\xAE";

my %browser_char;

# The character (UTF-8 bytes) of a reference that a browser made because an EUC-JP page
# cannot hold it; undef for any other, which stays text: ASCII such as "<", "&" or quotes,
# control characters, characters that EUC-JP holds (a browser sends those as they are),
# surrogates and non-characters.
sub _browser_char {
  my ($decimal, $hex) = @_;
  my $code = defined $decimal ? $decimal + 0 : hex $hex;
  return $browser_char{$code} if exists $browser_char{$code};
  my $char;
  if ($code >= 0xA0 && $code <= 0x10FFFF && ($code < 0xD800 || $code > 0xDFFF)
      && ($code < 0xFDD0 || $code > 0xFDEF) && ($code & 0xFFFE) != 0xFFFE && $code != 0x2212) {
    require Encode;
    my $probe = chr $code;
    # Browsers encode EUC-JP with the Windows character set, which CP932 shares.
    $char = Encode::encode('UTF-8', chr $code)
      if $code > 0xFFFF || Encode::encode('cp932', $probe, Encode::FB_QUIET()) eq '';
  }
  return $browser_char{$code} = $char;
}

# The characters of a text, a reference counting as one (a stray byte as well).
sub _chars {
  my ($text) = @_;
  my $char = $UTF8 ? $UTF8_CHAR : $EUC_CHAR;
  return $text =~ /($REFERENCE_TOKEN|$char|[\x80-\xFF])/g;
}

# A value's length for SIZE_CONSTRAINT: its EUC-JP bytes as a browser sends them, a
# character that EUC-JP cannot hold counting as 2; so in UTF-8 every character beyond ASCII
# counts as 2.
sub _size {
  my ($value) = @_;
  if ($UTF8) {
    my $ascii = ($value =~ tr/\x00-\x7F//);
    return $ascii + 2 * ($value =~ tr/\xC0-\xFF//);
  }
  my $size = length $value;
  while ($value =~ /$REFERENCE/g) {
    $size -= $+[0] - $-[0] - 2 if defined _browser_char($1, $2);
  }
  return $size;
}

# The value a CONSTRAINT_REGEXP sees: in EUC-JP a referenced character is one character.
sub _for_pattern {
  my ($value) = @_;
  return $value if $UTF8 || index($value, '&#') < 0;
  $value =~ s/($REFERENCE)/defined _browser_char($2, $3) ? $GETA : $1/ge;
  return $value;
}

# A text of this file (EUC-JP) in the script's code.
my %source_text;

sub _source_text {
  my ($text) = @_;
  return $text unless $UTF8;
  return $source_text{$text} if exists $source_text{$text};
  _require_lib('jcode.pl');
  return $source_text{$text} = Quillpost::Jcode::euc_to_utf8($text);
}

# A mail text in UTF-8, with the characters of the browser's references.
sub _mail_text {
  my ($text) = @_;
  return $text if $UTF8;
  _require_lib('jcode.pl');
  $text = Quillpost::Jcode::euc_to_utf8($text);
  $text =~ s/($REFERENCE)/my $c = _browser_char($2, $3); defined $c ? $c : $1/ge;
  return $text;
}

#@ check
# The answer to a status request of the program's site check: what the runtime sees on this
# host, one "name=value" a line. Only for "TIME.MAC", MAC the HMAC-SHA-256 of "status:TIME"
# under the script's CHECK key, and TIME within $CHECK_WINDOW seconds of the host's clock.
our $CHECK_WINDOW = 300;
our @CHECK_SENDMAILS = qw(/usr/sbin/sendmail /usr/lib/sendmail /usr/bin/sendmail /usr/local/sbin/sendmail
  /usr/local/bin/sendmail);

sub _check_status {
  my ($self, $signed) = @_;
  my ($time, $mac) = $signed =~ /\A([0-9]{1,12})\.([0-9a-f]{64})\z/;
  return undef unless defined $mac && abs($self->_now - $time) <= $CHECK_WINDOW;
  my $want = _hmac_sha256_hex($self->{check}{KEY}, "status:$time");
  my $diff = 0;
  $diff |= ord(substr($want, $_, 1)) ^ ord(substr($mac, $_, 1)) for 0 .. 63;
  return undef if $diff;

  my ($sendmail) = split ' ', (defined $self->{mail}{SENDMAIL} ? $self->{mail}{SENDMAIL} : '');
  $sendmail = '' unless defined $sendmail;
  my @lines = (
    'quillpost-status=1',
    "runtime=$VERSION",
    'script=' . (defined $self->{check}{RELEASE} ? $self->{check}{RELEASE} : ''),
    'perl=' . sprintf('%vd', $^V),
    'charset=' . ($self->{utf8} ? 'UTF-8' : 'EUC-JP'),
    "sendmail=$sendmail",
    'sendmail_runs=' . ($sendmail ne '' && -f $sendmail && -x _ ? 1 : 0),
    'sendmails=' . join(' ', grep { -f $_ && -x _ } @CHECK_SENDMAILS),
    'state=' . _check_writable(''),
  );
  push @lines, 'inbox=' . _check_writable('-inbox') if $self->{inbox};
  return "Content-Type: text/plain; charset=US-ASCII\r\nCache-Control: no-store\r\n"
    . "X-Content-Type-Options: nosniff\r\n\r\n" . join("\n", @lines) . "\n";
}

# 1 when the CGI can write the file beside the script that ends in $suffix, or make it.
sub _check_writable {
  my ($suffix) = @_;
  my $dir = $0;
  $dir =~ s{[^/\\]*\z}{};
  (my $name = $0) =~ s{.*[/\\]}{}s;
  $name =~ s/[^A-Za-z0-9._-]/_/g;
  $dir = './' if $dir eq '';
  my $path = $dir . ".htquillpost-$name$suffix";
  return (-e $path ? -w $path : -w $dir) ? 1 : 0;
}
