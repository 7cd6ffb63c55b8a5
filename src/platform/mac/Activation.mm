// A menu-bar application is activated explicitly before it shows a window.
#include "platform/Activation.h"

#import <AppKit/AppKit.h>

namespace tolvane {

void activateApplication()
{
    // macOS 14 replaced the forced activation with a cooperative one; before 14 only the old call exists.
    if (@available(macOS 14.0, *)) {
        [NSApp activate];
    } else {
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
        [NSApp activateIgnoringOtherApps:YES];
#pragma clang diagnostic pop
    }
}

} // namespace tolvane
