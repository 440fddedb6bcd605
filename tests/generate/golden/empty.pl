#!/usr/bin/perl --
use FindBin;
use lib $FindBin::Bin;
use Quillpost;
my $items = [
];
my $mail = {
  SENDMAIL => '/usr/lib/sendmail',
  ADMIN => {
    FROM => '',
    TO => '',
    SUBJECT =><<__END__,

__END__
  },
};
my $html = {
  FORM =><<__END__,

__END__
  CONFIRM =><<__END__,
__END__
  FINISH =><<__END__,

__END__
};
my $qpf = Quillpost->new(ITEMS => $items, HTML => $html, MAIL => $mail);
print $qpf->run();
