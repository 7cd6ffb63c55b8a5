// Asks the system whether the bundle runs from a translocated copy: SecTranslocateIsTranslocatedURL of
// the Security framework (macOS 10.12 and later, not in the public headers), looked up at run time. When
// it cannot be reached or cannot answer, the path tells. Objective-C++ only for Apple's headers.
#include "platform/Translocation.h"

#if !__has_feature(objc_arc)
#error "Objective-C++ sources of the macOS room must be compiled with -fobjc-arc"
#endif

#include <CoreFoundation/CoreFoundation.h>
#include <QUrl>
#include <dlfcn.h>

namespace tolvane {

namespace {

using IsTranslocatedUrl = Boolean (*)(CFURLRef url, bool* isTranslocated, CFErrorRef* error);

IsTranslocatedUrl systemCheck()
{
    static const IsTranslocatedUrl function = [] {
        void* security = dlopen("/System/Library/Frameworks/Security.framework/Security", RTLD_LAZY);
        return security
                   ? reinterpret_cast<IsTranslocatedUrl>(dlsym(security, "SecTranslocateIsTranslocatedURL"))
                   : nullptr;
    }();
    return function;
}

} // namespace

bool isTranslocated(const QString& bundlePath)
{
    if (const IsTranslocatedUrl check = systemCheck()) {
        const CFURLRef url = QUrl::fromLocalFile(bundlePath).toCFURL();
        bool translocated = false;
        const bool answered = url != nullptr && check(url, &translocated, nullptr);
        if (url != nullptr)
            CFRelease(url);
        if (answered)
            return translocated;
    }
    return looksTranslocated(bundlePath);
}

} // namespace tolvane
