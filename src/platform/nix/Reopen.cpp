// A second launch of the controller hands the reopen to the running one over a per-user local socket.
#include "platform/Reopen.h"

#include "platform/ReopenChannel.h"

namespace tolvane {

namespace {

class ChannelReopenSource final : public ReopenSource {
public:
    bool handOverToRunningInstance() override { return m_channel.handOverToRunningInstance(); }
    bool listen(std::function<void()> onReopen) override { return m_channel.listen(std::move(onReopen)); }

private:
    ReopenChannel m_channel;
};

} // namespace

std::unique_ptr<ReopenSource> makeReopenSource()
{
    return std::make_unique<ChannelReopenSource>();
}

} // namespace tolvane
