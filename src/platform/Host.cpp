// The accessor through which the controller reaches the host of its process.
#include "platform/Host.h"

#include <cassert>

namespace tolvane {

namespace {
Host* g_host = nullptr;
}

Host::~Host() = default;

Host& host()
{
    assert(g_host && "no host installed");
    return *g_host;
}

ScopedHost::ScopedHost(Host& installed) : m_previous(g_host)
{
    g_host = &installed;
}

ScopedHost::~ScopedHost()
{
    g_host = m_previous;
}

} // namespace tolvane
