#pragma once
// Child processes of the latency lab: the `ip` commands that build it and the responders that
// live in it. Every wait is bounded; a child that overstays is killed.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// Runs a program (found on PATH) with its arguments, no shell involved, and waits for it up to
// timeoutMs. Throws std::runtime_error with the command and its output unless it exits with 0.
void RunProgram(const std::vector<std::string>& argv, int timeoutMs = 10000);

// Starts a program that writes `readyLine` to its standard output once it is ready to serve,
// and waits up to timeoutMs for that line. The child is killed when the calling thread ends
// (so call it from a thread that outlives the server). Throws std::runtime_error when it does
// not get ready in time.
pid_t StartServer(const std::vector<std::string>& argv, const std::string& readyLine,
                  int timeoutMs = 5000);

// Ends a child: SIGTERM, then SIGKILL after graceMs; always reaps it.
void StopProcess(pid_t pid, int graceMs = 1000);

// Runs fn on a new thread that has joined the named network namespace (/run/netns/NAME), and
// waits for it. What fn throws is thrown here.
void RunInNetworkNamespace(const std::string& name, const std::function<void()>& fn);
