// Notifications go straight to the user notification centre, so that they reach it also when no status
// item exists (the quit at launch when the setup is incomplete). The centre asks whether to show a
// notification while Tolvane is the active application: always.
#include "platform/NotificationSink.h"

#import <Foundation/Foundation.h>

// NSUserNotification is deprecated in favour of a framework that asks the user for permission first;
// it still delivers, without asking, which a quit notification needs.
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

class NotificationCentre final : public NotificationSink {
public:
    NotificationCentre() : m_presenter([[TolvaneNotificationPresenter alloc] init])
    {
        [NSUserNotificationCenter defaultUserNotificationCenter].delegate = m_presenter;
    }

    void deliver(const UserNotification& notification, QSystemTrayIcon*) override
    {
        NSUserNotification* delivered = [[NSUserNotification alloc] init];
        delivered.title = notification.title.toNSString();
        delivered.subtitle = notification.subtitle.toNSString();
        if (notification.informativeText)
            delivered.informativeText = notification.informativeText->toNSString();
        // The bundle carries the sound among its resources.
        delivered.soundName = notification.soundName.toNSString();
        [[NSUserNotificationCenter defaultUserNotificationCenter] deliverNotification:delivered];
    }

private:
    TolvaneNotificationPresenter* m_presenter;
};

} // namespace

std::unique_ptr<NotificationSink> makeNotificationSink()
{
    return std::make_unique<NotificationCentre>();
}

} // namespace tolvane

#pragma clang diagnostic pop
