#include "platform/arrivalstamps.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <cstring>

namespace ArrivalStamps {

bool enable(qintptr fd)
{
    const int on = 1;
    return ::setsockopt(int(fd), SOL_SOCKET, SO_TIMESTAMP, &on, sizeof(on)) == 0;
}

std::optional<qint64> ageOfNextMs(qintptr fd)
{
    char byte = 0;
    iovec part{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timeval))];
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    // Peeked: the datagram stays for whoever reads it next.
    if (::recvmsg(int(fd), &message, MSG_PEEK | MSG_DONTWAIT) < 0)
        return std::nullopt;
    for (cmsghdr *header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_TIMESTAMP)
            continue;
        timeval arrived{};
        std::memcpy(&arrived, CMSG_DATA(header), sizeof(arrived));
        timeval now{};
        ::gettimeofday(&now, nullptr);
        return (qint64(now.tv_sec) - arrived.tv_sec) * 1000 + (qint64(now.tv_usec) - arrived.tv_usec) / 1000;
    }
    return std::nullopt;
}

} // namespace ArrivalStamps
