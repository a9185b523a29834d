#pragma once
// A TCP listener on a loopback port: a free one, or a given one (to listen
// again where an earlier listener was). Link ws2_32.
#include <winsock2.h>

namespace KivoTest {

class LoopbackListener {
public:
    explicit LoopbackListener(unsigned short port = 0)
    {
        WSADATA data;
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        const BOOL reuse = TRUE;
        ::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
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
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    void Close()
    {
        if (socket_ != INVALID_SOCKET)
            ::closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
    unsigned short Port() const { return port_; }

    // Accepts and closes every connection that is waiting now.
    int AcceptWaiting()
    {
        int count = 0;
        for (;;) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket_, &readable);
            timeval none = {0, 0};
            if (socket_ == INVALID_SOCKET || ::select(0, &readable, nullptr, nullptr, &none) != 1)
                return count;
            const SOCKET client = ::accept(socket_, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                return count;
            ::closesocket(client);
            ++count;
        }
    }

private:
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    unsigned short port_ = 0;
};

} // namespace KivoTest
