#!/usr/bin/perl
# Runs the media-remote helper inside the framework folder named by the first argument.
#   /usr/bin/perl mediaremote-adapter.pl <framework> <command> [arguments...]
# exec keeps this process and hands the helper this very argument list, so the process list still
# reads "/usr/bin/perl <script> <framework> <command>..." (the program finds stale streams by it).
use strict;
use warnings;

my $framework = $ARGV[0];
if (!defined $framework || $framework eq '' || @ARGV < 2) {
    print STDERR "usage: mediaremote-adapter.pl <framework> <command> [arguments...]\n";
    exit 2;
}
my $helper = "$framework/MediaRemoteAdapter";
# Lets the helper notice that the program that started us died before it could watch for that.
$ENV{MEDIAREMOTE_ADAPTER_PARENT} = getppid();
no warnings 'exec';
exec { $helper } $^X, $0, @ARGV;
print STDERR "mediaremote-adapter.pl: cannot run $helper: $!\n";
exit 127;
