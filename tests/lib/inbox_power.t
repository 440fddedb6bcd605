# The inbox's RSA power, the runtime's own arithmetic, against Math::BigInt's bmodpow: random
# moduli, and the edges where every limb and every carry is at its largest.
use strict;
use warnings;
use Test::More;
use FindBin;
use lib $FindBin::Bin;
use Math::BigInt;
use QpCgi;

require(QpCgi::runtime_dir() . '/Quillpost.pm');
Quillpost::_compile_group_of();

my $size = 384;
my $limbs = int((8 * $size + 27) / 28);
sub hex_of { my $h = substr($_[0]->as_hex, 2); ('0' x (2 * $size - length $h)) . $h }
sub random_bytes { join '', map { chr int rand 256 } 1 .. $_[0] }

srand(31);
my @moduli = (Math::BigInt->new(2)->bpow(3072)->bdec,    # every limb all ones
  Math::BigInt->new(2)->bpow(3071)->binc);                # one bit at each end
push @moduli, Math::BigInt->from_hex(unpack("H*", "\x80" . random_bytes($size - 2) . "\x01")) for 1 .. 3;
for my $n (@moduli) {
  $n->bior(1);
  my $r2 = Math::BigInt->new(2)->bpow(56 * $limbs)->bmod($n);
  my $inbox = { MODULUS => hex_of($n), MONTGOMERY_R2 => hex_of($r2), EXPONENT => '65537' };
  for my $block ("\0" x $size, "\0" . ("\xFF" x ($size - 1)), "\0" . random_bytes($size - 1), pack('H*', hex_of($n->copy->bdec))) {
    my $x = Math::BigInt->from_hex(unpack('H*', $block));
    next if $x >= $n;
    is(unpack('H*', Quillpost::_inbox_power($inbox, $block, $size)), hex_of($x->copy->bmodpow(65537, $n)),
      'the power of ' . substr(unpack('H*', $block), 0, 12) . '... mod ' . substr(hex_of($n), 0, 12) . '...');
  }
}

done_testing;
