#include "export/MetricsHttp.h"

namespace {

std::string Answer(const std::string& status, const std::string& contentType,
                   const std::string& body, bool withBody, const std::string& extra = "") {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
           "Connection: close\r\n\r\n" + (withBody ? body : std::string());
}

std::string Refusal(const std::string& status, bool withBody, const std::string& extra = "") {
    return Answer(status, "text/plain; charset=utf-8", status + "\n", withBody, extra);
}

}  // namespace

size_t RequestHeadEnd(const std::string& received) {
    // Clients end their lines with CR LF; a bare LF is taken too, as most servers do.
    const size_t crlf = received.find("\r\n\r\n");
    const size_t lf = received.find("\n\n");
    if (crlf != std::string::npos && (lf == std::string::npos || crlf + 2 <= lf)) {
        return crlf + 4;
    }
    return lf == std::string::npos ? 0 : lf + 2;
}

std::string HttpAnswer(const std::string& head, const std::function<std::string()>& metrics) {
    const size_t lineEnd = head.find_first_of("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const size_t space1 = line.find(' ');
    const size_t space2 = space1 == std::string::npos ? space1 : line.find(' ', space1 + 1);
    if (space2 == std::string::npos || line.compare(space2 + 1, 5, "HTTP/") != 0) {
        return Refusal("400 Bad Request", true);
    }
    const std::string method = line.substr(0, space1);
    const std::string target = line.substr(space1 + 1, space2 - space1 - 1);
    const bool headOnly = method == "HEAD";
    if (method != "GET" && !headOnly) {
        return Refusal("405 Method Not Allowed", true, "Allow: GET, HEAD\r\n");
    }
    if (target.substr(0, target.find('?')) != "/metrics") {
        return Refusal("404 Not Found", !headOnly);
    }
    return Answer("200 OK", "text/plain; version=0.0.4; charset=utf-8", metrics(), !headOnly);
}

std::string HttpHeadTooLarge() {
    return Refusal("431 Request Header Fields Too Large", true);
}
