// Opening the running application again (Finder, Spotlight, `open`) does not start a second process:
// the system sends the running one its reopen event, which the application's delegate receives.
#include "platform/Reopen.h"

#import <AppKit/AppKit.h>

// Objects here are released by automatic reference counting: a build without it would leak them.
#if !__has_feature(objc_arc)
#error "Objective-C++ sources of the macOS room must be compiled with -fobjc-arc"
#endif

#include <objc/runtime.h>
#include <string>

namespace tolvane {

namespace {

std::function<void()> g_onReopen;

// The reopen question of the application's delegate (Qt's), answered as before and then told to the
// controller, which applies its own rule for what is on screen. A delegate that does not ask the
// question gets it, answered YES, the system's default.
bool hookReopen()
{
    id delegate = [NSApp delegate];
    if (delegate == nil)
        return false;
    const SEL selector = @selector(applicationShouldHandleReopen:hasVisibleWindows:);
    Method method = class_getInstanceMethod([delegate class], selector);
    if (method == nullptr) {
        const IMP added = imp_implementationWithBlock(^BOOL(id, NSApplication*, BOOL) {
          if (g_onReopen)
              g_onReopen();
          return YES;
        });
        const std::string types = std::string(@encode(BOOL)) + "@:@" + @encode(BOOL);
        return class_addMethod([delegate class], selector, added, types.c_str());
    }
    using ReopenImp = BOOL (*)(id, SEL, NSApplication*, BOOL);
    const auto original = reinterpret_cast<ReopenImp>(method_getImplementation(method));
    const IMP replacement =
        imp_implementationWithBlock(^BOOL(id self, NSApplication* application, BOOL visible) {
          const BOOL answer = original(self, selector, application, visible);
          if (g_onReopen)
              g_onReopen();
          return answer;
        });
    method_setImplementation(method, replacement);
    return true;
}

class ApplicationReopenSource final : public ReopenSource {
public:
    // The system keeps one instance of the application: there is nobody to hand over to.
    bool handOverToRunningInstance() override { return false; }

    bool listen(std::function<void()> onReopen) override
    {
        g_onReopen = std::move(onReopen);
        static const bool hooked = hookReopen();
        return hooked;
    }
};

} // namespace

std::unique_ptr<ReopenSource> makeReopenSource()
{
    return std::make_unique<ApplicationReopenSource>();
}

} // namespace tolvane
