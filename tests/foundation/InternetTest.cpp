#include "foundation/RCInternet.h"

#include <gtest/gtest.h>

#include <winsock2.h>

namespace {

// A TCP listener on a free loopback port.
class LoopbackListener
{
public:
    LoopbackListener()
    {
        WSADATA data;
        m_started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            ::listen(m_socket, 4) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~LoopbackListener()
    {
        Close();
        if (m_started)
            ::WSACleanup();
    }
    void Close()
    {
        if (m_socket != INVALID_SOCKET)
            ::closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
    unsigned short Port() const { return m_port; }

private:
    bool m_started = false;
    SOCKET m_socket = INVALID_SOCKET;
    unsigned short m_port = 0;
};

TEST(Internet, ConnectsOnlyWhileTheLoopbackPortListens)
{
    LoopbackListener listener;
    ASSERT_NE(listener.Port(), 0);
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(listener.Port()) + L"/";
    EXPECT_NE(RCInternetCheckConnection(url), 0);

    listener.Close();
    EXPECT_EQ(RCInternetCheckConnection(url), 0);
}

} // namespace
