// A source of the shared library that reaches up into the host platform: it must not compile.
#include "platform/Host.h"
