#!/usr/bin/perl
# Marks every resource in a COFF resource object as code page 1252.
# windres leaves the code page of each resource data entry at 0.
use strict;
use warnings;

my ($path, $codepage) = @ARGV;
die "usage: $0 object.o codepage\n" unless defined $codepage;
open(my $fh, '+<:raw', $path) or die "$path: $!\n";
local $/;
my $obj = <$fh>;

my ($sections, $optional) = unpack('x2 v x12 v', $obj);
my $base;
for my $i (0 .. $sections - 1) {
    my $header = 20 + $optional + 40 * $i;
    my ($name, $raw) = unpack('Z8 x12 V', substr($obj, $header, 24));
    $base = $raw if $name eq '.rsrc';
}
die "$path: no .rsrc section\n" unless defined $base;

# The directory tree has three levels (type, name, language); leaves are data entries.
my $patched = 0;
sub walk {
    my ($dir) = @_;
    my ($named, $ids) = unpack('x12 v v', substr($obj, $base + $dir, 16));
    for my $i (0 .. $named + $ids - 1) {
        my $offset = unpack('x4 V', substr($obj, $base + $dir + 16 + 8 * $i, 8));
        if ($offset & 0x80000000) {
            walk($offset & 0x7FFFFFFF);
        } else {
            substr($obj, $base + $offset + 8, 4) = pack('V', $codepage);
            $patched++;
        }
    }
}
walk(0);
die "$path: no resources\n" unless $patched;

seek($fh, 0, 0);
print $fh $obj;
close($fh) or die "$path: $!\n";
