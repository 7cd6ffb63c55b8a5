// A source of the server's decisions that includes what lies below it: it compiles.
#include "common/ShellText.h"
#include "server/StatusInterpreter.h"
