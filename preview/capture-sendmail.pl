#!/usr/bin/perl
# Stands in for sendmail in a local preview: each message it is given is stored in the folder
# "mail" beside this program instead of being sent, together with its arguments (one a
# line). Names sort by arrival; the message appears under its final name only when whole.
use strict;
use warnings;
use FindBin;
use Time::HiRes ();

my $dir = "$FindBin::Bin/mail";
binmode STDIN;
my $message = do { local $/; <STDIN> };
$message = '' unless defined $message;

my ($seconds, $micro) = Time::HiRes::gettimeofday();
my $name = sprintf('%010d-%06d-%d', $seconds, $micro, $$);
my $serial = 0;
$serial++ while -e "$dir/$name-$serial.eml" || -e "$dir/$name-$serial.args";
$name .= "-$serial";

sub store {
  my ($path, $data) = @_;
  open(my $fh, '>', $path) or die "capture-sendmail: $path: $!\n";
  binmode $fh;
  print $fh $data or die "capture-sendmail: $path: $!\n";
  close $fh or die "capture-sendmail: $path: $!\n";
}

store("$dir/$name.args", join('', map { "$_\n" } @ARGV));
store("$dir/$name.tmp", $message);
rename("$dir/$name.tmp", "$dir/$name.eml") or die "capture-sendmail: $name: $!\n";
exit 0;
