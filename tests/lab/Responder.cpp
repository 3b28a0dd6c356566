// latmo-lab-responder: answers ICMP echo requests in a lab host's network namespace (whose kernel
// has been told to ignore them) after a fixed delay, drops a fraction of them, or answers with an
// ICMP error instead. With --decoys it also sends, halfway through the delay, traffic that looks
// like an answer but is not one: replies with another sequence or identifier, an error report
// about another request, and forged replies with the request's identifier and sequence, from
// the next address after the host's or with the data changed or cut short. The reply itself can
// come changed, as a forger or a device on the way would send it: with the echoed data cut
// short (--cut-data N), every data byte inverted (--flip-data), or from the next address after
// the host's (--other-source).
//
//   latmo-lab-responder [--delay-us N] [--drop FRACTION] [--error TYPE/CODE] [--decoys]
//                       [--cut-data N] [--flip-data] [--other-source]
//
// Writes "ready" to standard output once it listens. Runs until killed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <linux/icmp.h>
#include <netinet/icmp6.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <queue>
#include <span>
#include <string>
#include <vector>

#include "lab/LabHostOptions.h"
#include "platform/linux/IcmpWire.h"
#include "platform/linux/ReceiveDatagram.h"

namespace {

constexpr int64_t kNsPerUs = 1000;
constexpr int64_t kNsPerS = 1000000000;
// The last stretch before a reply is due is slept with clock_nanosleep on an absolute deadline;
// before that the socket is watched, so requests arriving meanwhile are stamped on time by the
// kernel and scheduled by their arrival, not by when we get round to reading them.
constexpr int64_t kFinalStretchNs = 1000000;
constexpr int kRequestsPerWake = 64;

struct TPending {
    int64_t DueNs = 0;
    uint64_t Order = 0;  // keeps answers that are due together in arrival order
    TIpAddress To;
    TIpAddress ForgedSource;  // when set, sent from this address
    std::vector<uint8_t> Message;
    bool operator>(const TPending& other) const {
        return DueNs != other.DueNs ? DueNs > other.DueNs : Order > other.Order;
    }
};

int64_t NowNs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return int64_t{t.tv_sec} * kNsPerS + t.tv_nsec;
}

[[noreturn]] void Die(const char* what) {
    std::fprintf(stderr, "latmo-lab-responder: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

// Drops are spread evenly rather than drawn at random, so a test knows which requests go
// unanswered: with fraction f, request n is dropped when floor((n + 1) f) > floor(n f).
bool Dropped(uint64_t n, double fraction) {
    return std::floor(double(n + 1) * fraction) > std::floor(double(n) * fraction);
}

class TResponder {
public:
    explicit TResponder(const TLabHostOptions& options)
        : FOptions(options), FDelayNs(int64_t{options.DelayUs} * kNsPerUs) {
        FSocket = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        FSocket6 = ::socket(AF_INET6, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMPV6);
        // IPPROTO_RAW: we write the IP header ourselves, to send from an address that is not ours.
        FForger = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
        if (FSocket < 0 || FSocket6 < 0 || FForger < 0) {
            Die("socket");
        }
        // Echo requests only; the kernel fills in the checksum of what we send.
        icmp6_filter filter6;
        ICMP6_FILTER_SETBLOCKALL(&filter6);
        ICMP6_FILTER_SETPASS(kIcmp6EchoRequest, &filter6);
        const int yes = 1;
        if (setsockopt(FSocket6, IPPROTO_ICMPV6, ICMP6_FILTER, &filter6, sizeof filter6) != 0 ||
            setsockopt(FSocket6, SOL_SOCKET, SO_TIMESTAMPNS, &yes, sizeof yes) != 0 ||
            setsockopt(FSocket6, IPPROTO_IPV6, IPV6_RECVPKTINFO, &yes, sizeof yes) != 0) {
            Die("setsockopt");
        }
        icmp_filter filter{};
        filter.data = ~(1u << kIcmpEchoRequest);
        const int on = 1;
        const int fragment = IP_PMTUDISC_DONT;
        if (setsockopt(FSocket, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0 ||
            setsockopt(FSocket, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0 ||
            setsockopt(FSocket, IPPROTO_IP, IP_MTU_DISCOVER, &fragment, sizeof fragment) != 0 ||
            setsockopt(FForger, IPPROTO_IP, IP_MTU_DISCOVER, &fragment, sizeof fragment) != 0) {
            Die("setsockopt");
        }
    }

    [[noreturn]] void Run() {
        for (;;) {
            int64_t waitNs = -1;
            if (!FQueue.empty()) {
                const int64_t due = FQueue.top().DueNs;
                const int64_t left = due - NowNs(CLOCK_MONOTONIC);
                if (left <= kFinalStretchNs) {
                    SleepUntil(due);
                    Send(FQueue.top());
                    FQueue.pop();
                    continue;
                }
                waitNs = left - kFinalStretchNs;
            }
            pollfd ready[2] = {{FSocket, POLLIN, 0}, {FSocket6, POLLIN, 0}};
            const timespec wait{static_cast<time_t>(waitNs / kNsPerS),
                                static_cast<long>(waitNs % kNsPerS)};
            if (::ppoll(ready, 2, waitNs < 0 ? nullptr : &wait, nullptr) > 0) {
                // Take what is queued, but come back to the due answers now and then.
                for (int i = 0; i < kRequestsPerWake && ReadRequest(); ++i) {
                }
                for (int i = 0; i < kRequestsPerWake && ReadRequest6(); ++i) {
                }
            }
        }
    }

private:
    static void SleepUntil(int64_t dueNs) {
        const timespec due{static_cast<time_t>(dueNs / kNsPerS),
                           static_cast<long>(dueNs % kNsPerS)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
        }
    }

    // The kernel's realtime stamp of a request, carried over to the monotonic clock we sleep on.
    static int64_t ArrivalOf(const TReceivedDatagram& received) {
        const int64_t nowMono = NowNs(CLOCK_MONOTONIC);
        if (!received.StampNs) {
            return nowMono;
        }
        return nowMono - std::max<int64_t>(0, NowNs(CLOCK_REALTIME) - *received.StampNs);
    }

    // The echoed data as the host's options change it on its way back.
    std::vector<uint8_t> EchoedData(std::span<const uint8_t> body) const {
        std::vector<uint8_t> data(body.begin(), body.end());
        if (FOptions.CutData >= 0 && data.size() > size_t(FOptions.CutData)) {
            data.resize(size_t(FOptions.CutData));
        }
        if (FOptions.FlipData) {
            for (uint8_t& b : data) {
                b = uint8_t(~b);
            }
        }
        return data;
    }

    // The echoed data with its last byte changed (or one byte more, where there is none), and
    // cut one byte short: what a forger who saw the request might send.
    static std::vector<uint8_t> ChangedData(std::span<const uint8_t> body) {
        std::vector<uint8_t> data(std::max<size_t>(body.size(), 1), 0);
        std::copy(body.begin(), body.end(), data.begin());
        data.back() = uint8_t(~data.back());
        return data;
    }
    static std::span<const uint8_t> CutData(std::span<const uint8_t> body) {
        return body.first(body.empty() ? 0 : body.size() - 1);
    }

    // Reads one queued request and schedules what answers it; false when none was queued.
    bool ReadRequest() {
        TReceivedDatagram received;
        if (!ReceiveDatagram(FSocket, FBuffer, MSG_DONTWAIT, received)) {
            return false;
        }
        const int64_t arrival = ArrivalOf(received);
        const std::span<const uint8_t> packet(FBuffer.data(), received.Size);
        const auto datagram = ReadIpv4Datagram(packet);
        if (!datagram || datagram->Protocol != kIpProtocolIcmp ||
            InternetChecksum(datagram->Payload) != 0) {
            return true;
        }
        const auto request = ReadIcmpMessage(datagram->Payload);
        if (!request || request->Type != kIcmpEchoRequest) {
            return true;
        }
        if (FOptions.Decoys) {
            ScheduleDecoys(*datagram, *request, arrival + FDelayNs / 2);
        }
        if (Dropped(FRequests++, FOptions.DropFraction)) {
            return true;
        }
        TPending answer{arrival + FDelayNs, FOrder++, datagram->Source, 0, {}};
        if (FOptions.ErrorType >= 0) {
            BuildError(answer.Message, *datagram, request->Sequence, FOptions.ErrorType,
                       FOptions.ErrorCode);
        } else {
            if (FOptions.OtherSource) {
                answer.ForgedSource = OtherAddress(*datagram);
            }
            BuildIcmpMessage(answer.Message, kIcmpEchoReply, 0, request->Identifier,
                             request->Sequence, EchoedData(request->Body));
        }
        FQueue.push(std::move(answer));
        return true;
    }

    // The same for an ICMPv6 request, which the socket hands over without its IPv6 header.
    bool ReadRequest6() {
        TReceivedDatagram received;
        if (!ReceiveDatagram(FSocket6, FBuffer, MSG_DONTWAIT, received)) {
            return false;
        }
        const int64_t arrival = ArrivalOf(received);
        const std::span<const uint8_t> message(FBuffer.data(), received.Size);
        const auto request = ReadIcmpMessage(message);
        if (!request || request->Type != kIcmp6EchoRequest || !received.From.IsV6()) {
            return true;
        }
        const TIpAddress host = TIpAddress::V6(received.To.V6Bytes().data());
        const TIpAddress other = OtherAddress6(host);
        if (FOptions.Decoys) {
            std::vector<TPending> decoys(7);
            const uint16_t id = request->Identifier;
            const uint16_t seq = request->Sequence;
            for (TPending& decoy : decoys) {
                decoy.ForgedSource = host;
            }
            BuildIcmp6(decoys[0].Message, kIcmp6EchoReply, 0, id, uint16_t(seq + 1), request->Body);
            BuildIcmp6(decoys[1].Message, kIcmp6EchoReply, 0, uint16_t(id + 1), seq, request->Body);
            BuildIcmp6(decoys[2].Message, kIcmp6EchoReply, 0, id, uint16_t(seq - 1), request->Body);
            decoys[2].ForgedSource = other;
            BuildError6(decoys[3].Message, received.From, host, message, uint16_t(seq + 1),
                        kIcmp6DestUnreachable, 3);
            BuildIcmp6(decoys[4].Message, kIcmp6EchoReply, 0, id, seq, request->Body);
            decoys[4].ForgedSource = other;
            BuildIcmp6(decoys[5].Message, kIcmp6EchoReply, 0, id, seq, ChangedData(request->Body));
            BuildIcmp6(decoys[6].Message, kIcmp6EchoReply, 0, id, seq, CutData(request->Body));
            for (TPending& decoy : decoys) {
                decoy.DueNs = arrival + FDelayNs / 2;
                decoy.Order = FOrder++;
                decoy.To = received.From;
                FQueue.push(std::move(decoy));
            }
        }
        if (Dropped(FRequests++, FOptions.DropFraction)) {
            return true;
        }
        // Sent from the address asked, unless the host is to answer from its other one.
        TPending answer{arrival + FDelayNs, FOrder++, received.From, host, {}};
        if (FOptions.ErrorType >= 0) {
            const auto error6 = Icmp6Error(FOptions.ErrorType, FOptions.ErrorCode);
            if (!error6) {
                return true;
            }
            BuildError6(answer.Message, received.From, host, message, request->Sequence,
                        error6->first, error6->second);
        } else {
            if (FOptions.OtherSource) {
                answer.ForgedSource = other;
            }
            BuildIcmp6(answer.Message, kIcmp6EchoReply, 0, request->Identifier, request->Sequence,
                       EchoedData(request->Body));
        }
        FQueue.push(std::move(answer));
        return true;
    }

    // The kernel puts the checksum, which covers the addresses, into what a raw ICMPv6 socket
    // sends.
    static void BuildIcmp6(std::vector<uint8_t>& out, uint8_t type, uint8_t code,
                           uint16_t identifier, uint16_t sequence, std::span<const uint8_t> body) {
        BuildIcmpMessage(out, type, code, identifier, sequence, body);
        out[2] = out[3] = 0;
    }

    // The ICMPv6 report that means what an IPv4 one means; nullopt for those without one.
    static std::optional<std::pair<uint8_t, uint8_t>> Icmp6Error(int type, int code) {
        if (type == kIcmpDestUnreachable) {
            switch (code) {
                case 0:
                    return std::pair<uint8_t, uint8_t>{kIcmp6DestUnreachable, 0};
                case 1:
                    return std::pair<uint8_t, uint8_t>{kIcmp6DestUnreachable, 3};
                case 3:
                    return std::pair<uint8_t, uint8_t>{kIcmp6DestUnreachable, 4};
                case 4:
                    return std::pair<uint8_t, uint8_t>{kIcmp6PacketTooBig, 0};
                default:
                    return std::nullopt;
            }
        }
        if (type == kIcmpTimeExceeded) {
            return std::pair<uint8_t, uint8_t>{kIcmp6TimeExceeded, uint8_t(code)};
        }
        if (type == kIcmpParameterProblem) {
            return std::pair<uint8_t, uint8_t>{kIcmp6ParameterProblem, 0};
        }
        return std::nullopt;
    }

    // An ICMPv6 report quotes as much of the packet it is about as fits into the minimum MTU:
    // here the request's IPv6 header, rebuilt, and its ICMPv6 message with `sequence` in it.
    static void BuildError6(std::vector<uint8_t>& out, const TIpAddress& from, const TIpAddress& to,
                            std::span<const uint8_t> request, uint16_t sequence, uint8_t type,
                            uint8_t code) {
        constexpr size_t kMinimumMtu = 1280;
        constexpr size_t kRoom = kMinimumMtu - kIpv6HeaderSize - kIcmpHeaderSize;
        std::vector<uint8_t> quote(kIpv6HeaderSize, 0);
        quote[0] = 0x60;
        quote[4] = static_cast<uint8_t>(request.size() >> 8);
        quote[5] = static_cast<uint8_t>(request.size() & 0xff);
        quote[6] = kIpProtocolIcmp6;
        quote[7] = 64;
        std::memcpy(&quote[8], from.V6Bytes().data(), 16);
        std::memcpy(&quote[24], to.V6Bytes().data(), 16);
        quote.insert(quote.end(), request.begin(),
                     request.begin() + std::min(request.size(), kRoom - kIpv6HeaderSize));
        if (quote.size() >= kIpv6HeaderSize + 8) {
            quote[kIpv6HeaderSize + 6] = static_cast<uint8_t>(sequence >> 8);
            quote[kIpv6HeaderSize + 7] = static_cast<uint8_t>(sequence & 0xff);
        }
        // "Packet too big" carries the MTU of the next hop.
        const uint16_t mtu = type == kIcmp6PacketTooBig ? 1280 : 0;
        BuildIcmp6(out, type, code, 0, mtu, quote);
    }

    // The host's second address (…::3 beside …::2).
    static TIpAddress OtherAddress6(const TIpAddress& host) {
        std::array<uint8_t, 16> bytes = host.V6Bytes();
        bytes[15] = static_cast<uint8_t>(bytes[15] + 1);
        return TIpAddress::V6(bytes.data());
    }

    // An error report quotes the request's IP header and the first eight bytes of its payload;
    // `sequence` is the sequence number written into the quote.
    static void BuildError(std::vector<uint8_t>& out, const TIpv4Datagram& request,
                           uint16_t sequence, int type, int code) {
        std::vector<uint8_t> quote(request.Header.begin(), request.Header.end());
        quote.insert(quote.end(), request.Payload.begin(),
                     request.Payload.begin() + std::min<size_t>(8, request.Payload.size()));
        const size_t at = request.Header.size() + 6;
        if (quote.size() >= at + 2) {
            quote[at] = static_cast<uint8_t>(sequence >> 8);
            quote[at + 1] = static_cast<uint8_t>(sequence & 0xff);
        }
        // "Fragmentation needed" carries the next hop's MTU in the second word.
        const uint16_t mtu = (type == kIcmpDestUnreachable && code == 4) ? 1500 : 0;
        BuildIcmpMessage(out, static_cast<uint8_t>(type), static_cast<uint8_t>(code), 0, mtu,
                         quote);
    }

    void ScheduleDecoys(const TIpv4Datagram& datagram, const TIcmpMessage& request, int64_t due) {
        const uint16_t id = request.Identifier;
        const uint16_t seq = request.Sequence;
        std::vector<TPending> decoys(7);
        BuildIcmpMessage(decoys[0].Message, kIcmpEchoReply, 0, id, uint16_t(seq + 1), request.Body);
        BuildIcmpMessage(decoys[1].Message, kIcmpEchoReply, 0, uint16_t(id + 1), seq, request.Body);
        BuildIcmpMessage(decoys[2].Message, kIcmpEchoReply, 0, id, uint16_t(seq - 1), request.Body);
        decoys[2].ForgedSource = OtherAddress(datagram);
        BuildError(decoys[3].Message, datagram, uint16_t(seq + 1), kIcmpDestUnreachable, 1);
        // Forgeries with the request's numbers: from another address, or with other data.
        BuildIcmpMessage(decoys[4].Message, kIcmpEchoReply, 0, id, seq, request.Body);
        decoys[4].ForgedSource = OtherAddress(datagram);
        BuildIcmpMessage(decoys[5].Message, kIcmpEchoReply, 0, id, seq, ChangedData(request.Body));
        BuildIcmpMessage(decoys[6].Message, kIcmpEchoReply, 0, id, seq, CutData(request.Body));
        for (TPending& decoy : decoys) {
            decoy.DueNs = due;
            decoy.Order = FOrder++;
            decoy.To = datagram.Source;
            FQueue.push(std::move(decoy));
        }
    }

    // The address after the host's own, in its link's network.
    static uint32_t OtherAddress(const TIpv4Datagram& request) {
        return htonl(ntohl(request.Destination) + 1);
    }

    void Send6(const TPending& pending) {
        sockaddr_in6 to{};
        to.sin6_family = AF_INET6;
        std::memcpy(&to.sin6_addr, pending.To.V6Bytes().data(), 16);
        to.sin6_scope_id = pending.To.ScopeId();
        iovec data{const_cast<uint8_t*>(pending.Message.data()), pending.Message.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in6_pktinfo))] = {};
        msghdr msg{};
        msg.msg_name = &to;
        msg.msg_namelen = sizeof to;
        msg.msg_iov = &data;
        msg.msg_iovlen = 1;
        if (pending.ForgedSource.IsV6()) {
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            cmsghdr* c = CMSG_FIRSTHDR(&msg);
            c->cmsg_level = IPPROTO_IPV6;
            c->cmsg_type = IPV6_PKTINFO;
            c->cmsg_len = CMSG_LEN(sizeof(in6_pktinfo));
            in6_pktinfo info{};
            std::memcpy(&info.ipi6_addr, pending.ForgedSource.V6Bytes().data(), 16);
            std::memcpy(CMSG_DATA(c), &info, sizeof info);
        }
        if (::sendmsg(FSocket6, &msg, 0) < 0) {
            std::fprintf(stderr, "latmo-lab-responder: sendmsg: %s\n", std::strerror(errno));
        }
    }

    void Send(const TPending& pending) {
        if (pending.To.IsV6()) {
            Send6(pending);
            return;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = pending.To.V4();
        std::vector<uint8_t> forged;
        std::span<const uint8_t> bytes = pending.Message;
        int fd = FSocket;
        if (pending.ForgedSource != TIpAddress()) {
            // The kernel fills in the IP checksum and identification of a header we hand it.
            forged.assign(20, 0);
            const size_t total = forged.size() + pending.Message.size();
            forged[0] = 0x45;
            forged[2] = static_cast<uint8_t>(total >> 8);
            forged[3] = static_cast<uint8_t>(total & 0xff);
            forged[8] = 64;
            forged[9] = kIpProtocolIcmp;
            const uint32_t source = pending.ForgedSource.V4();
            const uint32_t destination = pending.To.V4();
            std::memcpy(&forged[12], &source, 4);
            std::memcpy(&forged[16], &destination, 4);
            forged.insert(forged.end(), pending.Message.begin(), pending.Message.end());
            bytes = forged;
            fd = FForger;
        }
        if (::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                     sizeof to) < 0) {
            std::fprintf(stderr, "latmo-lab-responder: sendto: %s\n", std::strerror(errno));
        }
    }

    const TLabHostOptions FOptions;
    const int64_t FDelayNs;
    int FSocket = -1;
    int FSocket6 = -1;
    int FForger = -1;
    uint64_t FRequests = 0;
    uint64_t FOrder = 0;
    std::vector<uint8_t> FBuffer = std::vector<uint8_t>(65536);
    std::priority_queue<TPending, std::vector<TPending>, std::greater<>> FQueue;
};

}  // namespace

int main(int argc, char** argv) {
    TLabHostOptions options;
    if (!ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc), options)) {
        std::fprintf(stderr,
                     "usage: latmo-lab-responder [--delay-us N] [--drop FRACTION] "
                     "[--error TYPE/CODE] [--decoys] [--cut-data N] [--flip-data] "
                     "[--other-source]\n");
        return 2;
    }
    // Wake-ups on time matter more here than fairness: take a real-time priority where allowed
    // and ask for no timer slack.
    sched_param priority{};
    priority.sched_priority = 10;
    (void)sched_setscheduler(0, SCHED_FIFO, &priority);
    (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    TResponder responder(options);
    std::printf("ready\n");
    std::fflush(stdout);
    responder.Run();
}
