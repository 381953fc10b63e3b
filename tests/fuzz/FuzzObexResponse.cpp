// Fuzz target: sendel's Object Push session (CONNECT, PUT in packets,
// DISCONNECT) against a phone that answers each request with the input's
// bytes, over a socketpair.
//
// Input: the first byte sets the file's size (8 bytes per unit, so a file
// takes several packets); then the answers, each a 16-bit big-endian length
// and its bytes. An answer the client would keep waiting on (shorter than its
// own length field) runs on into the next one; when the answers run out the
// phone closes its side.
//
// What must hold: after a successful CONNECT the agreed packet size lies
// between the OBEX minimum and our maximum, no request is larger than it, and
// a file reported sent arrived whole, in order, with the final PUT.

#include "FuzzSupport.h"
#include "Link.h"
#include "Obex.h"
#include "ObjectPush.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t MaxFileSize = 255 * 8;

// Reads exactly `size` bytes, waiting at most a few seconds for each piece.
bool readExact(int fd, std::uint8_t* data, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return false;
        const ssize_t n = ::recv(fd, data + got, size - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// True when `answer` holds what the client reads before it stops waiting:
// the 3-byte packet header, and the whole packet when its length is one the
// client accepts.
bool answerComplete(const std::vector<std::uint8_t>& answer)
{
    if (answer.size() < Obex::PacketHeaderSize)
        return false;
    const std::size_t length = Obex::readU16(answer.data() + 1);
    if (length < Obex::PacketHeaderSize || length > Obex::OurMaximumPacket)
        return true;
    return answer.size() >= length;
}

struct Phone {
    const std::uint8_t* script = nullptr;
    std::size_t scriptSize = 0;
    std::size_t offset = 0;
    // What the phone saw.
    std::vector<std::uint8_t> body;
    bool finalPut = false;
    std::size_t largestRequest = 0;

    bool nextAnswer(std::vector<std::uint8_t>& answer)
    {
        if (scriptSize - offset < 2)
            return false;
        std::size_t length = (std::size_t(script[offset]) << 8) | script[offset + 1];
        offset += 2;
        if (length > scriptSize - offset)
            length = scriptSize - offset;
        answer.insert(answer.end(), script + offset, script + offset + length);
        offset += length;
        return true;
    }

    void serve(int fd)
    {
        bool open = true;
        for (;;) {
            std::uint8_t head[Obex::PacketHeaderSize];
            if (!readExact(fd, head, sizeof head))
                break;
            const std::size_t length = Obex::readU16(head + 1);
            std::vector<std::uint8_t> packet(head, head + sizeof head);
            if (length > sizeof head) {
                packet.resize(length);
                if (!readExact(fd, packet.data() + sizeof head, length - sizeof head))
                    break;
            }
            if (head[0] != Obex::OpConnect)
                largestRequest = std::max(largestRequest, packet.size());
            if ((head[0] & 0x7F) == Obex::OpPut) {
                std::vector<Obex::Header> headers;
                std::string why;
                if (!Obex::walkHeaders(packet.data() + sizeof head, packet.size() - sizeof head, headers, why))
                    std::abort();  // the client's own request is malformed
                for (const Obex::Header& h : headers) {
                    if (h.id == Obex::HeaderBody || h.id == Obex::HeaderEndOfBody)
                        body.insert(body.end(), h.data, h.data + h.size);
                }
                finalPut = head[0] == Obex::OpPutFinal;
            }
            if (!open)
                continue;
            std::vector<std::uint8_t> answer;
            while (!answerComplete(answer) && nextAnswer(answer)) {
            }
            std::size_t sent = 0;
            while (sent < answer.size()) {
                const ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<std::size_t>(n);
            }
            if (!answerComplete(answer)) {
                ::shutdown(fd, SHUT_WR);
                open = false;
            }
        }
        ::close(fd);
    }
};

int fileOfSize()
{
    const int fd = ::memfd_create("fuzz-obex-file", MFD_CLOEXEC);
    std::vector<std::uint8_t> bytes(MaxFileSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int file = fileOfSize();
    if (size < 1)
        return 0;
    const std::size_t fileSize = std::size_t(data[0]) * 8;

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        std::abort();
    Phone phone;
    phone.script = data + 1;
    phone.scriptSize = size - 1;
    std::thread peer([&phone, fd = ends[1]] { phone.serve(fd); });

    Sendel::Link link;
    if (!link.adopt(ends[0]))
        std::abort();
    Sendel::ObjectPush push(link, 1000, [](const std::string&) {});
    bool sent = false;
    bool connected = push.connect().ok();
    if (connected) {
        if (push.packetSize() < Obex::MinimumPacket || push.packetSize() > Obex::OurMaximumPacket)
            std::abort();
        if (::lseek(file, 0, SEEK_SET) != 0)
            std::abort();
        sent = push.put("fuzz.jar", file, fileSize).ok();
        push.disconnect();
    }
    link.close();
    peer.join();
    Fuzz::reachedChecks();

    if (connected && phone.largestRequest > push.packetSize())
        std::abort();
    if (sent) {
        if (!phone.finalPut || phone.body.size() != fileSize)
            std::abort();
        for (std::size_t i = 0; i < fileSize; ++i) {
            if (phone.body[i] != static_cast<std::uint8_t>(i * 7 + i / 251))
                std::abort();
        }
    }
    return 0;
}
