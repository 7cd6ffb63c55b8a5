// A source of the store library, which the uninstall tool links, that reaches up into the preferences
// window's folder: it must not compile.
#include "prefs/LoginIntegration.h"
