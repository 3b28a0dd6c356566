#pragma once
// The little HTTP that a scrape needs: one request head in, one whole answer out, and the
// connection closed after it. Only GET and HEAD of /metrics are served.

#include <cstddef>
#include <functional>
#include <string>

// Heads longer than this are refused; a scrape's is a few hundred bytes.
inline constexpr size_t kMaxRequestHead = 16384;

// Where the head of a request ends (just past its empty line); 0 while it has not all come.
size_t RequestHeadEnd(const std::string& received);

// The whole answer to a request head: the metrics (asked for only when they are to be sent),
// or 400, 404, 405 or 431 with a one-line reason.
std::string HttpAnswer(const std::string& head, const std::function<std::string()>& metrics);

// The answer to a head that grew past kMaxRequestHead before it ended.
std::string HttpHeadTooLarge();
