// A source of the host platform that reaches up into the controller: it must not compile.
#include "app/AppDelegate.h"
