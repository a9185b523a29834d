#pragma once
// A TCP listener on a loopback port: a free one, or a given one (to listen
// again where an earlier listener was). Link ws2_32.
#include <winsock2.h>

#include <vector>

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
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0 && ::listen(socket_, 4) == 0)
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
        for (SOCKET client : clients_)
            ::closesocket(client);
        clients_.clear();
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

    // Connects clients until one is left waiting: the queue is full then,
    // and a connect to the port hangs until the listener is closed.
    bool FillQueue()
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port_);
        for (int i = 0; i < 16; ++i) {
            clients_.push_back(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
            u_long nonBlocking = 1;
            ::ioctlsocket(clients_.back(), FIONBIO, &nonBlocking);
            ::connect(clients_.back(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(clients_.back(), &writable);
            timeval wait = {0, 500000};
            if (::select(0, nullptr, &writable, nullptr, &wait) == 0)
                return true;
        }
        return false;
    }

private:
    std::vector<SOCKET> clients_;
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    unsigned short port_ = 0;
};

} // namespace KivoTest
