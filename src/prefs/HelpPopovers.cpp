// The help popovers of the Preferences window: one popup, shown beside the help button that asked,
// sized to its text.
#include "app/AppDelegate.h"
#include "prefs/HelpTexts.h"
#include "prefs/Popover.h"

#include <QApplication>
#include <QFontMetrics>

namespace tolvane {

namespace {
// Room around the text, whatever the text.
constexpr int PopoverPadding = 50;
} // namespace

void AppDelegate::tolvaneDataHelp(QObject* sender)
{
    showPopOver(qobject_cast<QWidget*>(sender), DataHelpLong);
}

void AppDelegate::uninstallHelp(QObject* sender)
{
    showPopOver(qobject_cast<QWidget*>(sender), UninstallHelp);
}

void AppDelegate::showPopOver(QWidget* anchor, const QString& withMsg)
{
    if (!outlets.popover || !outlets.popoverMsg || !anchor)
        return;
    outlets.popoverMsg->setText(withMsg);
    outlets.popover->showRelativeToRect(anchor->rect(), anchor, RectEdge::MaxX);

    // The popover keeps the field's width; only its height follows the text, measured with the
    // application's default font, wrapped at that width.
    const QString text = outlets.popoverMsg->text();
    const int width = outlets.popoverMsg->width();
    const QRect needed =
        QFontMetrics(QApplication::font()).boundingRect(QRect(0, 0, width, 0), Qt::TextWordWrap, text);
    const int height = needed.height() + PopoverPadding;
    outlets.popoverMsg->setGeometry(0, 0, width, height);
    outlets.popover->setContentSize(QSize(width, height));
}

} // namespace tolvane
