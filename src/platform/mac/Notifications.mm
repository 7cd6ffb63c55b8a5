// Notifications go straight to the user notification centre (NSUserNotificationCenter), so that they
// reach it also when no status item exists (the quit at launch when the setup is incomplete). The
// centre asks whether to show a notification while Tolvane is the active application: always.
//
// Why this centre and not the newer UserNotifications framework: that one delivers nothing until the
// user has granted permission, asked asynchronously at the first request, so the notification of a
// quit at first launch, and every notification of a user who never answered, would be lost; it also
// needs a properly signed bundle. The older centre still delivers without asking. It is deprecated,
// hence the warning switched off below.
#include "platform/NotificationSink.h"

#import <Foundation/Foundation.h>

// Objects here are released by automatic reference counting: a build without it would leak them.
#if !__has_feature(objc_arc)
#error "Objective-C++ sources of the macOS room must be compiled with -fobjc-arc"
#endif

#include <QFileInfo>
#include <chrono>

#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"

@interface TolvaneNotificationPresenter : NSObject <NSUserNotificationCenterDelegate>
@end

@implementation TolvaneNotificationPresenter
- (BOOL)userNotificationCenter:(NSUserNotificationCenter*)center
     shouldPresentNotification:(NSUserNotification*)notification
{
    (void)center;
    (void)notification;
    return YES;
}
@end

namespace tolvane {

namespace {

using namespace std::chrono_literals;

// How long the end of the process waits for the centre to take the notifications sent just before
// (the quit ones): the centre takes them over from this process asynchronously.
constexpr auto DeliveryBound = 2s;
constexpr auto DeliveryPoll = 50ms;

class NotificationCentre final : public NotificationSink {
public:
    NotificationCentre()
        : m_presenter([[TolvaneNotificationPresenter alloc] init]), m_pending([NSMutableArray array])
    {
        [NSUserNotificationCenter defaultUserNotificationCenter].delegate = m_presenter;
    }

    // The centre holds its delegate without owning it: it is cleared before the presenter goes. Before
    // that, the notifications sent last get their bounded time to reach the centre.
    ~NotificationCentre() override
    {
        waitForDelivery();
        NSUserNotificationCenter* centre = [NSUserNotificationCenter defaultUserNotificationCenter];
        if (centre.delegate == m_presenter)
            centre.delegate = nil;
    }

    void deliver(const UserNotification& notification, QSystemTrayIcon*) override
    {
        NSUserNotification* delivered = [[NSUserNotification alloc] init];
        delivered.title = notification.title.toNSString();
        delivered.subtitle = notification.subtitle.toNSString();
        if (notification.informativeText)
            delivered.informativeText = notification.informativeText->toNSString();
        // The centre looks a sound up by its system name ("Basso"), without the file's extension.
        delivered.soundName = QFileInfo(notification.soundName).completeBaseName().toNSString();
        [[NSUserNotificationCenter defaultUserNotificationCenter] deliverNotification:delivered];
        [m_pending addObject:delivered];
        forgetDelivered();
    }

private:
    // A notification the centre has taken carries its actual delivery date.
    void forgetDelivered()
    {
        [m_pending filterUsingPredicate:[NSPredicate predicateWithBlock:^BOOL(id item, NSDictionary*) {
                     NSUserNotification* notification = item;
                     return notification.actualDeliveryDate == nil;
                   }]];
    }

    void waitForDelivery()
    {
        const auto deadline = std::chrono::steady_clock::now() + DeliveryBound;
        forgetDelivered();
        while (m_pending.count > 0 && std::chrono::steady_clock::now() < deadline) {
            const NSTimeInterval step = std::chrono::duration<double>(DeliveryPoll).count();
            [[NSRunLoop currentRunLoop] runMode:NSDefaultRunLoopMode
                                     beforeDate:[NSDate dateWithTimeIntervalSinceNow:step]];
            forgetDelivered();
        }
    }

    TolvaneNotificationPresenter* m_presenter;
    NSMutableArray<NSUserNotification*>* m_pending;
};

} // namespace

std::unique_ptr<NotificationSink> makeNotificationSink()
{
    return std::make_unique<NotificationCentre>();
}

} // namespace tolvane

#pragma clang diagnostic pop
