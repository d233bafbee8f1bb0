// A whole plain mail check against the local Dovecot, side by side with curl.
#include "mail_check_bench.h"

int main(int argc, char** argv) { return velmio::bench::RunSideBySide(argc, argv, false); }
