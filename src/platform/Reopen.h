// Opening the application again while it runs. On macOS the system sends the running application its
// reopen event; elsewhere a second launch hands the request to the running controller and exits. The
// platform's room provides the source.
#pragma once

#include <functional>
#include <memory>

namespace tolvane {

class ReopenSource {
public:
    virtual ~ReopenSource() = default;
    // True when another controller of this user runs and has taken the request: this launch ends.
    virtual bool handOverToRunningInstance() = 0;
    // From now on every reopen calls `onReopen` on the main thread. False when reopen cannot be heard.
    virtual bool listen(std::function<void()> onReopen) = 0;
};

std::unique_ptr<ReopenSource> makeReopenSource();

} // namespace tolvane
