# The runtime compiles cleanly, the groups after __DATA__ included: perl -c never reads
# them, and a request compiles only the groups it calls, so an error in one that no other
# test reaches would otherwise wait for the first visitor who does.
use strict;
use warnings;
use Test::More;
use B ();
use FindBin;
use lib $FindBin::Bin;
use QpCgi ();

my $lib = QpCgi::runtime_dir();
my @warnings;
local $SIG{__WARN__} = sub { push @warnings, @_ };

subtest 'every file and every group compiles without an error or a warning' => sub {
  for my $file (qw(Quillpost.pm jcode.pl mimew.pl)) {
    ok(eval { require "$lib/$file" }, $file) or diag $@;
  }
  # No sub named: every group, as the first call of one of its subs would compile it.
  ok(eval { Quillpost::_compile_group_of(undef); 1 }, 'the groups after __DATA__') or diag $@;
  is_deeply(\@warnings, [], 'no warning');
};

# A sub outside any group, or in a second group of the same name, is never compiled; wrong
# line numbers would send an error in a group to the wrong place in the error log.
subtest 'every sub after __DATA__ is compiled, with its own line numbers' => sub {
  open(my $fh, '<:raw', "$lib/Quillpost.pm") or die "Quillpost.pm: $!\n";
  my @lines = <$fh>;
  my ($data) = grep { $lines[$_] eq "__DATA__\n" } 0 .. $#lines;
  my $file = B::svref_2object(\&Quillpost::new)->FILE;
  my @subs;
  for my $i ($data + 1 .. $#lines) {
    my ($name, $rest) = $lines[$i] =~ /^sub (\w+)\b(.*)/ or next;
    # The first statement: on the same line for a one-line sub, else the next line of code.
    my $first = $rest =~ /\{\s*[^\s}]/ ? $i
      : (grep { $lines[$_] =~ /^\s*[^\s#]/ } $i + 1 .. $#lines)[0];
    push @subs, [$name, $first + 1];
  }
  cmp_ok(scalar @subs, '>', 20, 'the groups are found');
  my @wrong = grep {
    my $start = B::svref_2object(\&{"Quillpost::$_->[0]"})->START;
    !$start->can('line') || $start->file ne $file || $start->line != $_->[1];
  } @subs;
  is_deeply([map { $_->[0] } @wrong], [], 'no sub missing or at another line');
};

done_testing;
