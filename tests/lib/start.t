# How a made CGI finds its runtime and what it loads: the module is taken from the
# script's own folder however the script is started, and a form page loads nothing but
# strict, warnings and the module, and compiles none of the groups it does not run.
use strict;
use warnings;
use Test::More;
use Cwd qw(abs_path);
use File::Basename qw(basename dirname);
use File::Spec;
use File::Temp qw(tempdir);
use FindBin;
use lib $FindBin::Bin;
use QpCgi qw(make_cgi);

plan skip_all => 'quillpost-cli is not built' unless QpCgi::cli_path();

my $cgi = make_cgi('contact');
my $dir = abs_path($cgi->{dir});
my $elsewhere = tempdir('qp-start-XXXXXX', TMPDIR => 1, CLEANUP => 1);
symlink("$dir/form.cgi", "$elsewhere/absolute.cgi") or die "symlink: $!\n";
mkdir "$elsewhere/sub" or die "$elsewhere/sub: $!\n";
# A chain: a relative link to a relative link in another folder.
symlink('../relative.cgi', "$elsewhere/sub/chain.cgi") or die "symlink: $!\n";
symlink(File::Spec->abs2rel("$dir/form.cgi", $elsewhere), "$elsewhere/relative.cgi")
  or die "symlink: $!\n";

my %starts = (
  'absolute path, from /'          => ['/', "$dir/form.cgi"],
  'relative path, from its folder' => [$dir, 'form.cgi'],
  'relative path, from its parent' => [dirname($dir), basename($dir) . '/form.cgi'],
  'relative path, from elsewhere'  => [$elsewhere, File::Spec->abs2rel("$dir/form.cgi", $elsewhere)],
  'symbolic link, absolute target' => ['/', "$elsewhere/absolute.cgi"],
  'chain of relative links'        => [$elsewhere, 'sub/chain.cgi'],
);
for my $label (sort keys %starts) {
  my ($cwd, $script) = @{$starts{$label}};
  my $r = $cgi->request(cwd => $cwd, script => $script);
  is($r->{status}, 200, "$label: status");
  like($r->{body}, qr{<form name="form1"}, "$label: the form page");
  is($r->{stderr}, '', "$label: nothing on stderr");
}

subtest 'a form page loads and compiles only what it runs' => sub {
  my $probe = "$dir/probe.cgi";
  open(my $fh, '>', $probe) or die "$probe: $!\n";
  print $fh $cgi->script_text,
    "\nprint STDERR join(' ', sort(keys %INC), grep { defined &{\"Quillpost::\$_\"} }",
    " qw(_check _send_mails)), \"\\n\";\n";
  close $fh or die "$probe: $!\n";
  my $r = $cgi->request(script => $probe);
  is($r->{stderr}, "Quillpost.pm strict.pm warnings.pm\n", 'modules loaded; no check or mail sub');
  my $c = $cgi->request(script => $probe, form => [name => 'x', __action1__ => 'x']);
  like($c->{stderr}, qr/ _check\n\z/, 'the checks compiled for a confirmation, the mails not');
};

done_testing;
