# The form-mail runtime: reads the request, converts and checks the fields, fills the page
# templates and sends the mails that the generated CGI describes. This file is EUC-JP.
package Quillpost;
use strict;
use warnings;

our $VERSION = '1.0';

# Largest request body (and query string) read; bigger requests get an error page.
our $MAX_BODY = 100 * 1024;

my $MSG_TOO_LARGE   = '送信されたデータが大きすぎます。';
my $MSG_SEND_FAILED = 'メールの送信に失敗しました。';
my $MSG_INTERNAL    = 'エラーが発生しました。';
my $MSG_BAD_ADDRESS = '「%s」に正しいメールアドレスを入力してください。';
my $MSG_BAD_CHARS   = '「%s」に改行などの使えない文字が含まれています。';
my $MSG_INVALID     = '「%s」の入力内容に誤りがあります。';
my $MSG_TOO_LONG    = '「%s」は%dバイト以内で入力してください。';
my $MSG_REQUIRED    = '「%s」が入力されていません。';

# One EUC-JP character; anything else is a stray byte.
my $EUC_CHAR = qr/[\x00-\x7F]|\x8E[\xA1-\xDF]|\x8F[\xA1-\xFE][\xA1-\xFE]|[\xA1-\xFE][\xA1-\xFE]/;

# One plain address: no display name, no comment, no list, no blank, no leading hyphen
# (it is handed to sendmail as an argument).
my $ADDRESS = qr/\A(?!-)[A-Za-z0-9!#\$%&'*+\/=?^_`{|}~.-]{1,64}\@
  [A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?(?:\.[A-Za-z0-9](?:[A-Za-z0-9-]*[A-Za-z0-9])?)*\z/x;

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

# The conversions named in the items' CONVERT lists; each takes and returns one value.
sub zen_num_hyphen_to_han { _require_lib('jcode.pl'); Quillpost::Jcode::zen_num_hyphen_to_han(@_) }
sub han_num_hyphen_to_zen { _require_lib('jcode.pl'); Quillpost::Jcode::han_num_hyphen_to_zen(@_) }
sub hyphen_delete         { _require_lib('jcode.pl'); Quillpost::Jcode::hyphen_delete(@_) }
sub zen_alphabet_to_han   { _require_lib('jcode.pl'); Quillpost::Jcode::zen_alphabet_to_han(@_) }
sub han_alphabet_to_zen   { _require_lib('jcode.pl'); Quillpost::Jcode::han_alphabet_to_zen(@_) }
sub han_kana_to_zen       { _require_lib('jcode.pl'); Quillpost::Jcode::han_kana_to_zen(@_) }
sub strip                 { _require_lib('jcode.pl'); Quillpost::Jcode::strip(@_) }

sub new {
  my ($class, %args) = @_;
  my $self = bless {
    items => ref $args{ITEMS} eq 'ARRAY' ? $args{ITEMS} : [],
    html  => ref $args{HTML} eq 'HASH' ? $args{HTML} : {},
    mail  => ref $args{MAIL} eq 'HASH' ? $args{MAIL} : {},
  }, $class;
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

  my %values;
  for my $item (@{$self->{items}}) {
    my $attr = $item->{ATTR};
    next unless defined $attr;
    my $value = defined $form->{$attr} ? $form->{$attr} : '';
    # Only a multi-line field can hold a line break; a browser never sends one elsewhere.
    $value =~ tr/\n//d unless ($item->{TYPE} || '') eq 'TEXTAREA';
    $values{$attr} = $value;
  }

  if (exists $form->{__action3__}) {
    return $self->_page('FORM', \%values, []);
  }
  my $send = exists $form->{__action2__};
  unless ($send || exists $form->{__action1__}) {
    return $self->_page('FORM', {}, []);
  }

  $self->_convert(\%values);
  my $errors = $self->_check(\%values, $form);
  return $self->_page('FORM', \%values, $errors) if @$errors;

  if (!$send && _text($self->{html}{CONFIRM}) =~ /\S/) {
    return $self->_page('CONFIRM', \%values, []);
  }
  # Mail leaves only for a POST; a GET that gets this far just shows its values again.
  return $self->_page('FORM', \%values, []) unless $method eq 'POST';

  return $self->_send_mails(\%values);
}

# ---------------------------------------------------------------------------------------
# Request

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
    my ($name) = $disposition =~ /;\s*name="((?:[^"\\]|\\.)*)"/i;
    ($name) = $disposition =~ /;\s*name=([^;\s]+)/i unless defined $name;
    next unless defined $name;
    $name =~ s/%22/"/g;
    push @pairs, $name, $body;
  }
  return @pairs;
}

# Line breaks become LF; a byte that is not part of a valid EUC-JP character becomes "?",
# so that no broken sequence can swallow the quote or bracket that follows it in a page.
sub _clean_value {
  my ($value) = @_;
  $value =~ s/\r\n?/\n/g;
  $value =~ s/((?:$EUC_CHAR)+)|[\x80-\xFF]/defined $1 ? $1 : '?'/ge;
  return $value;
}

# ---------------------------------------------------------------------------------------
# Conversions and checks

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
    $values->{$item->{ATTR}} = $value;
  }
}

# One message per field, the first check that fails, in item order.
sub _check {
  my ($self, $values, $form) = @_;
  my @errors;
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
        && $size > 0 && length($value) > $size) {
      $message = _message($item->{SIZE_CONSTRAINT_ERROR}, $MSG_TOO_LONG, $name, $size);
    }
    if (!defined $message && $value ne '' && defined $item->{CONSTRAINT_REGEXP}) {
      my $pattern = _text($item->{CONSTRAINT_REGEXP});
      if ($pattern ne '' && !_matches($pattern, $value)) {
        $message = _message($item->{CONSTRAINT_REGEXP_ERROR}, $MSG_INVALID, $name);
      }
    }
    if (!defined $message && defined $item->{RETYPE_ATTR} && $item->{RETYPE_ATTR} ne '') {
      my $other = $item->{RETYPE_ATTR};
      my $again = exists $values->{$other} ? $values->{$other}
                : defined $form->{$other} ? $form->{$other} : '';
      $message = _message($item->{RETYPE_ERROR}, $MSG_INVALID, $name) if $again ne $value;
    }
    push @errors, $message if defined $message;
  }
  return \@errors;
}

my %pattern_cache;

sub _matches {
  my ($pattern, $value) = @_;
  my $re = $pattern_cache{$pattern};
  unless ($re) {
    $re = eval { qr/$pattern/ };
    unless ($re) {
      # A pattern that does not compile is the form's fault: the value is refused.
      warn "Quillpost: bad CONSTRAINT_REGEXP: $@";
      return 0;
    }
    $pattern_cache{$pattern} = $re;
  }
  return $value =~ $re;
}

sub _message {
  my ($text, $fallback, @args) = @_;
  $text = _text($text);
  return $text ne '' ? $text : sprintf($fallback, @args);
}

# A here-document value without its final line break.
sub _text {
  my ($text) = @_;
  return '' unless defined $text;
  $text =~ s/\r?\n\z//;
  return $text;
}

# ---------------------------------------------------------------------------------------
# Pages

sub escape_html {
  my ($text) = @_;
  return '' unless defined $text;
  $text =~ tr/\x00-\x08\x0B-\x1F\x7F//d;
  $text =~ s/&/&amp;/g;
  $text =~ s/</&lt;/g;
  $text =~ s/>/&gt;/g;
  $text =~ s/"/&quot;/g;
  $text =~ s/'/&#39;/g;
  return $text;
}

# The item a mark shows and the form it takes: (attr, '') for the plain value, (attr,
# 'br' | 'password' | 'checked') or (attr, 'checked' | 'selected', choice); empty when the
# mark names no item. A name attribute that itself ends in "_br" wins over the suffix.
sub _mark_item {
  my ($self, $mark) = @_;
  my $by_attr = $self->{by_attr};
  return ($mark, '') if $by_attr->{$mark};
  return ($1, $2, $3) if $mark =~ /\A(\w+?)_(checked|selected)\((.*)\)\z/s && $by_attr->{$1};
  return ($1, $2) if $mark =~ /\A(\w+)_(br|password|checked)\z/ && $by_attr->{$1};
  return;
}

# The text of one <% ... %> mark. $raw gives the plain values (mails), else HTML.
sub _mark {
  my ($self, $mark, $values, $errors, $raw) = @_;
  if ($mark eq '__error__') {
    return $raw ? join("\n", @$errors) : join('<br />', map { escape_html($_) } @$errors);
  }
  if ($mark eq '__cgi_url__') {
    my $url = defined $ENV{SCRIPT_NAME} ? $ENV{SCRIPT_NAME} : '';
    return $raw ? $url : escape_html($url);
  }
  my ($attr, $form, $choice) = $self->_mark_item($mark) or return '';
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
    my $n = () = $value =~ /$EUC_CHAR|[\x80-\xFF]/g;
    return '*' x $n;
  }
  return $value if $raw;
  $value = escape_html($value);
  $value =~ s/\n/<br \/>/g;
  return $value;
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
  return _response(200, $page);
}

sub _response {
  my ($status, $body) = @_;
  my $head = $status == 200 ? '' : "Status: $status " . _reason($status) . "\r\n";
  return $head . "Content-Type: text/html; charset=EUC-JP\r\n\r\n" . $body;
}

sub _reason {
  my ($status) = @_;
  return { 413 => 'Request Entity Too Large', 500 => 'Internal Server Error' }->{$status}
    || 'Error';
}

sub _error_page {
  my ($status, $message) = @_;
  my $text = escape_html($message);
  return _response($status, <<"END_OF_PAGE");
<?xml version="1.0" encoding="euc-jp"?>
<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">
<html xmlns="http://www.w3.org/1999/xhtml">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=euc-jp" />
<title>エラー</title>
</head>
<body>
<p>$text</p>
</body>
</html>
END_OF_PAGE
}

# ---------------------------------------------------------------------------------------
# Mails

sub _send_mails {
  my ($self, $values) = @_;
  my $mail = $self->{mail};

  my ($admin, $refusal) = $self->_build_mail($mail->{ADMIN}, $values, $self->_admin_body($values));
  return $self->_page('FORM', $values, $refusal) if $refusal;
  return _error_page(500, $MSG_SEND_FAILED) unless $admin;

  # A visitor's address that is not usable only costs the visitor the automatic reply.
  my $reply;
  if (ref $mail->{USER} eq 'HASH') {
    my $body = $self->_fill(_text($mail->{USER}{BODY}), $values, [], 1);
    ($reply) = $self->_build_mail($mail->{USER}, $values, $body);
  }

  for my $message ($admin, $reply ? $reply : ()) {
    return _error_page(500, $MSG_SEND_FAILED)
      unless Quillpost::Mime::deliver($mail->{SENDMAIL}, $message->{to}, $message->{text});
  }

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
  my ($self, $settings, $values, $body) = @_;
  return (undef, undef) unless ref $settings eq 'HASH';
  my %header;
  for my $key (qw(FROM TO SUBJECT)) {
    my $template = _text($settings->{$key});
    my $value = $self->_fill($template, $values, [], 1);
    my $address = $key ne 'SUBJECT';
    $value =~ s/\A +| +\z//g if $address;
    my $bad = $value =~ /[\x00-\x1F\x7F]/ ? $MSG_BAD_CHARS
            : $address && $value !~ $ADDRESS ? $MSG_BAD_ADDRESS : undef;
    if ($bad) {
      my @names = $self->_marked_names($template);
      unless (@names) {
        warn "Quillpost: the mail's $key setting is not usable\n";
        return (undef, undef);
      }
      return (undef, [map { sprintf($address ? $MSG_BAD_ADDRESS : $bad, $_) } @names]);
    }
    $header{$key} = $value;
  }
  _require_lib('jcode.pl');
  _require_lib('mimew.pl');
  $body =~ tr/\x00-\x08\x0B-\x1F\x7F//d;
  my $text = Quillpost::Mime::message(
    from    => $header{FROM},
    to      => $header{TO},
    subject => Quillpost::Jcode::euc_to_utf8($header{SUBJECT}),
    body    => Quillpost::Jcode::euc_to_utf8($body),
  );
  return ({ to => $header{TO}, text => $text }, undef);
}

# Display names of the items whose values a template takes.
sub _marked_names {
  my ($self, $template) = @_;
  my (@names, %seen);
  while ($template =~ /<%\s*(.*?)\s*%>/gs) {
    my ($attr) = $self->_mark_item($1) or next;
    push @names, _text($self->{by_attr}{$attr}{NAME}) unless $seen{$attr}++;
  }
  return @names;
}

# A relative redirect address is made absolute against the script's own URL.
sub _absolute_url {
  my ($location) = @_;
  $location =~ s/([^\x21-\x7E])/sprintf('%%%02X', ord $1)/ge;
  return $location if $location =~ m{\A[A-Za-z][A-Za-z0-9+.-]*://};
  my $https = defined $ENV{HTTPS} && $ENV{HTTPS} =~ /\A(?:on|1)\z/i;
  my $host_re = qr/\A[A-Za-z0-9.:\[\]-]+\z/;
  my $host = $ENV{HTTP_HOST};
  unless (defined $host && $host =~ $host_re) {
    $host = $ENV{SERVER_NAME};
    return $location unless defined $host && $host =~ $host_re;
    my $port = $ENV{SERVER_PORT};
    $host .= ":$port" if defined $port && $port =~ /\A\d+\z/ && $port != ($https ? 443 : 80);
  }
  my $path = $location;
  unless ($path =~ m{\A/}) {
    my $dir = defined $ENV{SCRIPT_NAME} ? $ENV{SCRIPT_NAME} : '/';
    $dir =~ s{[^/]*\z}{};
    $dir = '/' if $dir eq '';
    $path = $dir . $path;
  }
  return ($https ? 'https' : 'http') . "://$host$path";
}

1;
