// A source of the server's decisions that reaches into the host platform: it must not compile.
#include "platform/QtHost.h"
