// The recording shell is defined whole in its header.
#include "support/recording_mail_shell.h"
