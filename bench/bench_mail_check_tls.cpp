// A whole mail check over TLS (port 995 style) against the local Dovecot,
// side by side with curl listing the same mailbox over pop3s with the test
// authority.
#include "mail_check_bench.h"

int main(int argc, char** argv) { return velmio::bench::RunSideBySide(argc, argv, true); }
