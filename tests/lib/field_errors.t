# The example project's HTML5 pages as a visitor meets them after a failed check: each
# message beside its field, the field marked invalid, a summary at the top that links to
# each field; in either character code. Pages without the new marks are form.t's.
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

my $example = "$FindBin::Bin/../../examples/contact.qpf";
my @fields = qw(name kana email email_confirm tel category pref message newsletter);

# What the page says of each field: its message (undef when none) and whether it is invalid.
sub field_states {
  my ($page) = @_;
  my %state;
  for my $attr (@fields) {
    my ($message) = $page =~ m{<span class="error" id="\Q$attr\E-error">(.*?)</span>}s;
    my @controls = $page =~ m{(<(?:input|select|textarea)\b[^>]*\bname="\Q$attr\E"[^>]*>)}g;
    my $invalid = grep { /aria-invalid="true"/ } @controls;
    $state{$attr} = [$message eq '' ? undef : $message, $invalid == @controls && @controls ? 1 : $invalid ? 'some' : 0];
  }
  return \%state;
}

sub summary {
  my ($page) = @_;
  my ($region) = $page =~ m{<div id="error" role="alert">(.*?)</div>}s or return undef;
  return [$region =~ m{<li><a href="#(\w+)">(.*?)</a></li>}g];
}

for my $charset ('EUC-JP', 'UTF-8') {
  my $cgi = make_cgi($example, charset => $charset);
  my $text = $charset eq 'UTF-8' ? sub { Encode::decode('UTF-8', $_[0]) } : \&u;
  my $bytes = $charset eq 'UTF-8' ? sub { Encode::encode('UTF-8', $_[0]) } : \&e;
  my $post = sub { $text->($cgi->request(method => 'POST', form => [@_])->{body}) };

  subtest "$charset: the first visit shows no error" => sub {
    my $page = $text->($cgi->request->{body});
    is_deeply(summary($page), [], 'an empty summary');
    is_deeply(field_states($page), { map { $_ => [undef, 0] } @fields }, 'no message, nothing invalid');
    unlike($page, qr{<%|%>}, 'every mark filled');
  };

  subtest "$charset: required fields left empty and a bad address" => sub {
    my $page = $post->(email => 'taro@', email_confirm => 'taro@', __action1__ => 'x');
    my %want = (
      name => 'お名前を入力してください。',
      email => 'メールアドレスの形式が正しくありません。',
      category => 'お問い合わせの種類を選んでください。',
      message => 'お問い合わせ内容を入力してください。',
    );
    is_deeply(summary($page), [map { ($_ => $want{$_}) } qw(name email category message)],
      'the summary links each message to its field, in item order');
    is_deeply(field_states($page), { map { $_ => $want{$_} ? [$want{$_}, 1] : [undef, 0] } @fields },
      'each message beside its field, and only those fields invalid (every radio button of the group)');
    like($page, qr{<input type="email" id="email" name="email" value="taro\@"}, 'the typed value stays');
  };

  subtest "$charset: a value with markup stays text in the message's field" => sub {
    my $page = $post->(name => $bytes->('<b>山田</b>'), email => 'a@example.com',
      email_confirm => 'b@example.com', category => $bytes->('その他'), message => 'x', __action1__ => 'x');
    is_deeply(summary($page), ['email_confirm', '確認用のメールアドレスが一致しません。'], 'the retype check');
    like($page, qr{value="&lt;b&gt;山田&lt;/b&gt;"}, 'escaped value');
    is(field_states($page)->{name}[1], 0, 'a valid field is not marked');
  };
}

subtest 'a refusal that concerns no field stands in the summary unlinked' => sub {
  my $cgi = make_cgi($example, guard => { UseToken => 1, MinSeconds => 0 });
  my $page = u($cgi->request(method => 'POST', form => [name => 'a', email => 'a@example.com',
    email_confirm => 'a@example.com', category => e('その他'), message => 'x', __action1__ => 'x'])->{body});
  like($page, qr{<div id="error" role="alert"><ul><li>ページの有効期限が切れました。もう一度送信してください。</li></ul></div>},
    'the message of a form without its token');
  is_deeply(field_states($page), { map { $_ => [undef, 0] } @fields }, 'no field has a message or is marked');
};

done_testing;
