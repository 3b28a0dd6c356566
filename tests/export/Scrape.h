#pragma once
// Scraping the metrics endpoint as Prometheus does, and reading single values out of the text.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>

// "127.0.0.1:40123" → 40123.
inline int PortOf(const std::string& address) {
    const size_t colon = address.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(address.c_str() + colon + 1);
}

// A TCP connection to the port of 127.0.0.1 (or of ::1, with AF_INET6), with five-second
// time-outs; -1 when refused.
inline int ConnectLoopback(int port, int family = AF_INET) {
    const int s = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval wait{5, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_in6 sa6{};
    sa6.sin6_family = AF_INET6;
    sa6.sin6_port = htons(static_cast<uint16_t>(port));
    sa6.sin6_addr = in6addr_loopback;
    const bool connected =
        family == AF_INET6 ? connect(s, reinterpret_cast<const sockaddr*>(&sa6), sizeof sa6) == 0
                           : connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    if (!connected) {
        close(s);
        return -1;
    }
    return s;
}

// The body of GET /metrics; empty when nothing came.
inline std::string Scrape(int port, int family = AF_INET) {
    const int s = ConnectLoopback(port, family);
    if (s < 0) {
        return std::string();
    }
    const std::string request = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    std::string response;
    if (send(s, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        char buffer[4096];
        for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) {
            response.append(buffer, static_cast<size_t>(n));
        }
    }
    close(s);
    const size_t body = response.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : response.substr(body + 4);
}

// The value of the series whose line starts with `series` and a blank ("latmo_x{slot=\"1\"}");
// -1 when there is none.
inline double MetricValue(const std::string& text, const std::string& series) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(series + " ", 0) == 0) {
            return std::strtod(line.c_str() + series.size() + 1, nullptr);
        }
    }
    return -1;
}
