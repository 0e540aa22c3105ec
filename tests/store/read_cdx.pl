#!/usr/bin/perl
# Reads a .CDX with Perl's XBase::Index (an independent reader) and prints,
# for each TAG:TYPE argument (TYPE C, N or D), a line
#   TAG name|key expression|for expression|order|options|key length
# followed by one "key<TAB>record" line per entry in stored order.
use strict;
use warnings;
use XBase::Index;

my ($file, @tags) = @ARGV;
my $top = XBase::Index->new($file, 'type' => 'C') or die XBase::Index->errstr;
print "TAGS ", join(',', $top->tags), "\n";
for my $spec (@tags) {
    my ($tag, $type) = split /:/, $spec;
    my $idx = XBase::Index->new($file, 'tag' => $tag, 'type' => $type) or die XBase::Index->errstr;
    printf "TAG %s|%s|%s|%d|0x%02x|%d\n", $tag, $idx->{'key_string'}, $idx->{'for_string'},
        $idx->{'sort_order'}, $idx->{'index_options'}, $idx->{'key_length'};
    $idx->prepare_select;
    while (my ($key, $val) = $idx->fetch) {
        $key =~ s/\s+$// if $type eq 'C';
        print "$key\t$val\n";
    }
}
