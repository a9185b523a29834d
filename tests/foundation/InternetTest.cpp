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
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof(address);
        if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            ::listen(socket_, 4) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener()
    {
        Close();
        if (started_)
            ::WSACleanup();
    }
    void Close()
    {
        if (socket_ != INVALID_SOCKET)
            ::closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
    unsigned short Port() const { return port_; }

private:
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    unsigned short port_ = 0;
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
