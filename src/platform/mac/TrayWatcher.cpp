// The menu bar is always there: the status item is made at once and never waits.
#include "platform/TrayWatcher.h"

namespace tolvane {

namespace {

class MenuBar final : public TrayWatcher {
public:
    bool available() const override { return true; }
    bool itemFindsLaterTrays() const override { return true; }
};

} // namespace

std::unique_ptr<TrayWatcher> makeTrayWatcher()
{
    return std::make_unique<MenuBar>();
}

} // namespace tolvane
